#include "support/buffers.h"

#include "platform/memory_wipe.h"
#include "platform/registry.h"
#include "platform/wide_text.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string.h>

namespace nomvera::support {
namespace {

constexpr std::size_t kSidSpare = 4;
constexpr std::size_t kWideSpare = 8;
constexpr std::size_t kAnsiSpare = 4;

// A negative capacity would reach system calls as a huge DWORD; it is taken
// as 0, which still allocates the spare bytes.
std::int32_t NonNegative(std::int32_t capacity) {
    return capacity < 0 ? 0 : capacity;
}

std::size_t Allocated(std::int32_t capacity, std::size_t spare) {
    return static_cast<std::size_t>(capacity) + spare;
}

std::int32_t WideByteCapacity(std::int32_t characters) {
    characters = NonNegative(characters);
    if (characters > (std::numeric_limits<std::int32_t>::max() - 8) / 2) {
        throw std::bad_alloc();
    }
    return characters * 2;
}

} // namespace

void AllocZeroedBlock(void*& holder, std::size_t size) {
    if (size == 0) {
        holder = nullptr;
        return;
    }
    void* block = std::calloc(size, 1);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    holder = block;
}

void WipeAndFreeBlock(void*& holder, std::size_t size) {
    if (holder != nullptr && size > 0) {
        // The wipe must not be dropped as a dead store.
        platform::WipeMemory(holder, size);
        std::free(holder);
    }
    holder = nullptr;
}

TOwnedBlock NewZeroedBlock(std::size_t size) {
    void* data = nullptr;
    AllocZeroedBlock(data, size);
    return TOwnedBlock(TZeroedBlock{data, size});
}

TSidBuffer::TSidBuffer(std::int32_t capacity) : capacity_(NonNegative(capacity)) {
    AllocZeroedBlock(storage_, Allocated(capacity_, kSidSpare));
}

TSidBuffer::~TSidBuffer() {
    WipeAndFreeBlock(storage_, Allocated(capacity_, kSidSpare));
}

void TSidBuffer::Clear() {
    std::memset(storage_, 0, Allocated(capacity_, kSidSpare));
}

namespace {

// The registry read of both text buffers: never more than the capacity, so
// the spare NULs stay and the text is terminated even when the value is not.
template <class Buffer, class Name, class Query>
LONG QueryRegistryInto(Buffer& buffer, DWORD capacity, void* storage, Query query, HKEY key,
                       Name valueName, DWORD& requestedLength, DWORD& valueType) {
    if (requestedLength > capacity) {
        return static_cast<LONG>(ERROR_NOT_ENOUGH_MEMORY);
    }
    valueType = 0;
    if (requestedLength == 0) {
        requestedLength = capacity;
    }
    buffer.Clear();
    return query(key, valueName, nullptr, &valueType, static_cast<LPBYTE>(storage),
                 &requestedLength);
}

} // namespace

TWideTextBuffer::TWideTextBuffer(std::int32_t characters)
    : byteCapacity_(WideByteCapacity(characters)) {
    AllocZeroedBlock(storage_, Allocated(byteCapacity_, kWideSpare));
}

TWideTextBuffer::~TWideTextBuffer() {
    WipeAndFreeBlock(storage_, Allocated(byteCapacity_, kWideSpare));
}

void TWideTextBuffer::Clear() {
    std::memset(storage_, 0, Allocated(byteCapacity_, kWideSpare));
}

std::uint32_t TWideTextBuffer::Length() const {
    return static_cast<std::uint32_t>(byteCapacity_) >> 1;
}

WideString TWideTextBuffer::ToString() const {
    const WCHAR* text = Data();
    // The spare NULs bound the scan even when the capacity is full of text.
    std::size_t limit = Allocated(byteCapacity_, kWideSpare) / sizeof(WCHAR);
    std::size_t n = 0;
    while (n < limit && text[n] != 0) {
        ++n;
    }
    return WideString(text, n);
}

LONG TWideTextBuffer::QueryRegistryValue(HKEY key, LPCWSTR valueName, DWORD& requestedLength,
                                         DWORD& valueType) {
    return QueryRegistryInto(*this, static_cast<DWORD>(byteCapacity_), storage_, RegQueryValueExW,
                             key, valueName, requestedLength, valueType);
}

TAnsiTextBuffer::TAnsiTextBuffer(std::int32_t capacity) : capacity_(NonNegative(capacity)) {
    AllocZeroedBlock(storage_, Allocated(capacity_, kAnsiSpare));
}

TAnsiTextBuffer::~TAnsiTextBuffer() {
    WipeAndFreeBlock(storage_, Allocated(capacity_, kAnsiSpare));
}

void TAnsiTextBuffer::Clear() {
    std::memset(storage_, 0, Allocated(capacity_, kAnsiSpare));
}

std::string TAnsiTextBuffer::ToString() const {
    const char* text = Data();
    std::size_t limit = Allocated(capacity_, kAnsiSpare);
    return std::string(text, strnlen(text, limit));
}

LONG TAnsiTextBuffer::QueryRegistryValue(HKEY key, LPCSTR valueName, DWORD& requestedLength,
                                         DWORD& valueType) {
    return QueryRegistryInto(*this, static_cast<DWORD>(capacity_), storage_, RegQueryValueExA, key,
                             valueName, requestedLength, valueType);
}

TSidBuffer* NewSidBuffer(std::int32_t capacityBytes) {
    return new TSidBuffer(capacityBytes);
}

TWideTextBuffer* NewWideTextBuffer(std::int32_t capacityCharacters) {
    return new TWideTextBuffer(capacityCharacters);
}

TAnsiTextBuffer* NewAnsiTextBuffer(std::int32_t capacityBytes) {
    return new TAnsiTextBuffer(capacityBytes);
}

} // namespace nomvera::support
