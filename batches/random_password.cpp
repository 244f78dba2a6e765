#include "batches/random_password.h"
#include "platform/memory_wipe.h"
#include "platform/wide_text.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <random>
#include <string_view>

#include <string.h>

namespace nomvera::batches {
namespace {

constexpr std::string_view kAll =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!@#$%^&*()-_=+[]";
constexpr std::string_view kLower = "abcdefghijklmnopqrstuvwxyz";
constexpr std::string_view kUpper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr std::string_view kDigits = "0123456789";
constexpr std::string_view kSpecial = "!@#$%^&*()-_=+[]";
constexpr std::size_t kClassPlaces = 12;

static_assert(kAll.size() == 78 && kSpecial.size() == 16);

WCHAR Draw(std::mt19937_64& generator, std::string_view from) {
    std::uniform_int_distribution<std::size_t> pick(0, from.size() - 1);
    return static_cast<WCHAR>(from[pick(generator)]);
}

// A clock seed alone would make two passwords of the same tick equal, and
// guessable by anyone who knows roughly when the account was rewritten.
std::mt19937_64 FreshGenerator() {
    std::random_device device;
    const auto ticks = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    std::seed_seq seed{device(),
                       device(),
                       device(),
                       device(),
                       device(),
                       device(),
                       static_cast<std::uint32_t>(ticks),
                       static_cast<std::uint32_t>(ticks >> 32)};
    return std::mt19937_64(seed);
}

} // namespace

WideString RandomPassword(std::int32_t length) {
    if (length <= 0) {
        return {};
    }
    auto generator = FreshGenerator();
    const auto size = static_cast<std::size_t>(length);
    WideString password(size, WIDE('\0'));
    for (auto& c : password) {
        c = Draw(generator, kAll);
    }

    // Draw the places until they are pairwise different (there are never
    // more places than characters, so this ends).
    const std::size_t places = std::min(kClassPlaces, size);
    std::array<std::size_t, kClassPlaces> position{};
    std::uniform_int_distribution<std::size_t> place(0, size - 1);
    for (;;) {
        for (std::size_t k = 0; k < places; ++k) {
            position[k] = place(generator);
        }
        bool distinct = true;
        for (std::size_t k = 1; k < places && distinct; ++k) {
            for (std::size_t j = 0; j < k; ++j) {
                distinct = distinct && position[j] != position[k];
            }
        }
        if (distinct) {
            break;
        }
    }
    for (std::size_t k = 0; k < places; ++k) {
        const std::string_view from = k < 3 ? kLower : k < 6 ? kUpper : k < 9 ? kDigits : kSpecial;
        password[position[k]] = Draw(generator, from);
    }
    return password;
}

void TWipedPassword::Wipe() {
    platform::WipeMemory(text_.data(), text_.size() * sizeof(WCHAR));
}

TWipedPassword::~TWipedPassword() {
    Wipe();
}

} // namespace nomvera::batches
