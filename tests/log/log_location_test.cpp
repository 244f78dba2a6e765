#include "log/log_location.h"
#include "platform/wide_text.h"
#include "tests/common/child_process.h"
#include "tests/common/sandbox_root.h"
#include "tests/log/log_test_helpers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace nomvera::test {
namespace {

// Sets (or, with no value, clears) an environment variable for the lifetime
// of the object.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
    ~ScopedVariable() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// The user's folders come from the sandbox's user database, where the
// effective user must have an entry; the sandbox knows root, whose home
// folder it has. The temporary folder is a shared one, as /tmp is.
class LogLocation : public ::testing::Test {
protected:
    void SetUp() override {
        if (!RunningAsRoot()) {
            GTEST_SKIP() << "the sandbox's user database only knows root";
        }
        chmod(temporary_.Path().c_str(), 01777);
    }
    void WithoutHome() const {
        WriteTextFile(root_ / "etc/passwd", "root:x:0:0:root:/nonexistent:/bin/bash\n"
                                            "nobody:x:65534:65534::/nonexistent:/bin/false\n");
    }
    std::string PrivateTemp() const { return temporary_ / "nomvera-0"; }

    SandboxRoot root_;
    TempFolder elsewhere_{"nomvera-log-location"};
    TempFolder temporary_{"nomvera-log-tmp"};
    ScopedVariable tmpdir_{"TMPDIR", temporary_.Path()};
};

enum class Source { kStateVariable, kHomeState, kPrivateTemp };

struct LocationCase {
    const char* name;
    std::optional<std::string> stateVariable; // relative to elsewhere_ when not starting with "/"
    bool relativeVariable;                    // set it as it is, without elsewhere_ in front
    bool homeStateExists;
    bool homeUsable;
    Source expected;
};

class LogLocationChoice : public LogLocation, public ::testing::WithParamInterface<LocationCase> {};

// $XDG_STATE_HOME when set and absolute, else the home folder's .local/state,
// each made (0700, parents as needed) when missing; only without a usable
// home the user's private folder in the temporary folder, never the shared
// temporary folder itself.
INSTANTIATE_TEST_SUITE_P(
    Cases, LogLocationChoice,
    ::testing::Values(LocationCase{"VariableBeforeHome", "state", false, true, true,
                                   Source::kStateVariable},
                      LocationCase{"MissingVariableFolderIsMade", "new/deep/state", false, false,
                                   true, Source::kStateVariable},
                      LocationCase{"RelativeVariableIsIgnored", "relative/state", true, false, true,
                                   Source::kHomeState},
                      LocationCase{"MissingHomeStateIsMade", std::nullopt, false, false, true,
                                   Source::kHomeState},
                      LocationCase{"NoHomeGivesThePrivateTemporaryFolder", std::nullopt, false,
                                   false, false, Source::kPrivateTemp}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_P(LogLocationChoice, FollowsTheBaseDirectoryRules) {
    const LocationCase& c = GetParam();
    if (c.homeStateExists) {
        std::filesystem::create_directories(root_ / "root/.local/state");
    }
    if (!c.homeUsable) {
        WithoutHome();
    }
    const std::string variableFolder =
        c.stateVariable ? (c.relativeVariable ? *c.stateVariable : elsewhere_ / *c.stateVariable)
                        : std::string();
    ScopedVariable variable("XDG_STATE_HOME",
                            c.stateVariable ? std::optional(variableFolder) : std::nullopt);
    mkdir((elsewhere_ / "state").c_str(), 0755); // an existing folder is used as it is

    std::string expected;
    std::vector<std::string> made; // folders the lookup has to make
    switch (c.expected) {
    case Source::kStateVariable:
        expected = variableFolder;
        if (*c.stateVariable != "state") {
            made = {elsewhere_ / "new", elsewhere_ / "new/deep", variableFolder};
        }
        break;
    case Source::kHomeState:
        expected = root_ / "root/.local/state";
        if (!c.homeStateExists) {
            made = {root_ / "root/.local", expected};
        }
        break;
    case Source::kPrivateTemp:
        expected = PrivateTemp();
        made = {expected};
        break;
    }
    EXPECT_EQ(log::LogFolder(), Utf16(expected + "/"));
    EXPECT_EQ(log::PrimaryLogFilePath(), Utf16(expected + "/kelRostery.log"));
    EXPECT_EQ(log::FallbackLogFilePath(), Utf16(expected + "/kelNonAdminRostery.log"));
    for (const std::string& folder : made) {
        EXPECT_EQ(ModeOf(folder), 0700u) << folder;
    }
    EXPECT_EQ(ModeOf(elsewhere_ / "state"), 0755u);
    EXPECT_EQ(ModeOf(elsewhere_ / "relative"), 0u) << "a relative name was made";
}

// A state folder that another account could change (sudo -E hands root a
// user's XDG_STATE_HOME) is passed over: root makes nothing inside it and
// writes nothing below it, whether the folder itself or one above it is open.
TEST_F(LogLocation, AStateFolderOthersCanChangeIsPassedOver) {
    struct Open {
        const char* folder;
        uid_t owner;
        mode_t mode;
    };
    for (const Open& open :
         {Open{"theirs", 65534, 0755}, Open{"shared", 0, 0777}, Open{"theirs-made", 65534, 0700}}) {
        SCOPED_TRACE(open.folder);
        const std::string folder = elsewhere_ / open.folder;
        ASSERT_EQ(mkdir(folder.c_str(), open.mode), 0);
        ASSERT_EQ(chmod(folder.c_str(), open.mode), 0);
        ASSERT_EQ(chown(folder.c_str(), open.owner, open.owner), 0);
        const bool leaf = std::string(open.folder) == "theirs-made";
        ScopedVariable variable("XDG_STATE_HOME", leaf ? folder : folder + "/state");
        EXPECT_EQ(log::LogFolder(), Utf16(root_ / "root/.local/state/"));
        EXPECT_EQ(ModeOf(folder + "/state"), 0u) << "made inside another account's folder";
    }
}

struct PlantedFolder {
    const char* name;
    std::function<int(const std::string& at, const std::string& own)> asNobody;
};

class PlantedPrivateTemp : public LogLocation,
                           public ::testing::WithParamInterface<PlantedFolder> {};

INSTANTIATE_TEST_SUITE_P(
    Attacks, PlantedPrivateTemp,
    ::testing::Values(PlantedFolder{"FolderOfItsOwn",
                                    [](const std::string& at, const std::string&) {
                                        return mkdir(at.c_str(), 0777) == 0
                                                   ? chmod(at.c_str(), 0777)
                                                   : 1;
                                    }},
                      PlantedFolder{"LinkToItsFolder",
                                    [](const std::string& at, const std::string& own) {
                                        return symlink(own.c_str(), at.c_str());
                                    }},
                      PlantedFolder{"PrivateFolderOfItsOwn",
                                    [](const std::string& at, const std::string&) {
                                        return mkdir(at.c_str(), 0700);
                                    }}),
    [](const auto& test) { return std::string(test.param.name); });

// The other account makes the private folder's name its own before root's
// first run without a home; root writes nothing there and logs into a fresh
// folder of its own, of a name nobody can guess, for the rest of the run.
TEST_P(PlantedPrivateTemp, IsPassedOverForAFreshFolderOfItsOwn) {
    WithoutHome();
    ScopedVariable state("XDG_STATE_HOME", std::nullopt);
    const std::string own = temporary_ / "nobodys";
    ASSERT_EQ(
        RunAsNobody([&] { return mkdir(own.c_str(), 0777) == 0 ? chmod(own.c_str(), 0777) : 1; }),
        0);
    ASSERT_EQ(RunAsNobody([&] { return GetParam().asNobody(PrivateTemp(), own); }), 0);

    const WideString path = log::PrimaryLogFilePath();
    const std::string file = Utf8(path);
    ASSERT_EQ(file.rfind(PrivateTemp() + "-", 0), 0u) << file;
    const std::string fresh = file.substr(0, file.rfind('/'));
    EXPECT_EQ(fresh.size(), PrivateTemp().size() + 7) << fresh;
    EXPECT_EQ(ModeOf(fresh), 0700u);
    log::TDiagnosticLog* log = log::TDiagnosticLog::Create(path, 200, kDirect);
    EXPECT_TRUE(log->IsActive()) << Utf8(log->InactiveReason());
    log->Close();
    EXPECT_EQ(LogLines(fresh + "/kelRostery.utf8.log").size(), 2u);
    EXPECT_EQ(log::PrimaryLogFilePath(), path);
    EXPECT_TRUE(std::filesystem::is_empty(own));
    struct stat info {};
    EXPECT_NE(lstat((PrivateTemp() + "/kelRostery.utf8.log").c_str(), &info), 0);
}

TEST_F(LogLocation, ThePrivateTemporaryFolderIsMadeOnceAndUsed) {
    WithoutHome();
    ScopedVariable state("XDG_STATE_HOME", std::nullopt);
    log::TDiagnosticLog* log = log::TDiagnosticLog::Create(log::PrimaryLogFilePath(), 200, kDirect);
    EXPECT_TRUE(log->IsActive());
    log->Close();
    EXPECT_EQ(ModeOf(PrivateTemp()), 0700u);
    EXPECT_EQ(LogLines(PrivateTemp() + "/kelRostery.utf8.log").size(), 2u);
    EXPECT_EQ(ModeOf(PrivateTemp() + "/kelRostery.utf8.log"), 0600u);
}

} // namespace
} // namespace nomvera::test
