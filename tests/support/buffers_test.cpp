#include "support/buffers.h"

#include "platform/registry.h"
#include "platform/wide_text.h"

#if !defined(_WIN32)
#include "tests/common/sandbox_root.h"
#endif

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <vector>

namespace nomvera::support {
namespace {

bool AllZero(const void* data, std::size_t from, std::size_t to) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = from; i < to; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

TEST(RawBlock, SizeZeroHoldsNothingAndWipeClearsTheHolder) {
    void* holder = reinterpret_cast<void*>(0x1);
    AllocZeroedBlock(holder, 0);
    EXPECT_EQ(holder, nullptr);

    AllocZeroedBlock(holder, 2048);
    ASSERT_NE(holder, nullptr);
    EXPECT_TRUE(AllZero(holder, 0, 2048));
    WipeAndFreeBlock(holder, 2048);
    EXPECT_EQ(holder, nullptr);
    WipeAndFreeBlock(holder, 2048); // a second release finds nothing to free
    EXPECT_EQ(holder, nullptr);
}

// Test double: traits that record what is given back; 0 and -1 are both
// "nothing held", as with kernel handles.
std::vector<int> given;
struct TCountingTraits {
    static int InvalidValue() { return 0; }
    static bool IsValid(int value) { return value != 0 && value != -1; }
    static void Free(int value) { given.push_back(value); }
};
using TCounted = TOwner<int, TCountingTraits>;

TEST(Owner, EveryHeldValueIsGivenBackOnceAndOnlyHeldOnes) {
    given.clear();
    {
        TCounted released(1);
        EXPECT_EQ(released.Release(), 1);
        EXPECT_FALSE(released.Valid());
        TCounted reset(2);
        reset.Reset(3);
        *reset.Receive() = 4; // gives 3 back before the call writes
        TCounted moved(std::move(reset));
        EXPECT_FALSE(reset.Valid());
        TCounted assigned(5);
        assigned = std::move(moved); // 5 goes, 4 moves in
        TCounted empty(-1);
    }
    EXPECT_EQ(given, (std::vector<int>{2, 3, 5, 4}));
}

TEST(Owner, ZeroedBlockIsHeldWithItsSizeAndZeroSizeHoldsNothing) {
    const TOwnedBlock block = NewZeroedBlock(16);
    ASSERT_TRUE(block.Valid());
    EXPECT_EQ(block.Get().size, 16u);
    EXPECT_TRUE(AllZero(block.Get().data, 0, 16));
    EXPECT_FALSE(NewZeroedBlock(0).Valid());
}

TEST(SidBuffer, HasItsCapacityAndFourZeroSpareBytes) {
    TSidBuffer* buffer = NewSidBuffer(1024);
    EXPECT_EQ(buffer->Size(), 1024);
    std::memset(buffer->Data(), 0xAB, 1024);
    EXPECT_TRUE(AllZero(buffer->Data(), 1024, 1028));
    buffer->Clear();
    EXPECT_TRUE(AllZero(buffer->Data(), 0, 1028));
    FreeAndNilBuffer(buffer);
    EXPECT_EQ(buffer, nullptr);
}

TEST(WideTextBuffer, FullCapacityOfTextStaysTerminatedBySpareBytes) {
    TWideTextBuffer* buffer = NewWideTextBuffer(1024);
    EXPECT_EQ(buffer->Length(), 1024u);
    EXPECT_EQ(buffer->ToString(), WIDE(""));
    std::memset(buffer->Data(), 'a', 2048); // 1024 characters U+6161
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer->Data());
    EXPECT_TRUE(AllZero(bytes, 2048, 2056));
    EXPECT_EQ(buffer->ToString(), WideString(1024, WCHAR(0x6161)));
    buffer->Clear();
    EXPECT_TRUE(AllZero(bytes, 0, 2056));
    EXPECT_EQ(buffer->ToString(), WIDE(""));
    FreeAndNilBuffer(buffer);
}

TEST(WideTextBuffer, ReadsUpToTheFirstNul) {
    TWideTextBuffer* buffer = NewWideTextBuffer(16);
    std::memcpy(buffer->Data(), WIDE("abc\0def"), 8 * sizeof(WCHAR));
    EXPECT_EQ(buffer->ToString(), WIDE("abc"));
    FreeAndNilBuffer(buffer);
}

TEST(AnsiTextBuffer, TextFillingTheCapacityIsStillTerminated) {
    TAnsiTextBuffer* buffer = NewAnsiTextBuffer(12);
    EXPECT_EQ(buffer->Size(), 12);
    std::memcpy(buffer->Data(), "S-1-5-32-555", 12);
    EXPECT_EQ(buffer->ToString(), "S-1-5-32-555");
    EXPECT_TRUE(AllZero(buffer->Data(), 12, 16));
    buffer->Clear();
    EXPECT_EQ(buffer->ToString(), "");
    FreeAndNilBuffer(buffer);
}

TEST(Buffers, ZeroCapacityStillHasZeroedStorage) {
    TSidBuffer* sid = NewSidBuffer(0);
    TWideTextBuffer* wide = NewWideTextBuffer(0);
    TAnsiTextBuffer* ansi = NewAnsiTextBuffer(0);
    ASSERT_NE(sid->Data(), nullptr);
    ASSERT_NE(wide->Data(), nullptr);
    ASSERT_NE(ansi->Data(), nullptr);
    EXPECT_TRUE(AllZero(sid->Data(), 0, 4));
    EXPECT_TRUE(AllZero(wide->Data(), 0, 8));
    EXPECT_EQ(wide->Length(), 0u);
    EXPECT_EQ(wide->ToString(), WIDE(""));
    EXPECT_EQ(ansi->ToString(), "");
    FreeAndNilBuffer(sid);
    FreeAndNilBuffer(wide);
    FreeAndNilBuffer(ansi);
}

TEST(Buffers, NegativeCapacityIsTakenAsZero) {
    TWideTextBuffer* wide = NewWideTextBuffer(-5);
    TAnsiTextBuffer* ansi = NewAnsiTextBuffer(-1);
    EXPECT_EQ(wide->Length(), 0u);
    EXPECT_EQ(ansi->Size(), 0);
    FreeAndNilBuffer(wide);
    FreeAndNilBuffer(ansi);
}

TEST(Buffers, CapacityBeyondTheByteRangeIsAnAllocationFailure) {
    EXPECT_THROW(NewWideTextBuffer(0x40000000), std::bad_alloc);
}

TEST(FreeAndNilBuffer, NullVariableStaysNull) {
    TWideTextBuffer* buffer = nullptr;
    FreeAndNilBuffer(buffer);
    EXPECT_EQ(buffer, nullptr);
}

// The POSIX stand-in's registry inside a sandbox root.
#if !defined(_WIN32)
// The registry value used below: the application-data folder, which exists
// in a sandbox root whose root user has a .local/state folder.
class QueryRegistryValueTest : public testing::Test {
protected:
    void SetUp() override {
        NOMVERA_SKIP_UNLESS_ROOT(); // the sandbox's user database knows only root
        root_ = std::make_unique<test::SandboxRoot>();
        std::filesystem::create_directories(*root_ / "root/.local/state");
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key_), 0);
    }
    void TearDown() override {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    WideString Expected() const {
        std::string folder = root_->Path() + "/root/.local/state";
        return WideString(folder.begin(), folder.end());
    }

    static constexpr const WCHAR* kKey =
        WIDE("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
    std::unique_ptr<test::SandboxRoot> root_;
    HKEY key_ = nullptr;
};

TEST_F(QueryRegistryValueTest, LengthZeroReadsUpToTheWholeCapacity) {
    TWideTextBuffer* buffer = NewWideTextBuffer(1024);
    DWORD length = 0;
    DWORD type = 99;
    EXPECT_EQ(buffer->QueryRegistryValue(key_, WIDE("AppData"), length, type), 0);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(buffer->ToString(), Expected());
    EXPECT_EQ(length, (Expected().size() + 1) * 2);
    FreeAndNilBuffer(buffer);
}

TEST_F(QueryRegistryValueTest, OverLongRequestGivesEightAndLeavesEverythingAlone) {
    TWideTextBuffer* buffer = NewWideTextBuffer(16);
    std::memcpy(buffer->Data(), WIDE("keep"), 5 * sizeof(WCHAR));
    DWORD length = 33;
    DWORD type = 77;
    EXPECT_EQ(buffer->QueryRegistryValue(key_, WIDE("AppData"), length, type), 8);
    EXPECT_EQ(buffer->ToString(), WIDE("keep"));
    EXPECT_EQ(length, 33u);
    EXPECT_EQ(type, 77u);
    FreeAndNilBuffer(buffer);

    TAnsiTextBuffer* ansi = NewAnsiTextBuffer(16);
    length = 17;
    EXPECT_EQ(ansi->QueryRegistryValue(key_, "AppData", length, type), 8);
    FreeAndNilBuffer(ansi);
}

TEST_F(QueryRegistryValueTest, ValueLargerThanTheBufferReportsMoreDataAndClearsIt) {
    TWideTextBuffer* buffer = NewWideTextBuffer(8);
    std::memcpy(buffer->Data(), WIDE("old"), 4 * sizeof(WCHAR));
    DWORD length = 0;
    DWORD type = 0;
    EXPECT_EQ(buffer->QueryRegistryValue(key_, WIDE("AppData"), length, type), ERROR_MORE_DATA);
    EXPECT_EQ(length, (Expected().size() + 1) * 2);
    EXPECT_EQ(buffer->ToString(), WIDE(""));
    FreeAndNilBuffer(buffer);
}

TEST_F(QueryRegistryValueTest, AnsiBufferReadsTheUtf8Text) {
    TAnsiTextBuffer* buffer = NewAnsiTextBuffer(1024);
    DWORD length = 0;
    DWORD type = 0;
    EXPECT_EQ(buffer->QueryRegistryValue(key_, "AppData", length, type), 0);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(buffer->ToString(), root_->Path() + "/root/.local/state");
    FreeAndNilBuffer(buffer);
}
#endif

} // namespace
} // namespace nomvera::support
