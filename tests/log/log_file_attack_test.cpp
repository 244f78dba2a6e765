// Another account prepares the log file's name in a shared temporary folder
// before the tool, running as root, opens its log there. Whatever it puts
// there, root's run writes nothing through it and says why.
#include "log/log_text.h"
#include "platform/wide_text.h"
#include "tests/common/child_process.h"
#include "tests/common/sandbox_root.h"
#include "tests/log/log_test_helpers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::test {
namespace {

constexpr char kVictimBytes[] = "root's own file, never to be written by the log\n";

struct Plant {
    const char* name;
    // Puts something at `at` as the other account; `victim` is a root file.
    std::function<bool(const std::string& at, const std::string& victim)> asOther;
    const char* reason;
};

bool ProtectedHardLinks() {
    std::ifstream setting("/proc/sys/fs/protected_hardlinks");
    int value = 0;
    return setting >> value && value != 0;
}

const Plant kPlants[] = {
    {"SymbolicLink",
     [](const std::string& at, const std::string& victim) {
         return RunAsNobody([&] { return symlink(victim.c_str(), at.c_str()); }) == 0;
     },
     "it is a symbolic link"},
    {"DanglingSymbolicLink", // root would create the file the link names
     [](const std::string& at, const std::string& victim) {
         const std::string missing = victim + ".new";
         return RunAsNobody([&] { return symlink(missing.c_str(), at.c_str()); }) == 0;
     },
     "it is a symbolic link"},
    {"HardLink",
     [](const std::string& at, const std::string& victim) {
         const int tried = RunAsNobody([&] { return link(victim.c_str(), at.c_str()); });
         if (tried == 0) {
             return true;
         }
         // The kernel's protected_hardlinks stops the other account; the link
         // is made for it, as on a system where the setting is off.
         return ProtectedHardLinks() && link(victim.c_str(), at.c_str()) == 0;
     },
     "it has other names (hard links)"},
    {"Fifo",
     [](const std::string& at, const std::string&) {
         return RunAsNobody([&] { return mkfifo(at.c_str(), 0666); }) == 0;
     },
     "it is not a regular file"},
    {"FileOfItsOwn",
     [](const std::string& at, const std::string&) {
         return RunAsNobody([&] {
                    WriteTextFile(at, "the other account's text");
                    return chmod(at.c_str(), 0600);
                }) == 0;
     },
     "it belongs to another account (uid 65534)"},
    {"RootsFileOpenToOthers", // an old log, made before files were private
     [](const std::string& at, const std::string&) {
         WriteTextFile(at, std::string(log::HeaderBytes(16)));
         return chmod(at.c_str(), 0644) == 0;
     },
     "other accounts have access to it (mode 0644)"},
};

struct Entry {
    struct stat info {};
    std::string content; // of a regular file
    std::string target;  // of a link
};

Entry Look(const std::string& path) {
    Entry entry;
    lstat(path.c_str(), &entry.info);
    if (S_ISREG(entry.info.st_mode)) {
        entry.content = ReadTextFile(path);
    } else if (S_ISLNK(entry.info.st_mode)) {
        std::error_code error;
        entry.target = std::filesystem::read_symlink(path, error).string();
    }
    return entry;
}

class PlantedLogFile : public ::testing::TestWithParam<std::tuple<Plant, std::uint8_t>> {
protected:
    void SetUp() override {
        if (!RunningAsRoot()) {
            GTEST_SKIP() << "the attack needs a second account: runs as root only";
        }
        ASSERT_EQ(chmod(shared_.Path().c_str(), 01777), 0);
        WriteTextFile(victim_, kVictimBytes);
        ASSERT_EQ(chmod(victim_.c_str(), 0600), 0);
    }
    TempFolder shared_{"nomvera-shared"};
    TempFolder private_{"nomvera-victim"};
    const std::string victim_ = private_ / "victim";
};

TEST_P(PlantedLogFile, IsNeverWrittenAndTheLogSaysWhy) {
    const auto& [plant, mode] = GetParam();
    const std::string onDisk = shared_ / "kelRostery.utf8.log";
    ASSERT_TRUE(plant.asOther(onDisk, victim_)) << "could not plant " << plant.name;
    const Entry before = Look(onDisk);

    auto log = log::TDiagnosticLog::Create(Utf16(shared_ / "kelRostery.log"), 200, mode);
    EXPECT_FALSE(log->IsActive());
    EXPECT_EQ(Utf8(log->InactiveReason()),
              "Log file not written [" + onDisk + "]: " + plant.reason);
    EXPECT_EQ(log->WriteInfo(WIDE("Created User[test001] Password[pass001]")).substr(23),
              WIDE("|I|Created User[test001] Password[pass001]"));
    log->Close();

    const Entry after = Look(onDisk);
    EXPECT_EQ(after.info.st_ino, before.info.st_ino);
    EXPECT_EQ(after.info.st_mode, before.info.st_mode);
    EXPECT_EQ(after.info.st_size, before.info.st_size);
    EXPECT_EQ(after.content, before.content);
    EXPECT_EQ(after.target, before.target);
    EXPECT_EQ(ReadTextFile(victim_), kVictimBytes);
    struct stat info {};
    EXPECT_NE(lstat((victim_ + ".new").c_str(), &info), 0) << "created through a link";
}

INSTANTIATE_TEST_SUITE_P(Attacks, PlantedLogFile,
                         ::testing::Combine(::testing::ValuesIn(kPlants),
                                            ::testing::Values(kDirect, kQueued)),
                         [](const auto& test) {
                             return std::string(std::get<0>(test.param).name) +
                                    (std::get<1>(test.param) == kDirect ? "Direct" : "Queued");
                         });

// Folder names are outside text: a line break in one must not start a line
// of its own in the file, neither in the start line nor in a refusal.
TEST(LogFileNames, ControlCharactersInThePathAreShownEscaped) {
    TempFolder base("nomvera-log-names");
    const std::string folder = base / "evil\nname\x1b";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    auto log = log::TDiagnosticLog::Create(Utf16(folder + "/a.log"), 200, kDirect);
    ASSERT_TRUE(log->IsActive());
    EXPECT_TRUE(log->InactiveReason().empty());
    log->Close();
    const std::vector<std::string> lines = LogLines(folder + "/a.utf8.log");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("Log Started[" + base.Path() + "/evil\\x0Aname\\x1B/a.utf8.log]"),
              std::string::npos)
        << lines[0];

    ASSERT_EQ(symlink("elsewhere", (folder + "/b.utf8.log").c_str()), 0);
    log = log::TDiagnosticLog::Create(Utf16(folder + "/b.log"), 200, kDirect);
    EXPECT_EQ(Utf8(log->InactiveReason()), "Log file not written [" + base.Path() +
                                               "/evil\\x0Aname\\x1B/b.utf8.log]: it is a "
                                               "symbolic link");
    log->Close();
}

} // namespace
} // namespace nomvera::test
