// Throw-away passwords: set on an account just long enough to log on as it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/wide_text.h"

namespace nomvera::batches {

// A new password of exactly length characters from the 78 characters
// a-z A-Z 0-9 !@#$%^&*()-_=+[]; twelve different positions are then
// overwritten with three lower-case letters, three capitals, three digits
// and three of !@#$%^&*()-_=+[]. The generator is seeded afresh on every
// call from the system's random source and the clock. A length below 12
// holds as many of those class characters as it has places; 0 or less gives
// an empty text.
WideString RandomPassword(std::int32_t length);

// Holds a password and overwrites it when it goes away, so that it does not
// outlive its use in freed memory.
class TWipedPassword {
public:
    explicit TWipedPassword(WideString text) : text_(std::move(text)) {}
    ~TWipedPassword();
    TWipedPassword(const TWipedPassword&) = delete;
    TWipedPassword& operator=(const TWipedPassword&) = delete;

    const WideString& Text() const { return text_; }
    // Overwrites every character with 0 (the length stays).
    void Wipe();
    WCHAR* Data() { return text_.data(); }

private:
    WideString text_;
};

} // namespace nomvera::batches
