#include "platform/errors.h"
#include "platform/lmaccess.h"
#include "platform/posix/services/standin_services.h"
#include "platform/registry.h"
#include "platform/security.h"
#include "platform/wide_text.h"
#include "shortcuts/privacy_policy.h"
#include "shortcuts/shortcut_steps.h"
#include "support/text.h"
#include "tests/common/child_process.h"
#include "tests/common/sandbox_root.h"
#include "tests/shortcuts/shortcut_test_support.h"

#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nomvera::test {
namespace {

const shortcuts::TShellFacts kFacts{10, false, 0};
const std::string kMarker = "etc/skel/.config/gnome-initial-setup-done";

std::string g_tree;
// Every entry under a folder with its type, mode and content size.
std::string TreeOf(const std::string& root) {
    g_tree.clear();
    nftw(
        root.c_str(),
        [](const char* path, const struct stat* st, int type, FTW*) {
            g_tree += std::string(path) + " " + std::to_string(type) + " " +
                      std::to_string(st->st_mode) + " " + std::to_string(st->st_size) + "\n";
            return 0;
        },
        16, FTW_PHYS);
    return g_tree;
}

// An account and its profile made the way the tool makes them: through the
// account and profile stand-ins (shadow-utils inside the sandbox root).
std::string AddUserWithProfile(const WideString& name) {
    USER_INFO_1 record{};
    WideString password = WIDE("pass001");
    record.usri1_name = const_cast<LPWSTR>(name.c_str());
    record.usri1_password = password.data();
    record.usri1_priv = USER_PRIV_USER;
    record.usri1_flags = UF_DONT_EXPIRE_PASSWD | UF_NORMAL_ACCOUNT;
    if (posix::NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&record), nullptr) != 0) {
        return "account not made";
    }
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
    DWORD sidSize = sizeof sid;
    WCHAR domain[256] = {};
    DWORD domainSize = 256;
    SID_NAME_USE use{};
    LPSTR sidText = nullptr;
    if (!LookupAccountNameW(nullptr, name.c_str(), sid, &sidSize, domain, &domainSize, &use) ||
        !ConvertSidToStringSidA(sid, &sidText)) {
        return "no SID";
    }
    WideString wideSid = support::WidenText(sidText);
    LocalFree(sidText);
    WCHAR path[260] = {};
    if (posix::CreateProfile(wideSid.c_str(), name.c_str(), path, 260) != 0) {
        return "profile not made";
    }
    return support::NarrowText(path);
}

TEST(NoPrivacyQuestions, MarksTheSkeletonForAccountsMadeAfterwards) {
    NOMVERA_SKIP_UNLESS_ROOT();
    SandboxRoot root;
    TRecordingHost host;
    for (int press = 0; press < 2; ++press) {
        host.lines.clear();
        shortcuts::NoPrivacyQuestionsClick(host, kFacts);
        EXPECT_EQ(host.lines, std::vector<TLoggedLine>{Info("DisablePrivacyExperience: OK")})
            << Describe(host.lines);
        EXPECT_EQ(ReadTextFile(root / kMarker), "yes");
    }
    struct stat info {};
    ASSERT_EQ(stat((root / kMarker).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    ASSERT_EQ(stat((root / "etc/skel/.config").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);

    // The value reads back as 1 through the registry.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, shortcuts::kOobePolicyKey, 0, KEY_READ, &key), 0);
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    EXPECT_EQ(RegQueryValueExA(key, shortcuts::kDisablePrivacyExperience, nullptr, &type,
                               reinterpret_cast<BYTE*>(&value), &size),
              0);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(value, 1u);
    RegCloseKey(key);

    const std::string home = AddUserWithProfile(WIDE("oobe001"));
    EXPECT_EQ(home, root / "home/oobe001");
    EXPECT_EQ(ReadTextFile(home + "/.config/gnome-initial-setup-done"), "yes");
}

TEST(NoPrivacyQuestions, NeverWritesThroughALinkInTheSkeleton) {
    NOMVERA_SKIP_UNLESS_ROOT();
    SandboxRoot root;
    TempFolder elsewhere("nomvera-elsewhere");
    ASSERT_EQ(symlink(elsewhere.Path().c_str(), (root / "etc/skel/.config").c_str()), 0);
    TRecordingHost host;
    shortcuts::NoPrivacyQuestionsClick(host, kFacts);
    EXPECT_EQ(host.lines,
              std::vector<TLoggedLine>{Error("DisablePrivacyExperience: " +
                                             support::SystemMessageText(ERROR_PATH_NOT_FOUND))})
        << Describe(host.lines);
    EXPECT_EQ(ReadTextFile(elsewhere / "gnome-initial-setup-done"), "");
}

// Run as nobody in a child, which reports the lines it logged on a pipe.
TEST(NoPrivacyQuestions, WithoutRightsLogsAccessDeniedAndWritesNothing) {
    NOMVERA_SKIP_UNLESS_ROOT();
    SandboxRoot root;
    const std::string before = TreeOf(root.Path());
    const TChildResult run = RunAsNobodyCapturing([] {
        TRecordingHost host;
        shortcuts::NoPrivacyQuestionsClick(host, kFacts);
        return Describe(host.lines);
    });
    ASSERT_EQ(run.exitCode, 0);
    const std::string& report = run.output;
    EXPECT_EQ(report, "E DisablePrivacyExperience: " + support::SystemMessageText(5) + "\n");
    EXPECT_NE(report.find(" [5]"), std::string::npos);
    EXPECT_EQ(TreeOf(root.Path()), before);
}

} // namespace
} // namespace nomvera::test
