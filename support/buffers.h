// Fixed-capacity, zero-filled buffers that system calls write into. Every
// allocation carries spare bytes beyond the declared capacity, is zeroed when
// made, on Clear and before it is freed; a system call is always given the
// declared capacity, so text written within it stays NUL-terminated.
#pragma once

#include "platform/wide_text.h"
#include "platform/windows_types.h"
#include "support/owner.h"

#include <cstdint>
#include <string>

namespace nomvera::support {

// Exactly size zeroed bytes for a size above 0, null for 0.
void AllocZeroedBlock(void*& holder, std::size_t size);
// Zeroes size bytes and frees the block (when held and size > 0); clears holder.
void WipeAndFreeBlock(void*& holder, std::size_t size);

// A zeroed block with its size, wiped when it is given back.
struct TZeroedBlock {
    void* data = nullptr;
    std::size_t size = 0;
};
struct TZeroedBlockTraits {
    static TZeroedBlock InvalidValue() { return {}; }
    static bool IsValid(const TZeroedBlock& block) { return block.data != nullptr; }
    static void Free(const TZeroedBlock& block) {
        void* data = block.data;
        WipeAndFreeBlock(data, block.size);
    }
};
using TOwnedBlock = TOwner<TZeroedBlock, TZeroedBlockTraits>;
// Exactly size zeroed bytes, held (an empty owner for 0).
TOwnedBlock NewZeroedBlock(std::size_t size);

class TSidBuffer {
public:
    explicit TSidBuffer(std::int32_t capacity);
    ~TSidBuffer();
    TSidBuffer(const TSidBuffer&) = delete;
    TSidBuffer& operator=(const TSidBuffer&) = delete;

    void Clear();
    std::int32_t Size() const { return capacity_; }
    void* Data() const { return storage_; }

private:
    std::int32_t capacity_;
    void* storage_ = nullptr;
};

class TWideTextBuffer {
public:
    explicit TWideTextBuffer(std::int32_t characters);
    ~TWideTextBuffer();
    TWideTextBuffer(const TWideTextBuffer&) = delete;
    TWideTextBuffer& operator=(const TWideTextBuffer&) = delete;

    void Clear();
    std::uint32_t Length() const; // characters
    WideString ToString() const;
    WCHAR* Data() const { return static_cast<WCHAR*>(storage_); }
    // requestedLength in bytes: above the byte capacity gives 8 without
    // touching the registry; 0 means the whole capacity.
    LONG QueryRegistryValue(HKEY key, LPCWSTR valueName, DWORD& requestedLength, DWORD& valueType);

private:
    std::int32_t byteCapacity_;
    void* storage_ = nullptr;
};

class TAnsiTextBuffer {
public:
    explicit TAnsiTextBuffer(std::int32_t capacity);
    ~TAnsiTextBuffer();
    TAnsiTextBuffer(const TAnsiTextBuffer&) = delete;
    TAnsiTextBuffer& operator=(const TAnsiTextBuffer&) = delete;

    void Clear();
    std::int32_t Size() const { return capacity_; }
    std::string ToString() const;
    char* Data() const { return static_cast<char*>(storage_); }
    LONG QueryRegistryValue(HKEY key, LPCSTR valueName, DWORD& requestedLength, DWORD& valueType);

private:
    void* storage_ = nullptr;
    std::int32_t capacity_;
};

TSidBuffer* NewSidBuffer(std::int32_t capacityBytes);
TWideTextBuffer* NewWideTextBuffer(std::int32_t capacityCharacters);
TAnsiTextBuffer* NewAnsiTextBuffer(std::int32_t capacityBytes);

template <class Buffer> void FreeAndNilBuffer(Buffer*& buffer) {
    delete buffer;
    buffer = nullptr;
}

} // namespace nomvera::support
