#include "platform/posix/kernel/registry_map.h"
#include "platform/registry.h"
#include "platform/wide_text.h"
#include "tests/common/sandbox_root.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace {

constexpr const WCHAR* kShellFolders =
    WIDE("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");

// A value of the tests' own, registered like the stand-in's mapped values.
DWORD storedNumber = 7;
const nomvera::posix::RegistryValueRegistration kTestNumber(
    HKEY_LOCAL_MACHINE, "Software\\NomveraTest\\Numbers", "Count",
    [](nomvera::posix::RegistryData& data) {
        data.type = REG_DWORD;
        data.number = storedNumber;
        return static_cast<LONG>(ERROR_SUCCESS);
    },
    [](const nomvera::posix::RegistryData& data) {
        if (data.type != REG_DWORD) {
            return static_cast<LONG>(ERROR_INVALID_PARAMETER);
        }
        storedNumber = data.number;
        return static_cast<LONG>(ERROR_SUCCESS);
    });

class AppDataValue : public testing::Test {
protected:
    void SetUp() override {
        NOMVERA_SKIP_UNLESS_ROOT(); // the sandbox's user database knows only root
        root_ = std::make_unique<nomvera::test::SandboxRoot>();
        if (const char* state = std::getenv("XDG_STATE_HOME")) {
            savedState_ = state;
        }
        unsetenv("XDG_STATE_HOME");
    }
    void TearDown() override {
        if (savedState_) {
            setenv("XDG_STATE_HOME", savedState_->c_str(), 1);
        } else {
            unsetenv("XDG_STATE_HOME");
        }
    }
    LONG Query(WideString& text, DWORD& type) {
        HKEY key = nullptr;
        LONG status = RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_READ | 256, &key);
        EXPECT_EQ(status, 0);
        if (status != 0) {
            return status;
        }
        WCHAR buffer[512] = {};
        DWORD length = sizeof buffer - 2;
        status = RegQueryValueExW(key, WIDE("AppData"), nullptr, &type,
                                  reinterpret_cast<LPBYTE>(buffer), &length);
        text = buffer;
        EXPECT_EQ(RegCloseKey(key), 0);
        return status;
    }
    std::unique_ptr<nomvera::test::SandboxRoot> root_;
    std::optional<std::string> savedState_;
};

TEST_F(AppDataValue, IsTheHomeStateFolderInsideTheRootMadeOwnerOnlyWhenMissing) {
    WideString text;
    DWORD type = 0;
    ASSERT_EQ(Query(text, type), 0);
    EXPECT_EQ(type, REG_SZ);
    const std::string expected = root_->Path() + "/root/.local/state";
    EXPECT_EQ(text, WideString(expected.begin(), expected.end()));
    for (const std::string& folder : {root_->Path() + "/root/.local", expected}) {
        struct stat info {};
        ASSERT_EQ(lstat(folder.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0700u) << folder;
    }
}

TEST_F(AppDataValue, IsMissingWithoutAHomeOrWhereNoFolderCanBe) {
    WideString text;
    DWORD type = 0;
    std::filesystem::create_directories(*root_ / "root/.local");
    nomvera::test::WriteTextFile(*root_ / "root/.local/state", "a file, not a folder");
    EXPECT_EQ(Query(text, type), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    nomvera::test::WriteTextFile(*root_ / "etc/passwd", "root:x:0:0:root:/nonexistent:/bin/sh\n");
    EXPECT_EQ(Query(text, type), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    struct stat info {};
    EXPECT_NE(lstat((*root_ / "nonexistent").c_str(), &info), 0) << "a home folder was made";
}

TEST_F(AppDataValue, IsReadOnly) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_ALL_ACCESS, &key), 0);
    EXPECT_EQ(RegSetValueExA(key, "AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>("/x"), 3),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    RegCloseKey(key);
}

TEST(Registry, UnmappedKeysNeitherOpenNorAreCreated) {
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, WIDE("Software\\Nothing\\Here"), 0, KEY_READ, &key),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(key, nullptr);
    DWORD disposition = 0;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Nothing", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    // the same path in the other hive is not mapped either
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\NomveraTest\\Numbers", 0, KEY_READ, &key),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
}

TEST(Registry, MappedKeysOpenInAnyCaseAndAsParentsOfTheirValues) {
    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\nomveratest", 0, KEY_READ, &parent), 0);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(parent, "Numbers\\", 0, KEY_READ, &key), 0);
    DWORD type = 0;
    DWORD number = 0;
    DWORD length = sizeof number;
    EXPECT_EQ(
        RegQueryValueExA(key, "COUNT", nullptr, &type, reinterpret_cast<LPBYTE>(&number), &length),
        0);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(number, storedNumber);
    EXPECT_EQ(RegQueryValueExA(parent, "Count", nullptr, &type, nullptr, nullptr),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(RegCloseKey(key), 0);
    EXPECT_EQ(RegCloseKey(parent), 0);
    EXPECT_EQ(RegCloseKey(parent), static_cast<LONG>(ERROR_INVALID_HANDLE));
}

TEST(Registry, CreateOfAMappedKeyOpensItAndWritesGoToTheMapping) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\NomveraTest\\Numbers", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                              &key, &disposition),
              0);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    DWORD value = 42;
    EXPECT_EQ(RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4),
              0);
    EXPECT_EQ(storedNumber, 42u);
    EXPECT_EQ(RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 2),
              static_cast<LONG>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegSetValueExA(key, "Other", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    RegCloseKey(key);
}

TEST(Registry, AccessRightsAndSizeRules) {
    HKEY readOnly = nullptr;
    ASSERT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\NomveraTest\\Numbers", 0, KEY_READ, &readOnly),
        0);
    DWORD value = 1;
    EXPECT_EQ(
        RegSetValueExA(readOnly, "Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4),
        static_cast<LONG>(ERROR_ACCESS_DENIED));
    DWORD length = 0;
    EXPECT_EQ(RegQueryValueExA(readOnly, "Count", nullptr, nullptr, nullptr, &length), 0);
    EXPECT_EQ(length, 4u);
    BYTE small[2];
    length = sizeof small;
    EXPECT_EQ(RegQueryValueExA(readOnly, "Count", nullptr, nullptr, small, &length),
              static_cast<LONG>(ERROR_MORE_DATA));
    EXPECT_EQ(length, 4u);
    RegCloseKey(readOnly);

    HKEY writeOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\NomveraTest\\Numbers", 0, KEY_SET_VALUE,
                            &writeOnly),
              0);
    length = 4;
    EXPECT_EQ(RegQueryValueExA(writeOnly, "Count", nullptr, nullptr,
                               reinterpret_cast<LPBYTE>(&value), &length),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    RegCloseKey(writeOnly);

    EXPECT_EQ(RegQueryValueExA(reinterpret_cast<HKEY>(&value), "Count", nullptr, nullptr, nullptr,
                               &length),
              static_cast<LONG>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), 0);
}

} // namespace
