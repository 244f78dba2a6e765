// The profile life cycle attacked as another account would, and the profile
// list under two copies of the tool and after a killed one. The accounts get
// uids that no account of the machine has, so a process of such a uid is the
// sandbox account's only.
#include "tests/accounts/account_test_support.h"
#include "tests/common/forked_child.h"

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/lmaccess.h"
#include "platform/posix/services/standin_services.h"
#include "platform/posix/services/sysroot.h"
#include "platform/userenv.h"
#include "platform/wide_text.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <pwd.h>
#include <random>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nomvera::test {
namespace {

namespace stand_in = nomvera::posix;

constexpr HRESULT kExists = static_cast<HRESULT>(0x800700B7);
constexpr HRESULT kDenied = static_cast<HRESULT>(0x80070005);
constexpr int kNoNamespace = 77;

WideString Wide(const std::string& text) {
    return WideString(text.begin(), text.end());
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) {
        fields.push_back(field);
    }
    return fields;
}

int RemoveTreeEntry(const char* path, const struct stat*, int flag, struct FTW*) {
    return flag == FTW_DP ? rmdir(path) : unlink(path);
}

// Removes a tree the test made inside its sandbox, never following a link.
void RemoveTree(const std::string& path) {
    nftw(path.c_str(), RemoveTreeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct stat StatOf(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st;
}

class ProfileLife : public SandboxAccounts {
protected:
    void SetUp() override {
        SandboxAccounts::SetUp();
        if (IsSkipped()) {
            return;
        }
        for (uid_t base = 42000; base_ == 0 && base < 59000; base += 64) {
            bool unused = true;
            for (uid_t uid = base; unused && uid < base + 64; ++uid) {
                unused = getpwuid(uid) == nullptr;
            }
            base_ = unused ? base : 0;
        }
        ASSERT_NE(base_, 0u) << "every uid range is taken on this machine";
        ReplaceLine("etc/login.defs", "UID_MIN", "UID_MIN " + std::to_string(base_));
        ReplaceLine("etc/login.defs", "UID_MAX", "UID_MAX " + std::to_string(base_ + 63));
    }

    static HRESULT Create(const WideString& name, WideString* path = nullptr) {
        WideString sid = Wide(SidTextOf(name));
        WCHAR buffer[260] = {};
        HRESULT result = stand_in::CreateProfile(sid.c_str(), name.c_str(), buffer, 260);
        if (path != nullptr) {
            *path = buffer;
        }
        return result;
    }
    static BOOL Delete(const std::string& sid, DWORD* code) {
        SetLastError(0);
        BOOL ok = stand_in::DeleteProfile(Wide(sid).c_str(), nullptr, nullptr);
        *code = GetLastError();
        return ok;
    }
    // The profile folder a logon of the account finds, or "".
    static WideString ProfileOfLogon(const WideString& name, const WideString& password) {
        HANDLE token = Logon(name, password);
        EXPECT_NE(token, nullptr);
        WCHAR buffer[260] = {};
        DWORD size = 260;
        BOOL ok = GetUserProfileDirectoryW(token, buffer, &size);
        CloseHandle(token);
        return ok ? WideString(buffer) : WideString();
    }
    std::string List() const { return Root().ProfileList(); }
    std::vector<std::string> EntriesOf(const std::string& sid) const {
        std::vector<std::string> found;
        for (const auto& line : TextLines(List())) {
            if (line.rfind(sid + "\t", 0) == 0) {
                found.push_back(line);
            }
        }
        return found;
    }
    void WriteList(const std::string& content) const {
        mkdir((Root() / "var").c_str(), 0755);
        mkdir((Root() / "var/lib").c_str(), 0755);
        mkdir((Root() / "var/lib/nomvera").c_str(), 0755);
        WriteTextFile(Root() / "var/lib/nomvera/profiles", content);
    }
    uid_t UidOf(const std::string& name) const {
        auto user = stand_in::FindUserByName(name);
        EXPECT_TRUE(user.has_value()) << name;
        return user ? user->uid : 0;
    }
    std::string Home(const std::string& name) const { return Root() / ("home/" + name); }
    // A complete profile: the account's folder with the skeleton's entries.
    void ExpectComplete(const std::string& name) const {
        struct stat home = StatOf(Home(name));
        EXPECT_TRUE(S_ISDIR(home.st_mode)) << name;
        EXPECT_EQ(home.st_uid, UidOf(name)) << name;
        EXPECT_EQ(home.st_mode & 07777, 0700u) << name;
        EXPECT_EQ(Names(Home(name)), Names(Root() / "etc/skel")) << name;
        EXPECT_EQ(ReadTextFile(Home(name) + "/.profile"), "# sandbox skeleton profile\n");
    }

    uid_t base_ = 0;
};

TEST_F(ProfileLife, DeleteWaitsUntilTheAccountIsGoneAndNoProcessRunsAsIt) {
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    std::string sid = SidTextOf(WIDE("test001"));
    ASSERT_EQ(Create(WIDE("test001")), 0);
    std::string list = List();
    DWORD code = 0;
    EXPECT_FALSE(Delete(sid, &code)) << "the account still exists";
    EXPECT_EQ(code, ERROR_BUSY);
    {
        ProcessOfUid process(base_, 100);
        ASSERT_TRUE(process.Running());
        ASSERT_EQ(NetUserDel(nullptr, WIDE("test001")), NERR_Success);
        EXPECT_FALSE(Delete(sid, &code)) << "a process of its uid runs";
        EXPECT_EQ(code, ERROR_BUSY);
        EXPECT_EQ(List(), list);
        EXPECT_TRUE(Exists(Home("test001") + "/.profile"));
        // A program started as the uid: its /proc folder is the uid's, where
        // a fork that dropped to the uid has root's.
        process.Stop();
        const std::string ids = std::to_string(base_);
        const pid_t started = fork();
        if (started == 0) {
            execl("/usr/bin/setpriv", "setpriv", ("--reuid=" + ids).c_str(), "--regid=100",
                  "--clear-groups", "/bin/sleep", "30", nullptr);
            _exit(127);
        }
        struct stat folder {};
        for (int i = 0;
             i < 200 && (stat(("/proc/" + std::to_string(started)).c_str(), &folder) != 0 ||
                         folder.st_uid != base_);
             ++i) {
            usleep(10000); // until setpriv has become sleep
        }
        EXPECT_FALSE(Delete(sid, &code)) << "a program of its uid runs";
        EXPECT_EQ(code, ERROR_BUSY);
        kill(started, SIGKILL);
        waitpid(started, nullptr, 0);
    }
    EXPECT_TRUE(Delete(sid, &code));
    EXPECT_FALSE(Exists(Home("test001")));
    EXPECT_TRUE(EntriesOf(sid).empty());
}

TEST_F(ProfileLife, ADeletedAccountsProfileIsNeverHandedToTheNextHolderOfItsUid) {
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    std::string sid = SidTextOf(WIDE("test001"));
    ASSERT_EQ(Create(WIDE("test001")), 0);
    WriteTextFile(Home("test001") + "/secret", "test001's\n");
    ASSERT_EQ(NetUserDel(nullptr, WIDE("test001")), NERR_Success); // the profile is kept
    ASSERT_EQ(AddUser(WIDE("test002"), WIDE("pass002")), NERR_Success);
    ASSERT_EQ(SidTextOf(WIDE("test002")), sid) << "useradd gives the freed uid again";

    EXPECT_EQ(ProfileOfLogon(WIDE("test002"), WIDE("pass002")), WIDE(""));
    WideString path;
    EXPECT_EQ(Create(WIDE("test002"), &path), 0);
    EXPECT_EQ(path, Wide(Home("test002")));
    ExpectComplete("test002");
    EXPECT_EQ(EntriesOf(sid), std::vector<std::string>{sid + "\t" + std::to_string(base_) +
                                                       "\t/home/test002\ttest002\tready"});
    EXPECT_EQ(ProfileOfLogon(WIDE("test002"), WIDE("pass002")), Wide(Home("test002")));
    EXPECT_EQ(ReadTextFile(Home("test001") + "/secret"), "test001's\n");
}

// The next holder of the uid is deleted too: its SID is the earlier
// account's again, yet neither the SID nor the earlier name reaches the kept
// profile any more.
TEST_F(ProfileLife, DeletingTheNextHolderOfAUidKeepsTheEarlierAccountsProfile) {
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    const std::string sid = SidTextOf(WIDE("test001"));
    ASSERT_EQ(Create(WIDE("test001")), 0);
    WriteTextFile(Home("test001") + "/secret", "test001's\n");
    ASSERT_EQ(NetUserDel(nullptr, WIDE("test001")), NERR_Success); // the profile is kept
    ASSERT_EQ(AddUser(WIDE("test002"), WIDE("pass002")), NERR_Success);
    ASSERT_EQ(SidTextOf(WIDE("test002")), sid);
    ASSERT_EQ(NetUserDel(nullptr, WIDE("test002")), NERR_Success); // it never had a profile

    DWORD code = 0;
    EXPECT_FALSE(Delete(sid, &code));
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(SidTextOf(WIDE("test001")), "") << "the earlier name no longer finds the SID";
    EXPECT_EQ(ReadTextFile(Home("test001") + "/secret"), "test001's\n");
    EXPECT_EQ(EntriesOf(sid), std::vector<std::string>{sid + "\t" + std::to_string(base_) +
                                                       "\t/home/test001\ttest001\torphaned"});

    // A new account of the uid gets a profile of its own in the entry's place.
    ASSERT_EQ(AddUser(WIDE("test003"), WIDE("pass003")), NERR_Success);
    ASSERT_EQ(Create(WIDE("test003")), 0);
    ExpectComplete("test003");
    EXPECT_EQ(EntriesOf(sid), std::vector<std::string>{sid + "\t" + std::to_string(base_) +
                                                       "\t/home/test003\ttest003\tready"});
    EXPECT_EQ(ReadTextFile(Home("test001") + "/secret"), "test001's\n");
}

// Lists written before names were kept: an entry is the account's when its
// folder is the account's home, a deleted account's otherwise.
TEST_F(ProfileLife, EntriesWithoutANameBelongToTheAccountWhoseHomeTheyAre) {
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    std::string sid = SidTextOf(WIDE("test001"));
    std::string uid = std::to_string(base_);
    ASSERT_EQ(mkdir(Home("old007").c_str(), 0700), 0);
    ASSERT_EQ(chown(Home("old007").c_str(), base_, 100), 0);
    WriteList(sid + "\t" + uid + "\t/home/old007\n");
    EXPECT_EQ(ProfileOfLogon(WIDE("test001"), WIDE("pass001")), WIDE(""));
    EXPECT_EQ(Create(WIDE("test001")), 0);
    EXPECT_EQ(EntriesOf(sid),
              std::vector<std::string>{sid + "\t" + uid + "\t/home/test001\ttest001\tready"});

    WriteList(sid + "\t" + uid + "\t/home/test001\n");
    WideString path;
    EXPECT_EQ(Create(WIDE("test001"), &path), kExists);
    EXPECT_EQ(path, Wide(Home("test001")));
    EXPECT_EQ(ProfileOfLogon(WIDE("test001"), WIDE("pass001")), Wide(Home("test001")));
    EXPECT_EQ(List(), sid + "\t" + uid + "\t/home/test001\n");
}

// Each change adds a line. A line a killed writer left unfinished is cut
// off, never glued to the next registration nor made to look whole; once
// most lines are superseded the list is written whole, one per registration.
TEST_F(ProfileLife, TheListGrowsByLinesAndIsWrittenWholeOnceMostAreSuperseded) {
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    const std::string sid = SidTextOf(WIDE("test001"));
    const std::string uid = std::to_string(base_);
    std::string superseded;
    for (int i = 0; i < 70; ++i) {
        superseded += sid + "\t" + uid + "\t/home/test001\ttest001\tmaking\n";
    }
    WriteList(superseded + sid + "\tremoved\n" + "S-1-5-21-1-2-3-4000\t1");
    ASSERT_EQ(Create(WIDE("test001")), 0) << "the removal line took the making lines away";
    const std::string ready = sid + "\t" + uid + "\t/home/test001\ttest001\tready\n";
    EXPECT_EQ(List(), ready);
    std::string raw = ReadTextFile(Root() / "var/lib/nomvera/profiles");
    EXPECT_EQ(TextLines(raw).size(), 3u) << "written whole at the first new line: " << raw;
    ExpectComplete("test001");

    ASSERT_EQ(NetUserDel(nullptr, WIDE("test001")), NERR_Success);
    WriteList(raw + sid + "\t" + uid + "\t/ho");
    DWORD code = 0;
    EXPECT_TRUE(Delete(sid, &code)) << code;
    EXPECT_FALSE(Exists(Home("test001")));
    EXPECT_EQ(List(), "");
    raw = ReadTextFile(Root() / "var/lib/nomvera/profiles");
    for (const std::string& line : TextLines(raw)) {
        EXPECT_EQ(line.find("\t/ho\t"), std::string::npos) << "made to look whole: " << raw;
        EXPECT_FALSE(line.ends_with("\t/ho")) << "made to look whole: " << raw;
    }
}

// Mounts are made in a private mount namespace of a forked child, which
// deletes the profile there; they go away with it.
TEST_F(ProfileLife, DeleteNeverCrossesOrTakesABindMountOfTheSameFileSystem) {
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    std::string sid = SidTextOf(WIDE("test001"));
    ASSERT_EQ(Create(WIDE("test001")), 0);
    ASSERT_EQ(NetUserDel(nullptr, WIDE("test001")), NERR_Success);
    ASSERT_EQ(mkdir((Root() / "victim").c_str(), 0755), 0);
    WriteTextFile(Root() / "victim/keep", "root's\n");
    ASSERT_EQ(chown((Root() / "victim").c_str(), base_, 100), 0);
    ASSERT_EQ(mkdir((Home("test001") + "/sub").c_str(), 0755), 0);
    std::string list = List();
    for (const std::string& mountPoint : {Home("test001") + "/sub", Home("test001")}) {
        int result = RunInChild([&] {
            if (unshare(CLONE_NEWNS) != 0 ||
                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                mount((Root() / "victim").c_str(), mountPoint.c_str(), nullptr, MS_BIND, nullptr) !=
                    0) {
                return kNoNamespace;
            }
            DWORD code = 0;
            BOOL deleted = Delete(sid, &code);
            return (deleted ? 1 : 0) | (code == ERROR_ACCESS_DENIED ? 0 : 2) |
                   (ReadTextFile(Root() / "victim/keep") == "root's\n" ? 0 : 4);
        });
        if (result == kNoNamespace) {
            GTEST_SKIP() << "cannot make a private mount namespace here";
        }
        EXPECT_EQ(result, 0) << mountPoint << ": 1 deleted, 2 other code, 4 victim touched";
        EXPECT_EQ(ReadTextFile(Root() / "victim/keep"), "root's\n");
        EXPECT_EQ(List(), list);
    }
}

TEST_F(ProfileLife, AFolderThatIsHoldsOrLiesInAnotherAccountsHomeIsKept) {
    ASSERT_EQ(mkdir((Root() / "home/shared").c_str(), 0755), 0);
    struct Case {
        std::string owner, other, ownerHome, otherHome;
    };
    for (const Case& c :
         {Case{"a1", "b1", "/home/a1", "/home/a1"}, Case{"a2", "b2", "/home/a2", "/home/a2/inner"},
          Case{"a3", "b3", "/home/shared/a3", "/home/shared"}}) {
        ASSERT_EQ(AddUser(Wide(c.owner), WIDE("pass001")), NERR_Success);
        ASSERT_EQ(AddUser(Wide(c.other), WIDE("pass002")), NERR_Success);
        for (const auto& [name, home] : {std::pair{c.owner, c.ownerHome}, {c.other, c.otherHome}}) {
            ReplaceLine("etc/passwd", name + ":",
                        name + ":x:" + std::to_string(UidOf(name)) + ":100::" + home + ":/bin/sh");
        }
        std::string sid = SidTextOf(Wide(c.owner));
        ASSERT_EQ(Create(Wide(c.owner)), 0) << c.owner;
        ASSERT_EQ(NetUserDel(nullptr, Wide(c.owner).c_str()), NERR_Success);
        std::string list = List();
        DWORD code = 0;
        EXPECT_FALSE(Delete(sid, &code)) << c.otherHome;
        EXPECT_EQ(code, ERROR_ACCESS_DENIED) << c.otherHome;
        EXPECT_TRUE(Exists(Root() / (c.ownerHome.substr(1) + "/.profile"))) << c.otherHome;
        EXPECT_EQ(List(), list);
    }
}

// The account races the copy: it swaps each skeleton link it sees in its new
// home for a hard link to a file of root's, and notes whether it ever got
// into the home before the copy was complete.
TEST_F(ProfileLife, TheAccountGetsItsHomeOnlyWhenCompleteAndNoRootFileChanges) {
    constexpr int kLinks = 400;
    for (int i = 0; i < kLinks; ++i) {
        std::string name = Root() / ("etc/skel/l" + std::to_string(i));
        ASSERT_EQ(symlink(".profile", name.c_str()), 0);
    }
    const std::string rootFile = Root() / "root-file";
    WriteTextFile(rootFile, "root's\n");
    ASSERT_EQ(chmod(rootFile.c_str(), 0666), 0); // so that the hard-link protection lets it link
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    const std::string home = Home("test001");
    const std::size_t complete = Names(Root() / "etc/skel").size();

    pid_t attacker = fork();
    ASSERT_GE(attacker, 0);
    if (attacker == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(100, 100, 100) != 0 ||
            setresuid(base_, base_, base_) != 0) {
            _exit(120);
        }
        bool early = false;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            // Whether it may enter, then what it finds: a home complete by
            // then was handed over complete.
            bool entered = access(home.c_str(), X_OK) == 0;
            std::vector<std::string> names = Names(home);
            if (names.size() >= complete) {
                _exit(early ? 1 : 0);
            }
            early = early || entered || !names.empty();
            for (const auto& name : names) {
                std::string path = home + "/" + name;
                if (S_ISLNK(StatOf(path).st_mode) &&
                    link(rootFile.c_str(), (home + "/h").c_str()) == 0) {
                    rename((home + "/h").c_str(), path.c_str());
                }
            }
            sched_yield();
        }
        _exit(2);
    }
    HRESULT created = Create(WIDE("test001"));
    int status = 0;
    ASSERT_EQ(waitpid(attacker, &status, 0), attacker);
    EXPECT_EQ(created, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the account got into its home during the copy";
    struct stat st = StatOf(rootFile);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_gid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0666u);
    EXPECT_EQ(ReadTextFile(rootFile), "root's\n");
}

// A run killed at any moment: the next run ends with one complete profile
// and one registration, and a later delete leaves neither.
TEST_F(ProfileLife, CreateAfterAKillAtAnyMomentEndsWithOneCompleteProfile) {
    for (int i = 0; i < 60; ++i) {
        WriteTextFile(Root() / ("etc/skel/f" + std::to_string(i)), std::string(20000, 'x'));
    }
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    std::string sid = SidTextOf(WIDE("test001"));
    // Kills spread over the whole time one uncontended run takes.
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Create(WIDE("test001")), 0);
    auto span = std::chrono::duration_cast<std::chrono::microseconds>(
                    std::chrono::steady_clock::now() - start)
                    .count();
    ASSERT_EQ(NetUserDel(nullptr, WIDE("test001")), NERR_Success);
    DWORD deleted = 0;
    ASSERT_TRUE(Delete(sid, &deleted)) << deleted;
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    std::mt19937 random(12345);
    for (int run = 0; run < 15; ++run) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            _exit(Create(WIDE("test001")) == 0 ? 0 : 1);
        }
        usleep(static_cast<useconds_t>(random() % static_cast<unsigned>(span + span / 4 + 1)));
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);

        HRESULT again = Create(WIDE("test001"));
        EXPECT_TRUE(again == 0 || again == kExists) << std::hex << again;
        ExpectComplete("test001");
        auto entries = EntriesOf(sid);
        ASSERT_EQ(entries.size(), 1u) << List();
        EXPECT_TRUE(entries[0].ends_with("\ttest001\tready")) << entries[0];
        for (const auto& name : Names(Root() / "var/lib/nomvera")) {
            EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
        }

        ASSERT_EQ(NetUserDel(nullptr, WIDE("test001")), NERR_Success);
        DWORD code = 0;
        ASSERT_TRUE(Delete(sid, &code)) << code;
        ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
        ASSERT_EQ(SidTextOf(WIDE("test001")), sid);
    }
}

// What a killed run leaves that is not provably its own is never taken over.
TEST_F(ProfileLife, AnUnfinishedEntryNeverTakesOverAFolderItDidNotMake) {
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    std::string sid = SidTextOf(WIDE("test001"));
    std::string head = sid + "\t" + std::to_string(base_) + "\t/home/test001\ttest001\tmaking";
    ASSERT_EQ(mkdir(Home("test001").c_str(), 0700), 0);
    WriteTextFile(Home("test001") + "/admin", "root's\n");
    for (const std::string& entry : {head, head + "\t1:2"}) {
        WriteList(entry + "\n");
        EXPECT_EQ(Create(WIDE("test001")), kExists) << entry;
        EXPECT_EQ(ReadTextFile(Home("test001") + "/admin"), "root's\n");
        EXPECT_EQ(StatOf(Home("test001")).st_uid, 0u);
    }
    // Its own empty private folder (killed right after making it) is taken back.
    ASSERT_EQ(unlink((Home("test001") + "/admin").c_str()), 0);
    WriteList(head + "\n");
    EXPECT_EQ(Create(WIDE("test001")), 0);
    ExpectComplete("test001");
}

TEST_F(ProfileLife, ADeletedAccountsNameFindsTheSidOfItsKeptProfile) {
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    ASSERT_EQ(AddUser(WIDE("test002"), WIDE("pass002")), NERR_Success);
    std::string sid = SidTextOf(WIDE("test001"));
    ASSERT_EQ(Create(WIDE("test001")), 0);
    ASSERT_EQ(NetUserDel(nullptr, WIDE("test001")), NERR_Success);

    auto lookUp = [](const WCHAR* name, SID_NAME_USE& use) {
        std::vector<BYTE> raw(256);
        WCHAR domain[64] = {};
        DWORD rawSize = 256;
        DWORD domainSize = 64;
        if (!LookupAccountNameW(nullptr, name, raw.data(), &rawSize, domain, &domainSize, &use)) {
            return std::string();
        }
        LPSTR text = nullptr;
        EXPECT_TRUE(ConvertSidToStringSidA(raw.data(), &text));
        std::string result = text;
        LocalFree(text);
        return result;
    };
    SID_NAME_USE use{};
    EXPECT_EQ(lookUp(WIDE("test001"), use), sid);
    EXPECT_EQ(use, SidTypeDeletedAccount);
    EXPECT_EQ(lookUp(WIDE("SANDBOX\\test001"), use), sid);

    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")),
              NERR_Success); // a live account of the name
    std::string live = SidTextOf(WIDE("test001"));
    EXPECT_NE(live, sid) << "useradd gives the next uid";
    EXPECT_EQ(lookUp(WIDE("test001"), use), live);
    EXPECT_EQ(use, SidTypeUser);
    ASSERT_EQ(NetUserDel(nullptr, WIDE("test001")), NERR_Success);

    DWORD code = 0;
    EXPECT_TRUE(Delete(lookUp(WIDE("test001"), use), &code)) << code;
    EXPECT_FALSE(Exists(Home("test001")));
    SetLastError(0);
    EXPECT_EQ(lookUp(WIDE("test001"), use), "");
    EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
}

// Two copies of the tool at once, each making and removing its own profiles.
TEST_F(ProfileLife, TwoCopiesAtOnceLeaveEveryFolderWithExactlyOneRegistration) {
    constexpr int kEach = 20;
    std::vector<WideString> names;
    for (int i = 0; i < 2 * kEach; ++i) {
        names.push_back(Wide("t" + std::to_string(100 + i)));
        ASSERT_EQ(AddUser(names.back(), WIDE("pass001")), NERR_Success);
    }
    std::vector<std::string> sids;
    for (const auto& name : names) {
        sids.push_back(SidTextOf(name));
    }
    // Both start at the same moment, the first time also on a missing state folder.
    auto bothAtOnce = [&](const std::function<bool(int)>& step) {
        int gate[2];
        ASSERT_EQ(pipe(gate), 0);
        pid_t children[2];
        for (int copy = 0; copy < 2; ++copy) {
            children[copy] = fork();
            if (children[copy] == 0) {
                close(gate[1]);
                char byte;
                while (read(gate[0], &byte, 1) > 0) {
                }
                int failed = 0;
                for (int i = copy * kEach; i < (copy + 1) * kEach; ++i) {
                    failed += step(i) ? 0 : 1;
                }
                _exit(failed);
            }
        }
        close(gate[0]);
        close(gate[1]);
        for (pid_t child : children) {
            int status = 0;
            EXPECT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
    };
    // A step that fails says so on standard error, from the child.
    bothAtOnce([&](int i) {
        HRESULT result = Create(names[static_cast<std::size_t>(i)]);
        if (result != 0) {
            std::fprintf(stderr, "create %d: %08X\n", i, static_cast<unsigned>(result));
        }
        return result == 0;
    });
    for (int i = 0; i < 2 * kEach; i += 2) {
        ASSERT_EQ(NetUserDel(nullptr, names[static_cast<std::size_t>(i)].c_str()), NERR_Success);
    }
    bothAtOnce([&](int i) {
        DWORD code = 0;
        if (i % 2 == 1 || Delete(sids[static_cast<std::size_t>(i)], &code)) {
            return true;
        }
        std::fprintf(stderr, "delete %d: %u\n", i, static_cast<unsigned>(code));
        return false;
    });

    std::vector<std::string> registered;
    for (const auto& line : TextLines(List())) {
        auto fields = Fields(line);
        ASSERT_EQ(fields.size(), 5u) << line;
        EXPECT_EQ(fields[4], "ready");
        EXPECT_EQ(fields[2], "/home/" + fields[3]);
        registered.push_back(fields[3]);
    }
    std::sort(registered.begin(), registered.end());
    EXPECT_EQ(registered, Names(Root() / "home")) << List();
    EXPECT_EQ(registered.size(), static_cast<std::size_t>(kEach));
    std::vector<std::string> left;
    for (const auto& name : Names(Root() / "var/lib/nomvera")) {
        left.push_back(name);
    }
    EXPECT_EQ(left, (std::vector<std::string>{"lock", "profiles"}));
    EXPECT_EQ(StatOf(Root() / "var/lib/nomvera/lock").st_mode & 07777, 0600u);
}

// The lock file and the state folder are root's own, or nothing changes.
TEST_F(ProfileLife, ALockOrStateFolderThatIsNotRootsOwnStopsEveryChange) {
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    const std::string folder = Root() / "var/lib/nomvera";
    const std::string target = Root() / "etc/shadow";
    const std::string shadow = ReadTextFile(target);
    struct Case {
        const char* what;
        std::function<void()> plant;
    };
    std::vector<Case> cases = {
        {"a link", [&] { ASSERT_EQ(symlink(target.c_str(), (folder + "/lock").c_str()), 0); }},
        {"a folder", [&] { ASSERT_EQ(mkdir((folder + "/lock").c_str(), 0700), 0); }},
        {"another's file",
         [&] {
             WriteTextFile(folder + "/lock", "");
             ASSERT_EQ(chown((folder + "/lock").c_str(), 65534, 65534), 0);
         }},
        {"a writable folder", [&] { ASSERT_EQ(chmod(folder.c_str(), 0777), 0); }},
        {"a folder link",
         [&] {
             ASSERT_EQ(rmdir(folder.c_str()), 0);
             ASSERT_EQ(mkdir((Root() / "tmp/state").c_str(), 0755), 0);
             ASSERT_EQ(symlink((Root() / "tmp/state").c_str(), folder.c_str()), 0);
         }},
    };
    for (const auto& c : cases) {
        WriteList("");
        ASSERT_EQ(unlink((folder + "/profiles").c_str()), 0);
        c.plant();
        EXPECT_EQ(Create(WIDE("test001")), kDenied) << c.what;
        EXPECT_FALSE(Exists(Home("test001"))) << c.what;
        EXPECT_FALSE(Exists(folder + "/profiles")) << c.what;
        EXPECT_EQ(ReadTextFile(target), shadow) << c.what;
        EXPECT_EQ(StatOf(target).st_uid, 0u) << c.what;
        // Back to a sound state folder for the next case.
        RemoveTree(folder);
        RemoveTree(Root() / "tmp/state");
    }
}

// Also when the next run changes nothing (the profile exists already).
TEST_F(ProfileLife, TemporariesOfAKilledRunGoAtTheNextRun) {
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    const std::string folder = Root() / "var/lib/nomvera";
    for (HRESULT expected : {HRESULT{0}, kExists}) {
        WriteList(List());
        WriteTextFile(folder + "/profiles.tmp-Ab12Cd", "half a list");
        WriteTextFile(folder + "/group-comments.tmp-x9Y8z7", "half a list");
        ASSERT_EQ(Create(WIDE("test001")), expected);
        EXPECT_EQ(Names(folder), (std::vector<std::string>{"lock", "profiles"}));
    }
}

} // namespace
} // namespace nomvera::test
