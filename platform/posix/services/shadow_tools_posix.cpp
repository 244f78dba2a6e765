#include "platform/posix/kernel/descriptor.h"
#include "platform/posix/services/shadow_tools.h"

#include "platform/posix/kernel/module_path.h"
#include "platform/posix/kernel/utf.h"
#include "platform/posix/services/sysroot.h"
#include "platform/security.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <crypt.h>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <memory>
#include <mutex>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace nomvera::posix {
namespace {

std::string ToolPath(const std::string& program) {
    for (const char* folder : {"/usr/sbin/", "/sbin/"}) {
        auto file = UnchangeableByOthers(folder + program);
        if (!file.real.empty() && access(file.real.c_str(), X_OK) == 0) {
            return file.real;
        }
    }
    return {};
}

// Whether the words before "--" hold a password option. The values of the
// options the stand-ins pass are skipped, so a comment "-p" is only a comment.
bool HasPasswordOption(const std::vector<std::string>& arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word == "--") {
            return false;
        }
        if (word == "-p" || word.rfind("--password", 0) == 0) {
            return true;
        }
        if (word == "-c" || word == "-g" || word == "-G" || word == "-K" || word == "-d" ||
            word == "-s" || word == "-e" || word == "-u" || word == "-f") {
            ++i;
        }
    }
    return false;
}

// Wipes a text that held a password or its hash before it is released.
void Wipe(std::string& text) {
    volatile char* p = text.data();
    for (std::size_t i = 0; i < text.size(); ++i) {
        p[i] = 0;
    }
    text.clear();
}

struct CryptData {
    crypt_data data{};
    ~CryptData() { explicit_bzero(&data, sizeof data); }
};

const char* MethodPrefix() {
    auto method = LoginDefsValue("ENCRYPT_METHOD");
    if (method) {
        if (*method == "SHA512") {
            return "$6$";
        }
        if (*method == "SHA256") {
            return "$5$";
        }
        if (*method == "BCRYPT") {
            return "$2b$";
        }
    }
    return "$y$";
}

unsigned long CostFactor(const char* prefix) {
    std::optional<std::string> value;
    if (std::strcmp(prefix, "$y$") == 0) {
        value = LoginDefsValue("YESCRYPT_COST_FACTOR");
    } else if (std::strcmp(prefix, "$6$") == 0 || std::strcmp(prefix, "$5$") == 0) {
        value = LoginDefsValue("SHA_CRYPT_MIN_ROUNDS");
    } else if (std::strcmp(prefix, "$2b$") == 0) {
        value = LoginDefsValue("BCRYPT_MIN_ROUNDS");
    }
    if (!value || value->empty()) {
        return 0; // libxcrypt's default cost
    }
    char* end = nullptr;
    unsigned long cost = std::strtoul(value->c_str(), &end, 10);
    return end != nullptr && *end == 0 ? cost : 0;
}

// What a hash is made with: the method, its cost and the root whose
// login.defs asked for them.
struct HashSetting {
    std::string prefix;
    unsigned long cost = 0;
    std::string root;
    bool operator==(const HashSetting&) const = default;
};

HashSetting CurrentHashSetting() {
    const char* prefix = MethodPrefix();
    return {prefix, CostFactor(prefix), SystemRootPrefix()};
}

// The setting's method at the lowest cost libxcrypt takes for it.
HashSetting CheapestOf(HashSetting setting) {
    if (setting.prefix == "$y$") {
        setting.cost = 1;
    } else if (setting.prefix == "$6$" || setting.prefix == "$5$") {
        setting.cost = 1000;
    } else if (setting.prefix == "$2b$") {
        setting.cost = 4;
    }
    return setting;
}

std::optional<std::string> HashWith(const std::string& password, const HashSetting& setting) {
    char salt[CRYPT_GENSALT_OUTPUT_SIZE] = {};
    const char* prefix = setting.prefix.c_str();
    if (crypt_gensalt_rn(prefix, setting.cost, nullptr, 0, salt, sizeof salt) == nullptr &&
        crypt_gensalt_rn(prefix, 0, nullptr, 0, salt, sizeof salt) == nullptr) {
        return std::nullopt;
    }
    auto data = std::make_unique<CryptData>();
    const char* hash = crypt_rn(password.c_str(), salt, &data->data, sizeof data->data);
    if (hash == nullptr || hash[0] == '*') {
        return std::nullopt;
    }
    return std::string(hash);
}

bool SameSecret(const std::string& a, const std::string& b) {
    unsigned char difference = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return difference == 0;
}

// Hashes of passwords the batch will soon hand over, made on two threads of
// their own while the batch works on the accounts before; and the last few
// hashes made, with their passwords, so that a logon with a password this
// process has just hashed does not hash it a second time (crypt gives the
// same hash for the same password and salt: the comparison is exact).
class HashWorkshop {
public:
    ~HashWorkshop() {
        {
            std::lock_guard guard(lock_);
            stopping_ = true;
        }
        changed_.notify_all();
        for (auto& worker : workers_) {
            if (worker.joinable()) {
                worker.join();
            }
        }
        for (auto& job : jobs_) {
            Wipe(job.password);
            if (job.hash) {
                Wipe(*job.hash);
            }
        }
        for (auto& made : recent_) {
            Wipe(made.password);
        }
    }

    void Order(const std::string& password, HashSetting setting) {
        std::lock_guard guard(lock_);
        if (stopping_) {
            return;
        }
        if (jobs_.size() >= kMaxJobs) {
            // The oldest was never asked for (its account failed earlier).
            auto oldest = std::find_if(jobs_.begin(), jobs_.end(),
                                       [](const Job& job) { return !job.claimed; });
            if (oldest != jobs_.end()) {
                Drop(oldest);
            }
        }
        jobs_.push_back({password, std::move(setting)});
        for (auto& worker : workers_) {
            if (!worker.joinable()) {
                worker = std::thread([this] { Work(); });
            }
        }
        changed_.notify_all();
    }

    // The hash ordered for the password with the current setting, waited
    // for when it is still being made; nothing when none was ordered.
    std::optional<std::string> Take(const std::string& password, const HashSetting& setting) {
        std::unique_lock guard(lock_);
        for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
            if (!it->abandoned && !it->claimed && it->setting == setting &&
                SameSecret(it->password, password)) {
                it->claimed = true;
                changed_.wait(guard, [&] { return it->done; });
                std::optional<std::string> hash = std::move(it->hash);
                it->claimed = false;
                Drop(it);
                return hash;
            }
        }
        return std::nullopt;
    }

    void Remember(const std::string& password, const std::string& hash) {
        std::lock_guard guard(lock_);
        if (recent_.size() >= kRecent) {
            Wipe(recent_.front().password);
            recent_.erase(recent_.begin());
        }
        recent_.push_back({password, hash});
    }

    bool Made(const std::string& password, const std::string& hash) {
        std::lock_guard guard(lock_);
        bool made = false;
        for (const auto& entry : recent_) {
            made = (entry.hash == hash && SameSecret(entry.password, password)) || made;
        }
        return made;
    }

private:
    struct Job {
        std::string password;
        HashSetting setting;
        std::optional<std::string> hash = std::nullopt;
        bool started = false;
        bool done = false;
        bool claimed = false;   // a caller waits for it
        bool abandoned = false; // dropped while being made
    };
    struct MadeHash {
        std::string password;
        std::string hash;
    };
    static constexpr std::size_t kMaxJobs = 4;
    static constexpr std::size_t kRecent = 4;

    // A job being hashed stays until the worker is done with it.
    void Drop(std::list<Job>::iterator it) {
        if (it->started && !it->done) {
            it->abandoned = true; // never taken; the worker drops it
            return;
        }
        Wipe(it->password);
        if (it->hash) {
            Wipe(*it->hash);
        }
        jobs_.erase(it);
    }

    void Work() {
        std::unique_lock guard(lock_);
        while (true) {
            auto next = std::find_if(jobs_.begin(), jobs_.end(),
                                     [](const Job& job) { return !job.started; });
            if (stopping_) {
                return;
            }
            if (next == jobs_.end()) {
                changed_.wait(guard);
                continue;
            }
            next->started = true;
            std::string password = next->password;
            const HashSetting setting = next->setting;
            guard.unlock();
            std::optional<std::string> hash = HashWith(password, setting);
            Wipe(password);
            guard.lock();
            next->hash = std::move(hash);
            next->done = true;
            if (next->abandoned) {
                Drop(next);
            }
            changed_.notify_all();
        }
    }

    std::mutex lock_;
    std::condition_variable changed_;
    std::list<Job> jobs_;
    std::vector<MadeHash> recent_;
    bool stopping_ = false;
    std::array<std::thread, 2> workers_;
};

HashWorkshop& Workshop() {
    static HashWorkshop workshop;
    return workshop;
}

// While it lives, the process's file-size limit is the largest the system
// allows (no limit at all for root), so that a program started meanwhile
// inherits that: a shadow-utils program stopped by an inherited limit while
// it writes would leave its lock files and a cut backup behind. The
// process's own limit comes back at once; starts are serialised so that two
// of them never restore each other's raised limit.
class TFullFileSizeForChildren {
public:
    TFullFileSizeForChildren() : lock_(Mutex()) {
        raised_ = getrlimit(RLIMIT_FSIZE, &saved_) == 0;
        if (!raised_) {
            return;
        }
        // Root without CAP_SYS_RESOURCE cannot raise the hard limit: then
        // up to the hard limit.
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        const rlimit upToHard{saved_.rlim_max, saved_.rlim_max};
        raised_ = (geteuid() == 0 && saved_.rlim_max != RLIM_INFINITY &&
                   setrlimit(RLIMIT_FSIZE, &unlimited) == 0) ||
                  (saved_.rlim_cur != saved_.rlim_max && setrlimit(RLIMIT_FSIZE, &upToHard) == 0);
    }
    ~TFullFileSizeForChildren() {
        if (raised_) {
            setrlimit(RLIMIT_FSIZE, &saved_);
        }
    }
    TFullFileSizeForChildren(const TFullFileSizeForChildren&) = delete;
    TFullFileSizeForChildren& operator=(const TFullFileSizeForChildren&) = delete;

private:
    static std::mutex& Mutex() {
        static std::mutex mutex;
        return mutex;
    }
    std::lock_guard<std::mutex> lock_;
    rlimit saved_{};
    bool raised_ = false;
};

} // namespace

std::optional<std::vector<std::string>>
ShadowToolArguments(const std::string& program, const std::vector<std::string>& arguments) {
    const SystemRoot root = CurrentSystemRoot();
    if (root.kind == SystemRootKind::Unusable || root.kind == SystemRootKind::Unsafe ||
        (root.kind == SystemRootKind::Machine && HasPasswordOption(arguments))) {
        return std::nullopt;
    }
    std::vector<std::string> argv{program};
    if (root.kind == SystemRootKind::Sandbox) {
        // chpasswd knows no --prefix: it works chrooted into the root.
        argv.push_back(program == "chpasswd" ? "--root" : "--prefix");
        argv.push_back(root.prefix);
    }
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

ToolRun RunShadowTool(const std::string& program, const std::vector<std::string>& arguments,
                      const std::optional<std::string>& standardInput) {
    ToolRun run;
    auto argv = ShadowToolArguments(program, arguments);
    if (!argv) {
        return run;
    }
    std::string path = ToolPath(program);
    if (path.empty()) {
        return run;
    }
    std::vector<char*> args;
    for (auto& a : *argv) {
        args.push_back(a.data());
    }
    args.push_back(nullptr);
    // A fixed environment: the tools' behaviour must not depend on the caller's.
    char pathVar[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    char localeVar[] = "LC_ALL=C";
    char* env[] = {pathVar, localeVar, nullptr};

    int input[2] = {-1, -1};
    if (standardInput && pipe2(input, O_CLOEXEC) != 0) {
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (standardInput) {
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = -1;
    // A process group of its own: Ctrl+C on a terminal signals the whole
    // foreground group, and a shadow-utils program cut short there could
    // leave its change half-made. The tool stops after the current account
    // instead, once the program has finished. The stop signals start
    // blocked, so one that reaches the program before it has left the
    // tool's group stays pending and never ends it half-way.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sigaddset(&stopSignals, signal);
    }
    posix_spawnattr_setsigmask(&attributes, &stopSignals);
    // SIGXFSZ stays ignored, as the tool has it: where the limit cannot be
    // raised (no CAP_SYS_RESOURCE), a write past it fails with EFBIG, which
    // the program handles as a full disk, taking its lock files away,
    // instead of being killed half-way.
    int spawned = -1;
    {
        TFullFileSizeForChildren fullFileSize;
        spawned = posix_spawn(&child, path.c_str(), &actions, &attributes, args.data(), env);
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (standardInput) {
        close(input[0]);
        if (spawned == 0) {
            // A tool that exits early must not kill us with SIGPIPE.
            struct sigaction ignore {
            }, previous{};
            ignore.sa_handler = SIG_IGN;
            sigaction(SIGPIPE, &ignore, &previous);
            WriteAll(input[1], *standardInput);
            sigaction(SIGPIPE, &previous, nullptr);
        }
        close(input[1]);
    }
    if (spawned != 0) {
        return run;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return run;
        }
    }
    if (WIFEXITED(status)) {
        run.exitCode = WEXITSTATUS(status);
    }
    return run;
}

void HashAhead(const std::string& password, bool throwAway) {
    const HashSetting setting = CurrentHashSetting();
    Workshop().Order(password, throwAway ? CheapestOf(setting) : setting);
}

} // namespace nomvera::posix

namespace {

void Prepare(LPCWSTR password, bool throwAway) {
    if (password == nullptr) {
        return;
    }
    if (auto text = nomvera::posix::Utf16ToUtf8(password)) {
        nomvera::posix::HashAhead(*text, throwAway);
        nomvera::posix::Wipe(*text);
    }
}

} // namespace

void nomvera::platform::PreparePassword(LPCWSTR password) {
    Prepare(password, false);
}

void nomvera::platform::PrepareThrowAwayPassword(LPCWSTR password) {
    Prepare(password, true);
}

namespace nomvera::posix {

std::optional<std::string> HashPassword(const std::string& password) {
    const HashSetting setting = CurrentHashSetting();
    std::optional<std::string> hash = Workshop().Take(password, setting);
    if (!hash) {
        // Only a throw-away password is ordered at the lowest cost.
        hash = Workshop().Take(password, CheapestOf(setting));
    }
    if (!hash) {
        hash = HashWith(password, setting);
    }
    if (hash) {
        Workshop().Remember(password, *hash);
    }
    return hash;
}

bool PasswordMatches(const std::string& password, const std::string& hash) {
    if (hash.empty() || hash[0] == '*' || hash[0] == '!') {
        return false;
    }
    if (Workshop().Made(password, hash)) {
        return true;
    }
    auto data = std::make_unique<CryptData>();
    const char* computed = crypt_rn(password.c_str(), hash.c_str(), &data->data, sizeof data->data);
    if (computed == nullptr || computed[0] == '*') {
        return false;
    }
    std::string result(computed);
    bool same = result.size() == hash.size();
    unsigned char difference = 0;
    for (std::size_t i = 0; same && i < hash.size(); ++i) {
        difference |= static_cast<unsigned char>(result[i] ^ hash[i]);
    }
    Wipe(result);
    return same && difference == 0;
}

} // namespace nomvera::posix
