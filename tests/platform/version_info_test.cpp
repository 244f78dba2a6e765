#include "platform/errors.h"
#include "platform/posix/kernel/module_path.h"
#include "platform/version_info.h"
#include "platform/wide_text.h"
#include "tests/common/temp_folder.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

WideString W(const std::string& text) {
    return WideString(text.begin(), text.end());
}

std::string Fixture(const char* variant) {
    return nomvera::posix::ExecutableFolder() + "/libversion_fixture_" + variant + ".so";
}

TEST(FileVersionInfo, SizeCopyAndFixedRecordOfAFileWithTheSection) {
    WideString path = W(Fixture("good"));
    DWORD handle = 99;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    ASSERT_EQ(size, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(handle, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    LPVOID fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), WIDE("\\"), &fixed, &length));
    EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    EXPECT_EQ(info->dwFileVersionMS, 0xFFFF0000u);
    EXPECT_EQ(info->dwFileVersionLS, 0x00079C40u);
    EXPECT_FALSE(VerQueryValueW(block.data(), WIDE("\\StringFileInfo"), &fixed, &length));
}

TEST(FileVersionInfo, TooSmallCopyBufferFails) {
    WideString path = W(Fixture("good"));
    std::vector<BYTE> block(8);
    EXPECT_FALSE(GetFileVersionInfoW(path.c_str(), 0, 8, block.data()));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(FileVersionInfo, WrongSignatureIsNoFixedRecord) {
    WideString path = W(Fixture("badsig"));
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
    LPVOID fixed = nullptr;
    UINT length = 5;
    EXPECT_FALSE(VerQueryValueW(block.data(), WIDE("\\"), &fixed, &length));
    EXPECT_EQ(length, 0u);
}

struct NoRecordCase {
    const char* name;
    std::string content;
    DWORD code;
};

TEST(FileVersionInfo, FilesWithoutTheSectionReportResourceTypeNotFound) {
    nomvera::test::TempFolder folder("platform-version");
    std::string elfHeaderOnly = std::string("\x7f"
                                            "ELF\x02\x01\x01",
                                            7) +
                                std::string(57, '\0');
    std::string hugeSectionTable = elfHeaderOnly;
    hugeSectionTable[0x28] = '\x40'; // e_shoff = 64, the section table right behind
    hugeSectionTable[0x3A] = '\x40'; // e_shentsize = 64
    hugeSectionTable[0x3C] = '\xff'; // e_shnum = 65535 entries that are not there
    hugeSectionTable[0x3D] = '\xff';
    std::vector<NoRecordCase> cases = {
        {"text", "plain text", ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"empty", "", ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"header", elfHeaderOnly, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {"table", hugeSectionTable, ERROR_RESOURCE_TYPE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        nomvera::test::WriteTextFile(folder / c.name, c.content);
        SetLastError(0);
        EXPECT_EQ(GetFileVersionInfoSizeW(W(folder / c.name).c_str(), nullptr), 0u) << c.name;
        EXPECT_EQ(GetLastError(), c.code) << c.name;
    }
    EXPECT_EQ(GetFileVersionInfoSizeW(W(nomvera::posix::ExecutablePath()).c_str(), nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
    EXPECT_EQ(GetFileVersionInfoSizeW(W(folder / "missing").c_str(), nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

} // namespace
