#include "log/log_location.h"
#include "tests/common/sandbox_root.h"
#include "tests/log/log_file_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace nomvera::test {
namespace {

// Sets an environment variable for the lifetime of the object.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (had_) {
            setenv(name_, old_.c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

// The user's folders come from the sandbox's user database, where the
// effective user must have an entry; the sandbox knows root.
class LogLocation : public ::testing::Test {
protected:
    void SetUp() override {
        if (!RunningAsRoot()) {
            GTEST_SKIP() << "the sandbox's user database only knows root";
        }
    }
    SandboxRoot root_;
    TempFolder elsewhere_{"nomvera-log-location"};
};

TEST_F(LogLocation, TheUsersStateFolderComesFirst) {
    for (const char* folder : {"root", "root/.local", "root/.local/state"}) {
        mkdir((root_ / folder).c_str(), 0700);
    }
    struct stat made {};
    ASSERT_EQ(stat((root_ / "root/.local/state").c_str(), &made), 0);
    ScopedVariable state("XDG_STATE_HOME", elsewhere_.Path());
    EXPECT_EQ(log::LogFolder(), Utf16(root_ / "root/.local/state/"));
    EXPECT_EQ(log::PrimaryLogFilePath(), Utf16(root_ / "root/.local/state/kelRostery.log"));
    EXPECT_EQ(log::FallbackLogFilePath(),
              Utf16(root_ / "root/.local/state/kelNonAdminRostery.log"));
}

TEST_F(LogLocation, WithoutAStateFolderTheEnvironmentIsUsed) {
    ScopedVariable state("XDG_STATE_HOME", elsewhere_.Path());
    EXPECT_EQ(log::LogFolder(), Utf16(elsewhere_.Path() + "/"));
}

TEST_F(LogLocation, AMissingOrTooShortFolderGivesTheTemporaryFolder) {
    TempFolder temporary("nomvera-log-tmp");
    ScopedVariable tmpdir("TMPDIR", temporary.Path());
    {
        ScopedVariable state("XDG_STATE_HOME", elsewhere_ / "gone");
        EXPECT_EQ(log::LogFolder(), Utf16(temporary.Path() + "/"));
    }
    ScopedVariable shortName("XDG_STATE_HOME", "/");
    EXPECT_EQ(log::LogFolder(), Utf16(temporary.Path() + "/")); // one separator, not two
}

} // namespace
} // namespace nomvera::test
