// The real bin/nomvera in command mode over a sandbox system root with the
// real shadow-utils, a temporary HOME, XDG_STATE_HOME and TMPDIR, and no
// display at all: judged by its exit status, its standard output and error,
// the account files and the log file.
#include "platform/posix/kernel/module_path.h"
#include "tests/common/child_process.h"
#include "tests/common/programs_for_nobody.h"
#include "tests/common/sandbox_root.h"
#include "tests/common/temp_folder.h"
#include "tests/common/test_environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <crypt.h>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <regex>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace nomvera::test {
namespace {

using namespace std::chrono_literals;

struct TCall {
    std::vector<std::string> arguments;
    // Standard error on a pseudo-terminal instead of a pipe.
    bool errorOnTerminal = false;
    // Standard output a pipe whose reading end is closed at once.
    bool closedOutput = false;
    // Started as the user nobody, through setpriv, from these copies of the
    // program and its libraries.
    const ProgramsForNobody* asNobody = nullptr;
    // Started through this program and its arguments (the tool's path and
    // arguments follow), with no NOMVERA_SYSROOT: the machine itself.
    std::vector<std::string> launcher = {};
    // More environment variables, NAME=VALUE.
    std::vector<std::string> variables = {};
    // Standard input: this text through a pipe (else /dev/null), or, with
    // inputOnTerminal, typed on a pseudo-terminal once the prompt is on
    // standard error (what the terminal echoes back lands in TResult::echo).
    std::string input = {};
    bool inputOnTerminal = false;
    // Sent once standard output holds this text; 0 for none.
    int signal = 0;
    std::string signalAfter = {};
    // The program leads a process group of its own and the signal goes to
    // the whole group, as a terminal sends Ctrl+C to its foreground job.
    bool signalToGroup = false;
    // A file-size limit in bytes, 0 for none: the soft limit (`ulimit -S -f`),
    // and with hardFileSizeLimit the hard one as well (`ulimit -f`).
    rlim_t fileSizeLimit = 0;
    bool hardFileSizeLimit = false;
};

struct TResult {
    int exitCode = -1; // negative: the signal that ended it
    std::string out;
    std::string err;
    std::string echo;
};

std::string WithoutIndent(std::string line) {
    const std::size_t tag = line.find('|', line.find('|') + 1);
    if (tag != std::string::npos) {
        const std::size_t text = line.find_first_not_of('.', tag + 1);
        line.erase(tag + 1, text - tag - 1);
    }
    return line;
}

std::vector<std::string> ShownLines(const std::string& text) {
    std::vector<std::string> lines = TextLines(text);
    for (std::string& line : lines) {
        line = WithoutIndent(line);
    }
    return lines;
}

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        chmod(base_.Path().c_str(), 0755);
        for (const std::string& folder : {home_, state_, temp_}) {
            ASSERT_EQ(mkdir(folder.c_str(), 0700), 0) << folder;
        }
    }

    TResult Run(const std::vector<std::string>& arguments) {
        TCall call;
        call.arguments = arguments;
        return RunCall(call);
    }

    TResult RunWithClosedOutput(const std::vector<std::string>& arguments) {
        TCall call;
        call.arguments = arguments;
        call.closedOutput = true;
        return RunCall(call);
    }

    // "PW:TEXT" stands for a password file of the test's (mode 0600) whose
    // first line is TEXT; "BASE" for the test's folder.
    std::string Staged(std::string argument) {
        if (argument.starts_with("PW:")) {
            const std::string path = base_ / ("password" + std::to_string(++passwordFiles_));
            WriteTextFile(path, argument.substr(3) + "\n");
            chmod(path.c_str(), 0600);
            return path;
        }
        if (const auto at = argument.find("BASE"); at != std::string::npos) {
            argument.replace(at, 4, base_.Path());
        }
        return argument;
    }

    TResult RunCall(const TCall& call) {
        const std::string program =
            (call.asNobody != nullptr ? call.asNobody->Folder() : posix::ExecutableFolder()) +
            "/nomvera";
        std::vector<std::string> arguments = {program};
        if (call.asNobody != nullptr) {
            arguments = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                         program};
        }
        if (!call.launcher.empty()) {
            arguments.insert(arguments.begin(), call.launcher.begin(), call.launcher.end());
        }
        for (const std::string& argument : call.arguments) {
            arguments.push_back(Staged(argument));
        }
        // No DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM: command mode needs none.
        std::vector<std::string> variables = {
            "PATH=/usr/bin:/bin:/usr/sbin:/sbin", "LANG=C.UTF-8",    "HOME=" + home_,
            "XDG_STATE_HOME=" + state_,           "TMPDIR=" + temp_,
        };
        if (call.launcher.empty()) {
            variables.push_back("NOMVERA_SYSROOT=" + root_.Path());
        }
        for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"}) {
            const char* value = std::getenv(name);
            std::string variable = std::string(name) + "=";
            // A preloaded double comes ahead of a sanitizer build's runtime; that is fine here.
            if (std::string(name) == "ASAN_OPTIONS") {
                variable += "verify_asan_link_order=0:";
            }
            variables.push_back(variable + (value != nullptr ? value : ""));
        }
        variables.insert(variables.end(), call.variables.begin(), call.variables.end());
        std::vector<char*> argv = NullTerminated(arguments);
        std::vector<char*> envp = NullTerminated(variables);

        TResult result;
        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe";
            return result;
        }
        if (call.errorOnTerminal) {
            if (openpty(&err[0], &err[1], nullptr, nullptr, nullptr) != 0) {
                ADD_FAILURE() << "openpty";
                return result;
            }
        } else if (pipe2(err, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe";
            return result;
        }
        int in[2] = {-1, -1};
        if (call.inputOnTerminal ? openpty(&in[1], &in[0], nullptr, nullptr, nullptr) != 0
                                 : (!call.input.empty() && pipe2(in, O_CLOEXEC) != 0)) {
            ADD_FAILURE() << "standard input";
            return result;
        }
        const pid_t child = fork();
        if (child == 0) {
            if (call.inputOnTerminal) {
                setsid();
            } else if (call.signalToGroup) {
                setpgid(0, 0);
            }
            if (call.fileSizeLimit != 0) {
                const rlimit limit{call.fileSizeLimit, call.hardFileSizeLimit
                                                           ? call.fileSizeLimit
                                                           : rlim_t{RLIM_INFINITY}};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            dup2(in[0] >= 0 ? in[0] : open("/dev/null", O_RDONLY), STDIN_FILENO);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        if (in[0] >= 0) {
            close(in[0]);
        }
        if (!call.inputOnTerminal && in[1] >= 0) {
            signal(SIGPIPE, SIG_IGN);
            (void)!write(in[1], call.input.data(), call.input.size());
            close(in[1]);
            in[1] = -1;
        }
        bool typed = false;
        if (call.closedOutput) {
            close(out[0]);
        }
        bool signalled = false;
        std::array<pollfd, 3> fds = {{{call.closedOutput ? -1 : out[0], POLLIN, 0},
                                      {err[0], POLLIN, 0},
                                      {in[1], POLLIN, 0}}};
        const auto deadline = std::chrono::steady_clock::now() + 240s;
        while ((fds[0].fd >= 0 || fds[1].fd >= 0) && std::chrono::steady_clock::now() < deadline) {
            if (call.inputOnTerminal && !typed &&
                result.err.find("Password prefix: ") != std::string::npos) {
                (void)!write(in[1], call.input.data(), call.input.size());
                typed = true;
            }
            if (poll(fds.data(), fds.size(), 100) <= 0) {
                continue;
            }
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if (fds[i].fd < 0 || fds[i].revents == 0) {
                    continue;
                }
                char buffer[4096];
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0) { // a terminal gives EIO once the last writer is gone
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    continue;
                }
                (i == 0   ? result.out
                 : i == 1 ? result.err
                          : result.echo)
                    .append(buffer, static_cast<std::size_t>(n));
            }
            if (call.signal != 0 && !signalled &&
                result.out.find(call.signalAfter) != std::string::npos) {
                kill(call.signalToGroup ? -child : child, call.signal);
                signalled = true;
            }
        }
        if (fds[0].fd >= 0 || fds[1].fd >= 0) {
            kill(child, SIGKILL);
            ADD_FAILURE() << "nomvera did not end within 240 s";
        }
        for (const pollfd& fd : fds) {
            if (fd.fd >= 0) {
                close(fd.fd);
            }
        }
        if (call.inputOnTerminal && fds[2].fd < 0) {
            in[1] = -1;
        }
        int status = 0;
        waitpid(child, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        EXPECT_TRUE(call.signal == 0 || signalled) << "never saw " << call.signalAfter;
        return result;
    }

    std::string LogPath() const { return state_ + "/kelRostery.utf8.log"; }

    // The activity lines of the newest run in the log file, without the
    // log's own start and closing lines. The file gives an End line the
    // indent of the block it closes; the window shows the line the log
    // returns, which still has the block's indent: both are compared without it.
    std::vector<std::string> LoggedActivity() const {
        std::vector<std::string> run;
        for (const std::string& line : LogFileLines(LogPath())) {
            if (line.find(" Log Started[") != std::string::npos) {
                run.clear();
            } else if (std::regex_search(line, std::regex(R"(\|[IWE]\|)")) &&
                       !line.starts_with(' ') && // a long message's continuation, never shown
                       line.find("|I|Wait(mSec): ") == std::string::npos &&
                       line.find("|I|CNTin1GO: ") == std::string::npos) {
                run.push_back(WithoutIndent(line));
            }
        }
        return run;
    }

    // The member list of a group in the sandbox's group file.
    std::string Members(const std::string& group) const {
        for (const std::string& line : TextLines(ReadTextFile(root_ / "etc/group"))) {
            if (line.rfind(group + ":", 0) == 0) {
                return line.substr(line.rfind(':') + 1);
            }
        }
        return "(no group)";
    }

    bool HasAccount(const std::string& name) const {
        return ReadTextFile(root_ / "etc/passwd").find("\n" + name + ":") != std::string::npos;
    }

    SandboxRoot root_;
    TempFolder base_{"nomvera-cli"};
    int passwordFiles_ = 0;
    std::string home_ = base_ / "home";
    std::string state_ = base_ / "state";
    std::string temp_ = base_ / "tmp";
};

TEST_F(CommandLineTest, UsersComeAndGoWithGroupsProfilesCredentialsAndTheSameLines) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const TResult groups = Run({"create-local-groups", "--prefix", "e2eg", "--count", "2"});
    ASSERT_EQ(groups.exitCode, 0) << groups.out << groups.err;
    EXPECT_NE(ReadTextFile(root_ / "etc/group").find("\ne2eg002:x:"), std::string::npos);

    // A password prefix with a comma and a quote: the CSV must quote it.
    const std::string csv = base_ / "accounts.csv";
    const TResult created = RunCall(
        {.arguments = {"create-users", "--prefix", "e2eu", "--password-file", "-", "--count=3",
                       "--group", "e2eg002", "--group", "sudo", "--profile", "--credentials", csv},
         .input = "p,w\"x\nnot this line\n"});
    EXPECT_EQ(created.exitCode, 0) << created.out;
    EXPECT_EQ(created.err, "") << "standard error is no terminal: no progress line";

    // Standard output holds exactly the activity lines of the log file, as
    // the window's list shows them: stamp, level tag, indent, text.
    const std::vector<std::string> out = TextLines(created.out);
    EXPECT_EQ(ShownLines(created.out), LoggedActivity());
    const std::regex shown(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\|[IWE]\|\.*\S.*)");
    for (const std::string& line : out) {
        EXPECT_TRUE(std::regex_match(line, shown)) << line;
    }
    auto has = [&out](const std::string& end) {
        return std::any_of(out.begin(), out.end(),
                           [&end](const std::string& line) { return line.ends_with(end); });
    };
    EXPECT_TRUE(has("|I|Begin: Command line"));
    EXPECT_TRUE(has("|I|." + ShownMessage(posix::ExecutableFolder() +
                                          "/nomvera [2.2.205.1][ Build: 01-Jan-2023][unlimited "
                                          "users]")));
    EXPECT_TRUE(has("|I|.End: Fill Groups: 7"));
    EXPECT_TRUE(has("|I|Begin: Create Users"));
    EXPECT_TRUE(has("|I|.Created User[e2eu003] Password[p,w\"x003]"));
    EXPECT_TRUE(has("|I|.User[e2eu001] is a member of [tsusers]"));
    // Users is every new account's primary group: shown as the window shows
    // it, yet the run still succeeds.
    EXPECT_TRUE(has("|E|.Error making User[e2eu001] a member of Group[users] "
                    "The account is a member of the local group already [1378]"));
    EXPECT_TRUE(out.back().ends_with("|I|.End: Create Users")) << out.back();

    for (const std::string name : {"e2eu001", "e2eu002", "e2eu003"}) {
        EXPECT_TRUE(HasAccount(name)) << name;
        struct stat home {};
        EXPECT_EQ(stat((root_ / "home/" + name).c_str(), &home), 0) << name;
        EXPECT_NE(home.st_uid, 0u) << name;
    }
    // In the order of the group file; e2eg001 was not asked for.
    EXPECT_EQ(Members("sudo"), "e2eu001,e2eu002,e2eu003");
    EXPECT_EQ(Members("tsusers"), "e2eu001,e2eu002,e2eu003");
    EXPECT_EQ(Members("e2eg002"), "e2eu001,e2eu002,e2eu003");
    EXPECT_EQ(Members("e2eg001"), "");

    struct stat file {};
    ASSERT_EQ(lstat(csv.c_str(), &file), 0);
    EXPECT_TRUE(S_ISREG(file.st_mode));
    EXPECT_EQ(file.st_mode & 07777, 0600u);
    EXPECT_EQ(ReadTextFile(csv), "name,password\n"
                                 "e2eu001,\"p,w\"\"x001\"\n"
                                 "e2eu002,\"p,w\"\"x002\"\n"
                                 "e2eu003,\"p,w\"\"x003\"\n");

    const TResult deleted =
        Run({"delete-users", "--prefix", "e2eu", "--count", "3", "--profile", "--quiet"});
    EXPECT_EQ(deleted.exitCode, 0) << deleted.out;
    // --quiet: the info lines went to the log file only.
    const std::vector<std::string> warnings = TextLines(deleted.out);
    EXPECT_EQ(warnings.size(), 3u) << deleted.out;
    for (const std::string& line : warnings) {
        EXPECT_TRUE(line.ends_with("|W|.ProfilePath User[1] empty...")) << line;
    }
    for (const std::string name : {"e2eu001", "e2eu002", "e2eu003"}) {
        EXPECT_FALSE(HasAccount(name)) << name;
        struct stat home {};
        EXPECT_NE(lstat((root_ / "home/" + name).c_str(), &home), 0) << name;
    }
    const std::vector<std::string> logged = LoggedActivity();
    ASSERT_FALSE(logged.empty());
    EXPECT_TRUE(logged.back().ends_with("|I|End: Delete Users"));
    EXPECT_TRUE(LogFileLines(LogPath()).back().ends_with(" Log stopped"));
    EXPECT_TRUE(root_.AccountFileComplaints().empty());

    const TResult gone = Run({"delete-local-groups", "--prefix", "e2eg", "--count", "2"});
    EXPECT_EQ(gone.exitCode, 0) << gone.out;
    EXPECT_EQ(Members("e2eg001"), "(no group)");
}

// A failing step: every group of the series is refused (not a domain
// controller), each with its error line, and the status is 1.
TEST_F(CommandLineTest, GlobalGroupsFailWith2226AndStatusOne) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const std::string before = root_.AccountFiles();
    for (const std::string command : {"create-global-groups", "delete-global-groups"}) {
        const TResult run = Run({command, "--prefix", "e2eglob", "--count", "2", "--quiet"});
        EXPECT_EQ(run.exitCode, 1) << command;
        const std::vector<std::string> out = TextLines(run.out);
        ASSERT_EQ(out.size(), 2u) << run.out;
        const std::string failure = command == "create-global-groups"
                                        ? "|E|.Error creating Globalgroup[e2eglob002] "
                                        : "|E|.Error deleting Global group[e2eglob002] ";
        EXPECT_TRUE(out[1].ends_with(failure + "The operation is allowed only on the primary "
                                               "domain controller [2226]"))
            << out[1];
    }
    EXPECT_EQ(root_.AccountFiles(), before);
}

// --output json, read back by a JSON parser: every line an object with its
// time, level, indent and text, the series member and status code where the
// line is about one, and a closing summary with the counts and exit status.
TEST_F(CommandLineTest, JsonOutputParsesLineByLine) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const std::vector<std::string> arguments = {
        "create-local-groups", "--prefix", "e2ej", "--count", "2", "--output=json"};
    ASSERT_EQ(Run(arguments).exitCode, 0);
    // The second run finds both groups made: two failed steps, status 1.
    const TResult again = Run(arguments);
    EXPECT_EQ(again.exitCode, 1);
    const std::string json = base_ / "out.json";
    WriteTextFile(json, again.out);
    const TChildResult parsed = RunProgram(
        {"/usr/bin/python3", "-c",
         "import json, sys\n"
         "for line in open(sys.argv[1], encoding='utf-8'):\n"
         "    o = json.loads(line)\n"
         "    if o['type'] == 'line':\n"
         "        assert len(o['time']) == 23, o\n"
         "        print(o['level'], o['indent'], o.get('name'), o.get('status'), o['text'])\n"
         "    else:\n"
         "        print('summary', o['command'], o['count'], o['done'], o['errors'],\n"
         "              o['failed_steps'], o['exit_status'])\n",
         json},
        true);
    ASSERT_EQ(parsed.exitCode, 0) << parsed.output;
    const std::vector<std::string> lines = TextLines(parsed.output);
    ASSERT_GE(lines.size(), 4u) << parsed.output;
    EXPECT_EQ(lines[0], "info 0 None None Begin: Command line");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.starts_with("error 1 e2ej002 1379 ");
                            }),
              1)
        << parsed.output;
    EXPECT_EQ(lines.back(), "summary create-local-groups 2 2 2 2 1");
}

// Dry runs change nothing and say what stands in the way; ensure makes a
// re-run, and a clean-up of what is gone already, end with status 0.
TEST_F(CommandLineTest, DryRunAndEnsureGiveTheStatusOfTheEndState) {
    NOMVERA_SKIP_UNLESS_ROOT();
    struct Case {
        std::vector<std::string> options;
        int exitCode;
        std::string line; // ends one line of standard output; empty: none asked for
    };
    const std::vector<std::string> create = {"create-local-groups", "--prefix", "e2ed"};
    const std::vector<std::string> remove = {"delete-local-groups", "--prefix", "e2ed"};
    auto with = [](std::vector<std::string> command, std::vector<std::string> more) {
        command.insert(command.end(), more.begin(), more.end());
        return command;
    };
    const Case cases[] = {
        {with(create, {"--count", "2", "--dry-run"}), 0, "|I|.Would create Local group[e2ed002]"},
        {with(create, {"--count", "1"}), 0, "|I|.Created Local group[e2ed001]"},
        {with(create, {"--count", "2", "-n"}), 1,
         "|E|.Cannot create Local group[e2ed001]: it exists already"},
        {with(create, {"--count", "2", "-n", "--ensure"}), 0,
         "|I|.Local group[e2ed001] exists already; would leave it as it is"},
        {with(create, {"--count", "2"}), 1, ""},
        {with(create, {"--count", "2", "--ensure"}), 0,
         "|I|.Local group[e2ed001] exists already; left as it is"},
        {with(remove, {"--count", "3", "--dry-run"}), 1,
         "|E|.Cannot delete Local group[e2ed003]: not found"},
        {with(remove, {"--count", "3", "--ensure"}), 0, "|I|.Local group[e2ed003] is gone already"},
        {with(remove, {"--count", "3", "--ensure"}), 0, "|I|.Local group[e2ed001] is gone already"},
        {{"delete-users", "--prefix", "e2ed", "--count", "2", "--profile", "--ensure"},
         0,
         "|I|.User[e2ed002] is gone already"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.options));
        const std::string before = root_.AccountFiles();
        const TResult run = Run(c.options);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
        if (!c.line.empty()) {
            const std::vector<std::string> out = TextLines(run.out);
            EXPECT_TRUE(std::any_of(out.begin(), out.end(), [&](const std::string& line) {
                return line.ends_with(c.line);
            })) << run.out;
        }
        if (std::find(c.options.begin(), c.options.end(), "-n") != c.options.end() ||
            std::find(c.options.begin(), c.options.end(), "--dry-run") != c.options.end()) {
            EXPECT_EQ(root_.AccountFiles(), before);
        }
    }
    EXPECT_EQ(Members("e2ed001"), "(no group)");
}

// check-users through the real PAM stack of this machine, in a private mount
// namespace whose account files and /home are the sandbox root's: the
// machine's own files are never read for these accounts nor changed.
TEST_F(CommandLineTest, CheckUsersLogsOnThroughThePamStack) {
    NOMVERA_SKIP_UNLESS_ROOT();
    if (access("/etc/pam.d/login", R_OK) != 0 || access("/usr/bin/unshare", X_OK) != 0) {
        GTEST_SKIP() << "needs /etc/pam.d/login and unshare";
    }
    // chkx001 has the password chk-001, chkx002 another one, chkx003 the right
    // one but an account that expired in 1970.
    auto add = [this](const std::string& name, const char* password) {
        char salt[CRYPT_GENSALT_OUTPUT_SIZE];
        ASSERT_NE(crypt_gensalt_rn("$6$", 0, nullptr, 0, salt, sizeof salt), nullptr);
        const char* hash = crypt(password, salt);
        ASSERT_NE(hash, nullptr);
        const std::string command = "/usr/sbin/useradd --prefix " + root_.Path() +
                                    " -M -N -g users -p '" + hash + "' " + name;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    };
    add("chkx001", "chk-001");
    add("chkx002", "not-chk-002");
    add("chkx003", "chk-003");
    ASSERT_EQ(
        std::system(
            ("/usr/sbin/usermod --prefix " + root_.Path() + " -e 1970-01-02 chkx003").c_str()),
        0);
    const std::string passwordFile = base_ / "password";
    WriteTextFile(passwordFile, "chk-\n");
    ASSERT_EQ(chmod(passwordFile.c_str(), 0600), 0);

    std::string mounts;
    for (const char* file : {"passwd", "group", "shadow", "gshadow"}) {
        mounts += "mount --bind " + root_.Path() + "/etc/" + file + " /etc/" + file + " && ";
    }
    mounts += "mount --bind " + root_.Path() + "/home /home && exec \"$0\" \"$@\"";
    TCall call;
    call.launcher = {"/usr/bin/unshare", "--mount", "--propagation", "private",
                     "/bin/sh",          "-c",      mounts};
    call.arguments = {"check-users", "--prefix",        "chkx",      "--count",
                      "3",           "--password-file", passwordFile};
    const TResult run = RunCall(call);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const std::vector<std::string> out = ShownLines(run.out);
    auto line = [&out](const std::string& start) {
        for (const std::string& shown : out) {
            if (const auto at = shown.find(start); at != std::string::npos) {
                return shown.substr(at);
            }
        }
        return std::string("(none)");
    };
    EXPECT_EQ(line("|I|Logon checked[chkx001]"), "|I|Logon checked[chkx001]") << run.out;
    EXPECT_EQ(line("|E|Logon refused[chkx002]"),
              "|E|Logon refused[chkx002] pam_authenticate: Authentication failure [7]");
    const std::string expired = line("|E|Logon refused[chkx003]");
    EXPECT_TRUE(expired.starts_with("|E|Logon refused[chkx003] pam_acct_mgmt: ")) << expired;
    EXPECT_NE(expired.find("expired"), std::string::npos) << expired;
    EXPECT_EQ(line("|I|Logons checked: "), "|I|Logons checked: 1 of 3 passed");

    // Every account passing is status 0; a password file others may read is
    // refused before anything is checked.
    call.arguments[4] = "1";
    EXPECT_EQ(RunCall(call).exitCode, 0);
    ASSERT_EQ(chmod(passwordFile.c_str(), 0640), 0);
    const TResult refused = RunCall(call);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.err, "nomvera: --password-file " + passwordFile +
                               ": its mode is 0640; it must be 0600 or stricter\n");
}

// A closed output pipe ends neither the batch nor the log: every step runs,
// the log file gets every line, and the status tells that output was lost.
TEST_F(CommandLineTest, AClosedOutputPipeLosesNoStepAndNoLogLine) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const TResult run =
        RunWithClosedOutput({"create-local-groups", "--prefix", "e2eo", "--count", "2"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err,
              "nomvera: standard output: Broken pipe; the log file still gets every line\n");
    EXPECT_EQ(Members("e2eo002"), "");
    const std::vector<std::string> logged = LoggedActivity();
    ASSERT_FALSE(logged.empty());
    EXPECT_TRUE(logged.back().ends_with("|I|End: Create Local Groups"));
}

// An inherited file-size limit, which pkexec keeps: the tool is not ended by
// SIGXFSZ, and groupadd, whose group file is larger than the limit, is
// never cut off half-way. Below a hard limit it gets the hard limit and
// finishes its change; where root cannot raise a hard limit (without
// CAP_SYS_RESOURCE) a write past it fails like a full disk, and the group
// file stays whole and no lock file is left behind.
TEST_F(CommandLineTest, AnInheritedFileSizeLimitEndsNeitherTheToolNorAShadowProgram) {
    NOMVERA_SKIP_UNLESS_ROOT();
    std::string groups = ReadTextFile(root_ / "etc/group");
    for (int i = 0; i < 400; ++i) {
        groups += "padding" + std::to_string(i) + ":x:" + std::to_string(20000 + i) + ":\n";
    }
    WriteTextFile(root_ / "etc/group", groups);
    for (const bool hard : {false, true}) {
        SCOPED_TRACE(hard ? "ulimit -f 1" : "ulimit -S -f 1");
        const std::string name = hard ? "e2efh" : "e2efs";
        TCall call;
        call.arguments = {"create-local-groups", "--prefix", name, "--count", "1"};
        call.fileSizeLimit = 1024;
        call.hardFileSizeLimit = hard;
        const TResult run = RunCall(call);
        EXPECT_GE(run.exitCode, 0) << run.out << run.err;
        const std::string after = ReadTextFile(root_ / "etc/group");
        EXPECT_EQ(after.rfind(groups, 0), 0u) << "the group file was cut";
        if (!hard) {
            EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
            EXPECT_EQ(Members(name + "001"), "");
            EXPECT_GE(ReadTextFile(root_ / "etc/group-").size(), groups.size());
        }
        for (const char* left : {"group.lock", "gshadow.lock", "group+", "gshadow+"}) {
            struct stat info {};
            EXPECT_NE(lstat((root_ / "etc/" + left).c_str(), &info), 0) << left;
        }
        groups = after;
    }
}

// A log file refused for its safety: the run goes on with bare lines, and
// the refusal line is printed as an error line after the banner; it is no
// failed step.
TEST_F(CommandLineTest, ARefusedLogFileIsSaidOnceAndTheLinesAreBare) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const std::string target = base_ / "target.log";
    ASSERT_EQ(symlink(target.c_str(), LogPath().c_str()), 0);
    const TResult run = Run({"create-local-groups", "--prefix", "e2el", "--count", "1"});
    EXPECT_EQ(run.exitCode, 0) << run.out;
    const std::vector<std::string> out = TextLines(run.out);
    ASSERT_EQ(out.size(), 8u) << run.out;
    EXPECT_EQ(out[0], "Begin: Command line");
    EXPECT_TRUE(out[2].starts_with("Account service: ") && out[2].ends_with(" (local)")) << out[2];
    EXPECT_EQ(out[3], "Log file not written [" + LogPath() + "]: it is a symbolic link");
    EXPECT_EQ(out[6], "Created Local group[e2el001]");
    struct stat info {};
    EXPECT_NE(lstat(target.c_str(), &info), 0) << "the link was followed";
}

// The disk fills up after the first user's row: the line says which users
// are missing, the batch creates them all the same, and the status is 1.
TEST_F(CommandLineTest, ACredentialsFileThatCannotBeWrittenFailsTheRun) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const std::string csv = base_ / "full.csv";
    TCall call;
    call.arguments = {"create-users",  "--prefix", "e2ec", "--password-file",
                      "PW:pw",         "--count",  "3",    "--no-default-groups",
                      "--credentials", csv};
    call.variables = {"LD_PRELOAD=" + posix::ExecutableFolder() + "/libnomvera_failing_disk.so",
                      "NOMVERA_FAILING_DISK_FILE=" + csv, "NOMVERA_FAILING_DISK_AFTER=2"};
    const TResult run = RunCall(call);
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<std::string> out = TextLines(run.out);
    const std::string failure = "|E|.Credentials file not written [" + csv +
                                "]: No space left on device; User[e2ec002] and later are missing";
    EXPECT_EQ(std::count_if(out.begin(), out.end(),
                            [&](const std::string& line) { return line.ends_with(failure); }),
              1)
        << run.out;
    EXPECT_EQ(ReadTextFile(csv), "name,password\ne2ec001,pw001\n");
    EXPECT_TRUE(HasAccount("e2ec003"));
}

// A stock machine has no tsusers: the run says so once, inside Fill Groups,
// and the users are still made; without the default groups nothing is said.
TEST_F(CommandLineTest, AMissingBuiltInGroupIsOneWarningLine) {
    NOMVERA_SKIP_UNLESS_ROOT();
    for (const char* file : {"etc/group", "etc/gshadow"}) {
        std::string kept;
        for (const std::string& line : TextLines(ReadTextFile(root_ / file))) {
            kept += line.starts_with("tsusers:") ? "" : line + "\n";
        }
        WriteTextFile(root_ / file, kept);
    }
    const std::string warning = "|W|.Built-in group Remote Desktop Users (tsusers) not found: "
                                "create it with groupadd tsusers to have new users join it";
    for (const bool defaults : {true, false}) {
        TCall call;
        call.arguments = {
            "create-users", "--prefix", defaults ? "e2ew" : "e2ex", "--password-file", "PW:pw",
            "--count",      "1"};
        if (!defaults) {
            call.arguments.push_back("--no-default-groups");
        }
        const TResult run = RunCall(call);
        EXPECT_EQ(run.exitCode, 0) << run.out;
        const std::vector<std::string> out = TextLines(run.out);
        const auto at = std::find_if(out.begin(), out.end(), [&](const std::string& line) {
            return line.ends_with(warning);
        });
        EXPECT_EQ(at != out.end(), defaults) << run.out;
        if (at != out.end()) {
            EXPECT_TRUE(at[-1].ends_with("|I|Begin: Fill Groups")) << at[-1];
        }
    }
    EXPECT_TRUE(HasAccount("e2ew001") && HasAccount("e2ex001"));
}

// Without root: the other log file, "not an root" in the start block, and
// every refused step an error line, so the status is 1.
TEST_F(CommandLineTest, WithoutRootEveryStepIsRefusedAndTheStatusIsOne) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const ProgramsForNobody copies({"nomvera"});
    NOMVERA_SKIP_UNLESS_NOBODY_CAN_RUN(copies);
    for (const std::string& folder : {state_, temp_}) {
        ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
    }
    const std::string before = root_.AccountFiles();
    TCall call;
    call.arguments = {"create-local-groups", "--prefix", "e2en", "--count", "2"};
    call.asNobody = &copies;
    const TResult run = RunCall(call);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(run.err,
              "nomvera: not running as root: every change will be refused; run it with sudo\n");
    const std::vector<std::string> out = TextLines(run.out);
    ASSERT_GE(out.size(), 4u) << run.out;
    EXPECT_TRUE(out[3].ends_with("|E|.not an root")) << out[3];
    EXPECT_TRUE(out[6].ends_with("|E|.Error creating group[e2en001] Access was refused [5]"))
        << out[6];
    EXPECT_EQ(root_.AccountFiles(), before);
    EXPECT_FALSE(LogFileLines(state_ + "/kelNonAdminRostery.utf8.log").empty());
}

struct TUsageCase {
    const char* name;
    std::vector<std::string> arguments;
    std::string error; // the first line on standard error
};

class CommandLineUsageTest : public CommandLineTest,
                             public ::testing::WithParamInterface<TUsageCase> {};

// Refused before anything starts: status 2, one line naming the problem and
// a usage line, nothing on standard output, no account file touched, no log
// file, no credentials file.
TEST_P(CommandLineUsageTest, IsRefusedWithStatusTwoAndNothingChanged) {
    const TUsageCase& usage = GetParam();
    WriteTextFile(base_ / "taken.csv", "keep\n");
    symlink((base_ / "elsewhere.csv").c_str(), (base_ / "link.csv").c_str());
    // Password files that break the ownership rule, each in one way.
    const std::string open = base_ / "open";
    mkdir(open.c_str(), 0777);
    chmod(open.c_str(), 0777);
    for (const std::string name : {"pw-open", "pw-nobody", "pw-good", "open/pw"}) {
        WriteTextFile(base_ / name, "pw\n");
        chmod((base_ / name).c_str(), name == "pw-open" ? 0644 : 0600);
    }
    ASSERT_EQ(chown((base_ / "pw-nobody").c_str(), 65534, 65534), 0);
    // A link to a folder above the credentials file.
    mkdir((base_ / "elsewhere").c_str(), 0755);
    symlink((base_ / "elsewhere").c_str(), (base_ / "linked").c_str());
    symlink((base_ / "pw-good").c_str(), (base_ / "pw-link").c_str());
    const std::string before = root_.AccountFiles();

    std::vector<std::string> arguments;
    for (std::string argument : usage.arguments) {
        if (const auto at = argument.find("BASE"); at != std::string::npos) {
            argument.replace(at, 4, base_.Path());
        }
        arguments.push_back(argument);
    }
    const TResult run = Run(arguments);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    const std::vector<std::string> err = TextLines(run.err);
    ASSERT_GE(err.size(), 1u);
    std::string expected = usage.error;
    if (const auto at = expected.find("BASE"); at != std::string::npos) {
        expected.replace(at, 4, base_.Path());
    }
    EXPECT_EQ(err[0], expected);
    if (err.size() > 1) {
        EXPECT_TRUE(err[1].starts_with("Usage: nomvera ")) << err[1];
    }
    EXPECT_EQ(root_.AccountFiles(), before);
    struct stat info {};
    EXPECT_NE(stat(LogPath().c_str(), &info), 0) << "log file written";
    EXPECT_EQ(ReadTextFile(base_ / "taken.csv"), "keep\n");
    EXPECT_NE(lstat((base_ / "elsewhere.csv").c_str(), &info), 0) << "link followed";
    EXPECT_NE(lstat((base_ / "elsewhere/new.csv").c_str(), &info), 0) << "link followed";
}

const std::vector<std::string> kCreate = {"create-users", "--prefix", "e2eu", "--password-file",
                                          "PW:pw"};

std::vector<std::string> Create(std::vector<std::string> more) {
    std::vector<std::string> all = kCreate;
    all.insert(all.end(), more.begin(), more.end());
    return all;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineUsageTest,
    ::testing::Values(
        TUsageCase{"UnknownCommand", {"make-users"}, "nomvera: unknown command 'make-users'"},
        TUsageCase{"UnknownOption", Create({"--count", "3", "--force"}),
                   "nomvera: unknown option '--force'"},
        TUsageCase{"MissingCount", kCreate, "nomvera: --count is missing"},
        TUsageCase{"CountWithoutValue", Create({"--count"}), "nomvera: --count needs a value"},
        TUsageCase{"CountZero", Create({"--count", "0"}),
                   "nomvera: --count: '0' is not a number from 1 to 999"},
        TUsageCase{"Count1000", Create({"--count", "1000"}),
                   "nomvera: --count: '1000' is not a number from 1 to 999"},
        TUsageCase{"CountNotANumber", Create({"--count", "x"}),
                   "nomvera: --count: 'x' is not a number from 1 to 999"},
        TUsageCase{"CountNegative", Create({"--count=-3"}),
                   "nomvera: --count: '-3' is not a number from 1 to 999"},
        TUsageCase{"ShortPrefix",
                   {"delete-users", "--prefix", "e2e", "--count", "3"},
                   "nomvera: --prefix: 'e2e' is not 4 to 17 characters long"},
        TUsageCase{"PrefixWithControlCharacter",
                   {"create-local-groups", "--prefix", "e2e\tg", "--count", "3"},
                   "nomvera: --prefix: the value holds a control character"},
        TUsageCase{"PasswordOnTheCommandLine",
                   {"create-users", "--prefix", "e2eu", "--password", "pw", "--count", "3"},
                   "nomvera: --password is not taken: every account on the machine can read a "
                   "command line; use --password-file FILE, or --password-file - for standard "
                   "input"},
        TUsageCase{
            "PasswordFileForGroups",
            {"create-local-groups", "--prefix", "e2eg", "--password-file", "PW:pw", "--count", "3"},
            "nomvera: --password-file does not apply to create-local-groups"},
        TUsageCase{"NoPasswordAndNoTerminal",
                   {"create-users", "--prefix", "e2eu", "--count", "3"},
                   "nomvera: --password-file is missing (standard input is not a terminal to ask "
                   "on)"},
        TUsageCase{
            "PasswordFileOpenToOthers",
            {"create-users", "--prefix", "e2eu", "--password-file", "BASE/pw-open", "--count", "3"},
            "nomvera: --password-file BASE/pw-open: its mode is 0644; it must be 0600 or "
            "stricter"},
        TUsageCase{"PasswordFileOfAnotherAccount",
                   {"create-users", "--prefix", "e2eu", "--password-file", "BASE/pw-nobody",
                    "--count", "3"},
                   "nomvera: --password-file BASE/pw-nobody: it belongs to another account (uid "
                   "65534)"},
        TUsageCase{
            "PasswordFileLink",
            {"create-users", "--prefix", "e2eu", "--password-file", "BASE/pw-link", "--count", "3"},
            "nomvera: --password-file BASE/pw-link: it is a symbolic link (a link is never "
            "followed)"},
        TUsageCase{
            "PasswordFileInAFolderOthersChange",
            {"create-users", "--prefix", "e2eu", "--password-file", "BASE/open/pw", "--count", "3"},
            "nomvera: --password-file BASE/open/pw: another account can change a folder "
            "above it"},
        TUsageCase{"ProfileForGroups",
                   {"delete-local-groups", "--prefix", "e2eg", "--count", "3", "--profile"},
                   "nomvera: --profile does not apply to delete-local-groups"},
        TUsageCase{"NoSuchGroup", Create({"--count", "3", "--group", "nosuchgroup"}),
                   "nomvera: --group: there is no local group 'nosuchgroup'"},
        TUsageCase{"CredentialsFileExists",
                   Create({"--count", "3", "--credentials", "BASE/taken.csv"}),
                   "nomvera: --credentials BASE/taken.csv: it exists already (an existing file "
                   "or link is never replaced)"},
        TUsageCase{"CredentialsLink", Create({"--count", "3", "--credentials", "BASE/link.csv"}),
                   "nomvera: --credentials BASE/link.csv: it exists already (an existing file "
                   "or link is never replaced)"},
        TUsageCase{"CredentialsBelowALinkedFolder",
                   Create({"--count", "3", "--credentials", "BASE/linked/new.csv"}),
                   "nomvera: --credentials BASE/linked/new.csv: a folder on its path is a "
                   "symbolic link (links are never followed)"},
        TUsageCase{"CredentialsPathWithControls",
                   Create({"--count", "3", "--credentials", "BASE/no\x1b]2;x\a\nforged/a.csv"}),
                   "nomvera: --credentials BASE/no\\x1B]2;x\\x07\\x0Aforged/a.csv: No such file "
                   "or directory"},
        TUsageCase{"CheckUsersUnderASandboxRoot",
                   {"check-users", "--prefix", "e2ec", "--count", "1", "--password-file",
                    "BASE/taken.csv"},
                   "nomvera: check-users: NOMVERA_SYSROOT names a system root that is not this "
                   "machine, and logons are checked by this machine's own logon stack; nothing "
                   "was checked"}),
    [](const ::testing::TestParamInfo<TUsageCase>& usage) {
        return std::string(usage.param.name);
    });

class CommandLineStopTest : public CommandLineTest, public ::testing::WithParamInterface<int> {};

// A stop request ends the batch at the next account: the End line is still
// logged, the log closed, and the status is 128 + the signal. A negative
// parameter is that signal sent to the whole process group (Ctrl+C on a
// terminal): the shadow-utils program running at that moment is not hit
// and finishes its change.
TEST_P(CommandLineStopTest, StopsAtTheNextAccountWithTheEndLine) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const int signal = GetParam() < 0 ? -GetParam() : GetParam();
    // Each account then joins tsusers through a shadow-utils program, which
    // runs right after the line the signal waits for; the window's pause
    // keeps the accounts apart.
    const TResult run = RunCall(
        {.arguments = {"create-users", "--prefix", "e2es", "--password-file", "PW:pw", "--count",
                       "50", "--no-default-groups", "--group", "tsusers", "--pause", "50"},
         .errorOnTerminal = false,
         .signal = signal,
         .signalAfter = "Created User[e2es003]",
         .signalToGroup = GetParam() < 0});
    EXPECT_EQ(run.exitCode, 128 + signal) << run.err;
    EXPECT_EQ(run.err, std::string("nomvera: ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                           " received; stopping after the current account\n");
    const std::vector<std::string> out = TextLines(run.out);
    ASSERT_FALSE(out.empty());
    EXPECT_TRUE(out.back().ends_with("|I|.End: Create Users")) << out.back();
    EXPECT_EQ(ShownLines(run.out), LoggedActivity());
    EXPECT_TRUE(LogFileLines(LogPath()).back().ends_with(" Log stopped"));
    int created = 0;
    const std::string members = "," + Members("tsusers") + ",";
    for (int i = 1; i <= 50; ++i) {
        const std::string name = "e2es" + std::string(i < 10 ? "00" : "0") + std::to_string(i);
        if (HasAccount(name)) {
            ++created;
            EXPECT_NE(members.find("," + name + ","), std::string::npos)
                << name << " was made but did not join tsusers";
        }
    }
    EXPECT_EQ(run.out.find("|E|"), std::string::npos) << run.out;
    EXPECT_GE(created, 3);
    EXPECT_LE(created, 5) << "more than one account after the stop request";
    EXPECT_TRUE(root_.AccountFileComplaints().empty());
}

INSTANTIATE_TEST_SUITE_P(Signals, CommandLineStopTest, ::testing::Values(SIGTERM, SIGINT, -SIGINT),
                         [](const ::testing::TestParamInfo<int>& signal) {
                             return std::string(signal.param == SIGTERM  ? "SIGTERM"
                                                : signal.param == SIGINT ? "SIGINT"
                                                                         : "SIGINTToTheGroup");
                         });

// On a terminal the progress line is drawn on standard error and redrawn in
// place; standard output (a pipe here) never sees it.
TEST_F(CommandLineTest, ProgressLineOnlyOnATerminal) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const TResult run =
        RunCall({.arguments = {"create-local-groups", "--prefix", "e2ep", "--count", "3"},
                 .errorOnTerminal = true,
                 .signal = 0,
                 .signalAfter = {}});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("\rCreate Local Groups: 1 of 3 groups, 0:00 elapsed, about 0:00 left"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("\rCreate Local Groups: 3 of 3 groups, 0:00 elapsed"),
              std::string::npos);
    // Cleared at the end: the last thing on the terminal is a blanked line.
    EXPECT_TRUE(run.err.ends_with(std::string(40, ' ') + "\r")) << run.err;
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
    EXPECT_EQ(run.out.find("of 3 groups"), std::string::npos);
    EXPECT_EQ(ShownLines(run.out), LoggedActivity());
}

// What another account sees while root creates 20 users: a poller running as
// uid 65534 reads the command line and environment of every process it can
// (the tool and every shadow-utils program it starts) again and again; the
// password prefix, typed at the unechoed prompt, is never among them.
TEST_F(CommandLineTest, TheTypedPasswordPrefixIsNeitherEchoedNorOnAnyCommandLine) {
    NOMVERA_SKIP_UNLESS_ROOT();
    const std::string secret = "Qx7-secret";
    int stop[2];
    int report[2];
    ASSERT_EQ(pipe(stop), 0);
    ASSERT_EQ(pipe(report), 0);
    const pid_t poller = fork();
    if (poller == 0) {
        close(stop[1]);
        close(report[0]);
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(3);
        }
        int hits = 0;
        int shadowTools = 0;
        pollfd done = {stop[0], POLLIN, 0};
        while (poll(&done, 1, 0) == 0) {
            for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
                const std::string name = entry.path().filename();
                if (name.find_first_not_of("0123456789") != std::string::npos) {
                    continue;
                }
                for (const char* part : {"/cmdline", "/environ"}) {
                    const int fd = open((entry.path().string() + part).c_str(), O_RDONLY);
                    if (fd < 0) {
                        continue;
                    }
                    char buffer[8192];
                    const ssize_t n = read(fd, buffer, sizeof buffer);
                    close(fd);
                    const std::string text(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
                    hits += text.find(secret) != std::string::npos ? 1 : 0;
                    shadowTools += text.starts_with("useradd") ||
                                           text.find("/useradd") != std::string::npos ||
                                           text.find("usermod") != std::string::npos
                                       ? 1
                                       : 0;
                }
            }
        }
        const std::string result = std::to_string(hits) + " " + std::to_string(shadowTools);
        (void)!write(report[1], result.data(), result.size());
        _exit(0);
    }
    close(stop[0]);
    close(report[1]);
    const TResult run = RunCall({.arguments = {"create-users", "--prefix", "e2ep", "--count", "20",
                                               "--no-default-groups", "--group", "tsusers"},
                                 .input = secret + "\n",
                                 .inputOnTerminal = true});
    close(stop[1]);
    char buffer[64] = {};
    const ssize_t n = read(report[0], buffer, sizeof buffer - 1);
    close(report[0]);
    int status = 0;
    waitpid(poller, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.err.starts_with("Password prefix: \n")) << run.err;
    EXPECT_EQ(run.echo.find(secret), std::string::npos) << run.echo;
    EXPECT_NE(run.out.find("Created User[e2ep020] Password[" + secret + "020]"), std::string::npos);
    std::istringstream counts(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0));
    int hits = -1;
    int shadowTools = 0;
    counts >> hits >> shadowTools;
    EXPECT_EQ(hits, 0);
    // The poller did see the shadow-utils programs at work, so it looked in the right places.
    EXPECT_GT(shadowTools, 0);
}

// Without arguments the window is wanted; with no display to put it on the
// program says so in one line and points to the commands (no abort, no core).
TEST_F(CommandLineTest, NoWindowWithoutADisplayIsOneLineAndStatusTwo) {
    const std::string pointer = "; 'nomvera --help' lists the commands that run without a window\n";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)"},
        {{"DISPLAY=:987\x1b"},
         "the window cannot open: the display cannot be reached (DISPLAY=:987\\x1B)"},
    };
    for (const auto& [variables, line] : cases) {
        const TResult run = RunCall({.arguments = {}, .variables = variables});
        EXPECT_EQ(run.exitCode, 2) << line;
        EXPECT_EQ(run.err, "nomvera: " + line + pointer);
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(CommandLineTest, HelpListsEveryCommandAndVersionGivesTheFileVersion) {
    const TResult help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"create-users",
                             "delete-users",
                             "create-local-groups",
                             "delete-local-groups",
                             "create-global-groups",
                             "delete-global-groups",
                             "--prefix",
                             "--password-file",
                             "--count",
                             "--group",
                             "--no-default-groups",
                             "--profile",
                             "--credentials",
                             "--quiet",
                             "--version",
                             "--dry-run",
                             "--ensure",
                             "check-users",
                             "--pam-service",
                             "Exit status",
                             "130",
                             "143"}) {
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
    const TResult version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "2.2.205.1\n");
}

} // namespace
} // namespace nomvera::test
