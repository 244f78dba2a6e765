#include "platform/errors.h"
#include "platform/libloader.h"
#include "platform/test_doubles.h"
#include "platform/wide_text.h"
#include "shortcuts/fs_redirection.h"
#include "shortcuts/shortcut_steps.h"
#include "support/text.h"
#include "tests/shortcuts/shortcut_test_support.h"

#include <gtest/gtest.h>

namespace nomvera::test {
namespace {

constexpr char kDouble[] = "fsredirection_testdouble.dll";

HMODULE LoadDouble() {
    platform::test_double::AcceptTestDoubleLibrary("fsredirection_testdouble");
    return LoadLibraryA(kDouble);
}

// The double's counters, reached by name as the binding reaches it.
struct TDoubleProbe {
    HMODULE module = LoadDouble();
    template <class Fn> Fn Get(const char* name) {
        return reinterpret_cast<Fn>(GetProcAddress(module, name));
    }
    void Reset(BOOL result) { Get<void (*)(BOOL)>("FsDoubleReset")(result); }
    int Disables() { return Get<int (*)()>("FsDoubleDisableCalls")(); }
    int Reverts() { return Get<int (*)()>("FsDoubleRevertCalls")(); }
    DWORD ErrorSeen() { return Get<DWORD (*)()>("FsDoubleErrorSeenByDisable")(); }
    bool RevertedWithToken() { return Get<bool (*)()>("FsDoubleRevertedWithToken")(); }
    ~TDoubleProbe() { FreeLibrary(module); }
};

class FsRedirectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(probe_.module, nullptr);
        probe_.Reset(TRUE);
        shortcuts::BindFsRedirection(kDouble);
        ASSERT_TRUE(shortcuts::FsRedirectionBound());
    }
    void TearDown() override { shortcuts::ReleaseFsRedirection(); }
    TDoubleProbe probe_;
};

TEST_F(FsRedirectionTest, SwitchesOffOnceAndBackWithTheOldValue) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(shortcuts::DisableFsRedirection(), TRUE);
    EXPECT_EQ(probe_.ErrorSeen(), 0u); // cleared before the call
    EXPECT_TRUE(shortcuts::FsRedirectionSwitchedOff());
    EXPECT_EQ(shortcuts::DisableFsRedirection(), 0); // already off: nothing called
    EXPECT_EQ(probe_.Disables(), 1);

    EXPECT_EQ(shortcuts::RevertFsRedirection(), TRUE);
    EXPECT_TRUE(probe_.RevertedWithToken());
    EXPECT_FALSE(shortcuts::FsRedirectionSwitchedOff());
    EXPECT_EQ(shortcuts::RevertFsRedirection(), 0);
    EXPECT_EQ(probe_.Reverts(), 1);
}

TEST_F(FsRedirectionTest, FailedSwitchStillCountsAsOff) {
    probe_.Reset(FALSE);
    EXPECT_EQ(shortcuts::DisableFsRedirection(), FALSE);
    EXPECT_TRUE(shortcuts::FsRedirectionSwitchedOff());
    EXPECT_EQ(shortcuts::RevertFsRedirection(), FALSE);
    EXPECT_FALSE(shortcuts::FsRedirectionSwitchedOff());
}

// Under WOW64 the explorer steps switch redirection off around the look-up
// and around the start, and leave it on when the handler ends.
TEST_F(FsRedirectionTest, ExplorerStepsPairEverySwitch) {
    TSettingsProgramDouble settings;
    TProgramFolders path(settings.Folder());
    TRecordingHost host;
    const shortcuts::TShellFacts wow64{10, true, 256};
    shortcuts::PersonalizationColorClick(host, wow64);
    EXPECT_EQ(host.lines.at(1).text,
              WIDE("Shell 6: ") +
                  support::WidenText(support::SystemMessageText(ERROR_FILE_NOT_FOUND)));
    EXPECT_EQ(probe_.Disables(), 2);
    EXPECT_EQ(probe_.Reverts(), 2);
    EXPECT_FALSE(shortcuts::FsRedirectionSwitchedOff());

    probe_.Reset(TRUE);
    shortcuts::PersonalizationColorClick(host, {10, false, 0});
    EXPECT_EQ(probe_.Disables(), 0);
}

TEST(FsRedirectionBinding, MissingLibraryLeavesTheSwitchesInert) {
    shortcuts::BindFsRedirection("no-such-library.dll");
    EXPECT_FALSE(shortcuts::FsRedirectionBound());
    EXPECT_EQ(shortcuts::DisableFsRedirection(), 0);
    EXPECT_FALSE(shortcuts::FsRedirectionSwitchedOff());
    EXPECT_EQ(shortcuts::RevertFsRedirection(), 0);
    shortcuts::ReleaseFsRedirection();
}

TEST(FsRedirectionBinding, TheKernelStandInSucceeds) {
    shortcuts::BindFsRedirection();
    ASSERT_TRUE(shortcuts::FsRedirectionBound());
    EXPECT_EQ(shortcuts::DisableFsRedirection(), TRUE);
    EXPECT_EQ(shortcuts::RevertFsRedirection(), TRUE);
    shortcuts::ReleaseFsRedirection();
    EXPECT_FALSE(shortcuts::FsRedirectionBound());
}

} // namespace
} // namespace nomvera::test
