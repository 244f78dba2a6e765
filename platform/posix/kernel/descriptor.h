// An open file descriptor that is closed when its owner goes away, and a
// write of a whole text through one. Not part of the surface.
#pragma once

#include "platform/system_call.h"

#include <cerrno>
#include <cstddef>
#include <string_view>
#include <unistd.h>
#include <utility>

namespace nomvera::posix {

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    int get() const noexcept { return fd_; }
    bool valid() const noexcept { return fd_ >= 0; }
    // Hands the descriptor to the caller, who closes it.
    int release() noexcept { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// Writes all of text, going on after interrupted and partial writes; false
// when a write fails.
inline bool WriteAll(int fd, std::string_view text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = nomvera::platform::sys::Call(nomvera::platform::sys::TCall::Write, [&] {
            return write(fd, text.data() + done, text.size() - done);
        });
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace nomvera::posix
