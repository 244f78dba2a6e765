// What every fuzz target shares: the libFuzzer entry point and a property
// check that stops the process with a message, so libFuzzer keeps the input
// and the replay program (replay_main.cpp) reports which property broke.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/wide_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace nomvera::fuzz {

[[noreturn]] inline void PropertyBroken(const char* file, int line, const char* condition,
                                        const std::string& detail) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n%s\n", file, line, condition, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

// Bytes as a C-like literal, for messages about binary input.
inline std::string Escaped(const std::string& bytes) {
    std::string text = "\"";
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        }
    }
    return text + "\"";
}

inline std::string Escaped(const WideString& units) {
    std::string text = "u\"";
    for (WCHAR c : units) {
        if (c >= 0x20 && c < 0x7F && c != WIDE('"') && c != WIDE('\\')) {
            text += static_cast<char>(c);
        } else {
            char hex[12];
            std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(c));
            text += hex;
        }
    }
    return text + "\"";
}

// The whole content of a file; empty when it cannot be read.
inline std::string ReadWholeFile(const std::string& path) {
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char chunk[65536];
        std::size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
            bytes.append(chunk, got);
        }
        std::fclose(file);
    }
    return bytes;
}

} // namespace nomvera::fuzz

#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::nomvera::fuzz::PropertyBroken(__FILE__, __LINE__, #condition, (detail));             \
    } while (0)
