// The loader runs as root beside folders other accounts may write: it looks
// only for the libraries the project ships, and loads one only when no other
// account can change it or a folder above it.
#include "platform/errors.h"
#include "platform/libloader.h"
#include "platform/posix/kernel/module_path.h"
#include "platform/test_doubles.h"
#include "tests/common/child_process.h"
#include "tests/common/sandbox_root.h"
#include "tests/common/temp_folder.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::test {
namespace {

namespace fs = std::filesystem;
constexpr uid_t kNobody = 65534;

TEST(LibraryLoading, OnlyShippedNamesAreLookedFor) {
    HMODULE shipped = LoadLibraryA("NetApi32.DLL");
    ASSERT_NE(shipped, nullptr);
    EXPECT_TRUE(FreeLibrary(shipped));
    for (const char* name : {"user32.dll", "shell32", "", "../bin/netapi32", "sub/netapi32.dll",
                             "netapi32_counting.dll"}) {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryA(name), nullptr) << name;
        EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND) << name;
    }
    platform::test_double::AcceptTestDoubleLibrary("netapi32_counting");
    HMODULE double_ = LoadLibraryA("netapi32_counting.dll");
    EXPECT_NE(double_, nullptr);
    if (double_ != nullptr) {
        FreeLibrary(double_);
    }
}

bool CopyFile(const std::string& from, const std::string& to) {
    std::error_code error;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
    return !error && chmod(to.c_str(), 0755) == 0;
}

struct PlantCase {
    const char* label;
    uid_t folderOwner;
    mode_t folderMode;
    uid_t planter; // who puts the libraries there
    // Printed by the probe for "user32.dll netapi32.dll".
    const char* output;
    bool recordedLoad; // whether the planted library ran
};

class PlantedLibraries : public ::testing::TestWithParam<PlantCase> {};

// A copy of a loading program (the tool's loader) beside libraries in a
// folder: libuser32.so, libnetapi32.so and libcrypt.so.1 (a system library
// the platform library needs) there are the planted library, which records
// any load. A system library never comes from the program's folder.
TEST_P(PlantedLibraries, RunOnlyFromFoldersNoOtherAccountCanChange) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const PlantCase& c = GetParam();
    TempFolder base("nomvera-plant");
    ASSERT_EQ(chmod(base.Path().c_str(), 0755), 0);
    const std::string folder = base / "shared";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    const std::string bin = posix::ExecutableFolder();
    const std::string probe = folder + "/platform_library_probe";
    ASSERT_TRUE(CopyFile(bin + "/platform_library_probe", probe));
    ASSERT_TRUE(CopyFile(bin + "/libnomvera_platform.so", folder + "/libnomvera_platform.so"));
    ASSERT_EQ(chown(folder.c_str(), c.folderOwner, c.folderOwner), 0);
    ASSERT_EQ(chmod(folder.c_str(), c.folderMode), 0);

    auto plant = [&] {
        bool done = true;
        for (const char* name : {"libuser32.so", "libnetapi32.so", "libcrypt.so.1"}) {
            done = CopyFile(bin + "/libplanted_library.so", folder + "/" + name) && done;
        }
        return done ? 0 : 1;
    };
    ASSERT_EQ(c.planter == kNobody ? RunAsNobody(plant) : plant(), 0);

    const std::string record = base / "record";
    setenv("NOMVERA_PLANTED_RECORD", record.c_str(), 1);
    TChildResult run = RunProgram({probe, "user32.dll", "netapi32.dll"});
    unsetenv("NOMVERA_PLANTED_RECORD");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, c.output);
    EXPECT_EQ(ReadTextFile(record), c.recordedLoad ? folder + "/libnetapi32.so\n" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlantedLibraries,
    ::testing::Values(
        // Shared like /tmp: others may add files, and they did.
        PlantCase{"StickySharedFolder", 0, 01777, kNobody, "user32.dll=126\nnetapi32.dll=5\n",
                  false},
        // Root's files in another account's folder: it could swap them.
        PlantCase{"FolderOfAnotherAccount", kNobody, 0755, 0, "user32.dll=126\nnetapi32.dll=5\n",
                  false},
        PlantCase{"GroupWritableFolder", 0, 0775, 0, "user32.dll=126\nnetapi32.dll=5\n", false},
        // Root's own folder: the shipped name loads (so a load would have
        // been seen above); user32 is still never looked for.
        PlantCase{"RootsOwnFolder", 0, 0755, 0, "user32.dll=126\nnetapi32.dll=loaded\n", true}),
    [](const auto& row) { return std::string(row.param.label); });

} // namespace
} // namespace nomvera::test
