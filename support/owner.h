// The one owner of a resource that must be given back: a handle, a search,
// a block from LocalAlloc or the account service, a buffer. The traits say
// which value means "nothing held" and how a held value is given back:
//
//   struct TTraits {
//       static T InvalidValue();           // what an empty owner holds
//       static void Free(const T& value);  // called once per held value
//       static bool IsValid(const T& v);   // optional: more than one empty value
//   };
//
// Move-only. Receive() is the receiver for an out-parameter: it gives back
// what is held and hands out the slot the call writes into, so no call site
// keeps a raw value that an exception could leak.
//
// Header only, with no code of its own to link, so that the Windows arm of
// the platform surface can use the same holder.
#pragma once

#include "platform/folder_walk.h"
#include "platform/handles.h"
#include "platform/security.h"
#include "platform/windows_types.h"

#include <type_traits>
#include <utility>

namespace nomvera::support {

template <class T, class Traits> class TOwner {
public:
    TOwner() = default;
    explicit TOwner(T value) : value_(std::move(value)) {}
    ~TOwner() { FreeIfHeld(); }

    TOwner(TOwner&& other) noexcept : value_(other.Release()) {}
    TOwner& operator=(TOwner&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    TOwner(const TOwner&) = delete;
    TOwner& operator=(const TOwner&) = delete;

    bool Valid() const {
        if constexpr (requires { Traits::IsValid(value_); }) {
            return Traits::IsValid(value_);
        } else {
            return !(value_ == Traits::InvalidValue());
        }
    }
    explicit operator bool() const { return Valid(); }
    const T& Get() const { return value_; }
    T operator->() const requires std::is_pointer_v<T> { return value_; }

    // Hands the value over without giving it back; the owner is empty then.
    T Release() { return std::exchange(value_, Traits::InvalidValue()); }
    // Gives back what is held (if anything) and holds value instead.
    void Reset(T value = Traits::InvalidValue()) {
        T old = std::exchange(value_, std::move(value));
        if constexpr (requires { Traits::IsValid(old); }) {
            if (Traits::IsValid(old)) {
                Traits::Free(old);
            }
        } else if (!(old == Traits::InvalidValue())) {
            Traits::Free(old);
        }
    }
    T* Receive() {
        Reset();
        return &value_;
    }

private:
    void FreeIfHeld() {
        if (Valid()) {
            Traits::Free(value_);
        }
    }

    T value_ = Traits::InvalidValue();
};

// A kernel handle: null and INVALID_HANDLE_VALUE both mean none, as the
// functions that make handles use either.
struct THandleTraits {
    static HANDLE InvalidValue() { return nullptr; }
    static bool IsValid(HANDLE handle) {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    }
    static void Free(HANDLE handle) { CloseHandle(handle); }
};
using TOwnedHandle = TOwner<HANDLE, THandleTraits>;

// A search of an open folder's entries (FindFirstWalkEntry).
struct TWalkSearchTraits : THandleTraits {
    static void Free(HANDLE search) { platform::CloseWalkSearch(search); }
};
using TOwnedWalkSearch = TOwner<HANDLE, TWalkSearchTraits>;

// Memory the system allocated with LocalAlloc for the caller (a SID, a SID's
// text, a security descriptor).
template <class Pointer> struct TLocalMemoryTraits {
    static Pointer InvalidValue() { return nullptr; }
    static void Free(Pointer memory) { LocalFree(static_cast<HANDLE>(memory)); }
};
template <class Pointer> using TLocalMemory = TOwner<Pointer, TLocalMemoryTraits<Pointer>>;

// A buffer of support/buffers.h, made by its New...Buffer function.
template <class Buffer> struct TBufferTraits {
    static Buffer* InvalidValue() { return nullptr; }
    static void Free(Buffer* buffer) { delete buffer; }
};
template <class Buffer> using TOwnedBuffer = TOwner<Buffer*, TBufferTraits<Buffer>>;

} // namespace nomvera::support
