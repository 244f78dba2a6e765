#include "platform/system_call.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <thread>

namespace nomvera::platform::sys {
namespace {

struct TArmed {
    std::atomic<int> failures{0};
    std::atomic<int> error{0};
    std::atomic<unsigned> delay{0};
};

constexpr std::size_t kCalls = static_cast<std::size_t>(TCall::kCount);
std::array<TArmed, kCalls> armed;
// Whether any call is armed: the one load an ordinary call pays.
std::atomic<bool> anyArmed{false};

void NoteArmed() {
    bool any = false;
    for (const TArmed& a : armed) {
        any = any || a.failures.load() > 0 || a.delay.load() > 0;
    }
    anyArmed.store(any);
}

} // namespace

bool Injected(TCall call) {
    if (!anyArmed.load(std::memory_order_relaxed)) {
        return false;
    }
    TArmed& a = armed[static_cast<std::size_t>(call)];
    if (const unsigned delay = a.delay.load(); delay > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    }
    for (int left = a.failures.load(); left > 0;) {
        if (a.failures.compare_exchange_weak(left, left - 1)) {
            errno = a.error.load();
            return true;
        }
    }
    return false;
}

namespace test_seam {

void FailNext(TCall call, int count, int error) {
    TArmed& a = armed[static_cast<std::size_t>(call)];
    a.error.store(error);
    a.failures.store(count);
    NoteArmed();
}

void Delay(TCall call, unsigned milliseconds) {
    armed[static_cast<std::size_t>(call)].delay.store(milliseconds);
    NoteArmed();
}

void Reset() {
    for (TArmed& a : armed) {
        a.failures.store(0);
        a.delay.store(0);
    }
    anyArmed.store(false);
}

} // namespace test_seam
} // namespace nomvera::platform::sys
