// MD5 message digest (RFC 1321). Used to derive a stable object name from a
// file path, not for security.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace nomvera::log {

using TMd5Digest = std::array<std::uint8_t, 16>;

class TMd5 {
public:
    TMd5();
    void Update(const void* data, std::size_t size);
    // Pads, finishes and returns the digest; the object is then spent.
    TMd5Digest Finish();

private:
    void Transform(const std::uint8_t* block);

    std::uint32_t state_[4];
    std::uint64_t bitCount_ = 0;
    std::uint8_t buffer_[64];
};

TMd5Digest Md5Of(std::string_view data);
// 32 lower-case hexadecimal digits, each byte high nibble first.
std::string Md5Hex(std::string_view data);

} // namespace nomvera::log
