// A library bound by name at run time and its entry points, each looked up
// by name when first asked for. Loading goes through LoadLibraryA, so on
// POSIX only the project's own libraries are taken, under the ownership
// rule of platform/libloader.h.
#pragma once

#include "platform/libloader.h"
#include "platform/windows_types.h"
#include "support/owner.h"

#include <cstdint>

namespace nomvera::support {

struct TLibraryTraits {
    static HMODULE InvalidValue() { return nullptr; }
    static void Free(HMODULE library) { FreeLibrary(library); }
};

class TBoundLibrary {
public:
    TBoundLibrary() = default;
    TBoundLibrary(const TBoundLibrary&) = delete;
    TBoundLibrary& operator=(const TBoundLibrary&) = delete;

    // Loads the library unless one is held already (a failure is silent:
    // every entry point is then absent).
    void Load(const char* name);
    // Frees the library; the addresses of its entry points die with it, so
    // every entry point is looked up afresh after the next Load.
    void Release();
    bool Loaded() const { return module_.Valid(); }
    // The address of the named entry point, null when the library is not
    // loaded or lacks it.
    FARPROC Find(const char* name) const;
    // Changes at every Release, telling entry points their address is stale.
    std::uint64_t Generation() const { return generation_; }

private:
    TOwner<HMODULE, TLibraryTraits> module_;
    std::uint64_t generation_ = 0;
};

// One entry point of a TBoundLibrary, of the function type Function. Get()
// looks it up while it has not been found; a failed look-up is tried again
// at the next Get(), as a library may be loaded in between.
template <class Function> class TEntryPoint {
public:
    TEntryPoint(const TBoundLibrary& library, const char* name) : library_(library), name_(name) {}
    TEntryPoint(const TEntryPoint&) = delete;
    TEntryPoint& operator=(const TEntryPoint&) = delete;

    Function Get() {
        if (generation_ != library_.Generation()) {
            address_ = nullptr;
            generation_ = library_.Generation();
        }
        if (address_ == nullptr) {
            address_ = platform::EntryPointAs<Function>(library_.Find(name_));
        }
        return address_;
    }
    // Whether Get() has found it, without a look-up.
    bool Found() const { return address_ != nullptr && generation_ == library_.Generation(); }

private:
    const TBoundLibrary& library_;
    const char* name_;
    Function address_ = nullptr;
    std::uint64_t generation_ = 0;
};

} // namespace nomvera::support
