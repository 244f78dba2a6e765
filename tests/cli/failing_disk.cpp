// Test double for a disk that fills up: preloaded into the real program, it
// lets the first NOMVERA_FAILING_DISK_AFTER writes to the file
// NOMVERA_FAILING_DISK_FILE through and fails every later one with ENOSPC.
// Every other write goes on to the real one.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace {

using WriteFunction = ssize_t (*)(int, const void*, size_t);

bool IsFailingFile(int fd) {
    static const char* const wanted = std::getenv("NOMVERA_FAILING_DISK_FILE");
    if (wanted == nullptr || fd < 3) {
        return false;
    }
    char link[64];
    char target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, target, sizeof target - 1);
    return length > 0 && static_cast<std::size_t>(length) == std::strlen(wanted) &&
           std::memcmp(target, wanted, static_cast<std::size_t>(length)) == 0;
}

} // namespace

extern "C" ssize_t write(int fd, const void* data, size_t size) {
    static const auto real = reinterpret_cast<WriteFunction>(dlsym(RTLD_NEXT, "write"));
    static int passed = 0;
    if (IsFailingFile(fd)) {
        const char* after = std::getenv("NOMVERA_FAILING_DISK_AFTER");
        if (passed >= (after != nullptr ? std::atoi(after) : 0)) {
            errno = ENOSPC;
            return -1;
        }
        ++passed;
    }
    return real(fd, data, size);
}
