// The real window against the fixture's domain controller, told by its
// environment which server to use and how to sign in.
#include "platform/posix/kernel/module_path.h"
#include "tests/common/child_process.h"
#include "tests/common/test_environment.h"
#include "tests/domain/domain_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

namespace nomvera::test {
namespace {

bool HasLineEndingWith(const std::vector<std::string>& lines, const std::string& end) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.ends_with(end); });
}

TEST(DomainWindow, TheEnvironmentNamesTheServerAndTheBatchesUseIt) {
    std::string why;
    auto domain = FixtureDomain(why);
    if (!domain) {
        GTEST_SKIP() << why;
    }
    SandboxRoot root;
    TempFolder base("nomvera-domain-window");
    TProgramFolders folders(base);
    const std::string bin = posix::ExecutableFolder();
    std::vector<std::string> arguments = {bin + "/nomvera"};
    std::vector<std::string> variables = {
        "PATH=/usr/bin:/bin:/usr/sbin:/sbin",
        "LANG=C.UTF-8",
        "QT_QPA_PLATFORM=offscreen",
        "NOMVERA_SYSROOT=" + root.Path(),
        "LD_PRELOAD=" + bin + "/libnomvera_gui_driver.so",
        "NOMVERA_DRIVER_REPORT=" + folders.state + "/driver.report",
        "NOMVERA_DRIVER_STEPS=click:Create;click:Groups;type:Name=dw;type:Number:=2;"
        "click:Create Global Groups;wait:5000;close",
        "NOMVERA_ACCOUNT_SERVER=127.0.0.1",
        "NOMVERA_ACCOUNT_CREDENTIALS=" + domain->CredentialsFile(),
        "ASAN_OPTIONS=verify_asan_link_order=0"};
    if (const char* lsan = std::getenv("LSAN_OPTIONS")) {
        variables.push_back(std::string("LSAN_OPTIONS=") + lsan);
    }
    const std::vector<std::string> folderVariables = folders.Variables();
    variables.insert(variables.end(), folderVariables.begin(), folderVariables.end());
    std::vector<char*> argv = NullTerminated(arguments);
    std::vector<char*> envp = NullTerminated(variables);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), envp.data()), 0);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            FAIL() << "the window did not end within 120 s";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    const auto lines = LogFileLines(folders.state + "/kelRostery.utf8.log");
    std::string all;
    for (const std::string& line : lines) {
        all += line + "\n";
    }
    EXPECT_TRUE(HasLineEndingWith(lines, "|I|.Account service: LAB (127.0.0.1)")) << all;
    EXPECT_TRUE(
        HasLineEndingWith(lines, "|I|.Account service sign-in: password as LAB\\Administrator"));
    EXPECT_TRUE(HasLineEndingWith(lines, "|I|.Created Global group[dw002]"));
    EXPECT_EQ(StoredAttribute(*domain, "dw002", "groupType"),
              (std::vector<std::string>{"-2147483646"}));
    for (const char* group : {"dw001", "dw002"}) {
        RunProgram({"/usr/bin/samba-tool", "group", "delete", group, "-H", domain->SamDatabase()});
    }
    EXPECT_TRUE(StoredAttribute(*domain, "dw001", "objectClass").empty());
}

} // namespace
} // namespace nomvera::test
