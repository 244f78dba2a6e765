#include "tests/common/sandbox_root.h"

#include "tests/common/child_process.h"

#include <cstdlib>
#include <map>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nomvera::test {
namespace {

void MakeDir(const std::string& path, mode_t mode) {
    if (mkdir(path.c_str(), mode) != 0) {
        throw std::runtime_error("cannot make " + path);
    }
    chmod(path.c_str(), mode);
}

void WriteFile(const std::string& path, const std::string& content, mode_t mode) {
    WriteTextFile(path, content);
    chmod(path.c_str(), mode);
}

// The lines a checker prints on standard output and standard error.
std::vector<std::string> CheckerLines(const char* program, const std::string& root) {
    const TChildResult run = RunProgram({program, "-r", "-R", root}, true);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < run.output.size()) {
        std::size_t end = run.output.find('\n', start);
        end = end == std::string::npos ? run.output.size() : end;
        lines.push_back(run.output.substr(start, end - start));
        start = end + 1;
    }
    if (run.exitCode == 127) {
        lines.push_back(std::string("cannot run ") + program);
    }
    return lines;
}

bool IsSandboxNoise(const std::string& line) {
    bool missingThing = line.find("' does not exist") != std::string::npos &&
                        (line.find(": directory '") != std::string::npos ||
                         line.find(": program '") != std::string::npos);
    return line.empty() || missingThing || line == "pwck: no changes" ||
           line == "grpck: no changes";
}

} // namespace

SandboxRoot::SandboxRoot() : folder_("nomvera-root") {
    const std::string& root = folder_.Path();
    chmod(root.c_str(), 0755);
    MakeDir(root + "/etc", 0755);
    MakeDir(root + "/etc/default", 0755);
    MakeDir(root + "/etc/skel", 0755);
    MakeDir(root + "/home", 0755);
    MakeDir(root + "/root", 0700);
    MakeDir(root + "/tmp", 01777);

    WriteFile(root + "/etc/passwd",
              "root:x:0:0:root:/root:/bin/bash\n"
              "nobody:x:65534:65534:nobody:/nonexistent:/usr/sbin/nologin\n",
              0644);
    WriteFile(root + "/etc/shadow",
              "root:*:19000:0:99999:7:::\n"
              "nobody:*:19000:0:99999:7:::\n",
              0640);
    WriteFile(root + "/etc/group",
              "root:x:0:\n"
              "sudo:x:27:\n"
              "users:x:100:\n"
              "tsusers:x:990:\n"
              "nogroup:x:65534:\n",
              0644);
    WriteFile(root + "/etc/gshadow",
              "root:*::\n"
              "sudo:*::\n"
              "users:*::\n"
              "tsusers:!::\n"
              "nogroup:*::\n",
              0640);
    WriteFile(root + "/etc/login.defs",
              "MAIL_DIR /var/mail\n"
              "PASS_MAX_DAYS 99999\n"
              "PASS_MIN_DAYS 0\n"
              "PASS_WARN_AGE 7\n"
              "UID_MIN 1000\n"
              "UID_MAX 60000\n"
              "SYS_UID_MIN 100\n"
              "SYS_UID_MAX 999\n"
              "GID_MIN 1000\n"
              "GID_MAX 60000\n"
              "SYS_GID_MIN 100\n"
              "SYS_GID_MAX 999\n"
              "UMASK 022\n"
              "HOME_MODE 0700\n"
              "USERGROUPS_ENAB no\n"
              "ENCRYPT_METHOD YESCRYPT\n",
              0644);
    WriteFile(root + "/etc/default/useradd",
              "GROUP=100\n"
              "HOME=/home\n"
              "SHELL=/bin/sh\n"
              "SKEL=/etc/skel\n"
              "CREATE_MAIL_SPOOL=no\n",
              0644);
    WriteFile(root + "/etc/skel/.profile", "# sandbox skeleton profile\n", 0644);
    WriteFile(root + "/etc/skel/.bashrc", "# sandbox skeleton bashrc\n", 0644);
    WriteFile(root + "/etc/machine-id", "0123456789abcdef0123456789abcdef\n", 0444);
    WriteFile(root + "/etc/hostname", "sandbox\n", 0644);

    const char* previous = std::getenv("NOMVERA_SYSROOT");
    hadPrevious_ = previous != nullptr;
    previous_ = hadPrevious_ ? previous : "";
    setenv("NOMVERA_SYSROOT", root.c_str(), 1);
}

SandboxRoot::~SandboxRoot() {
    if (hadPrevious_) {
        setenv("NOMVERA_SYSROOT", previous_.c_str(), 1);
    } else {
        unsetenv("NOMVERA_SYSROOT");
    }
}

std::string SandboxRoot::AccountFiles() const {
    std::string all;
    for (const char* name : {"etc/passwd", "etc/shadow", "etc/group", "etc/gshadow"}) {
        all += std::string("--- ") + name + "\n" + ReadTextFile(*this / name);
    }
    return all;
}

std::string SandboxRoot::ProfileList() const {
    std::vector<std::string> order;
    std::map<std::string, std::string> lines;
    std::string text = ReadTextFile(*this / "var/lib/nomvera/profiles");
    text.resize(text.rfind('\n') + 1); // an unfinished last line is none
    for (const std::string& line : TextLines(text)) {
        const std::string sid = line.substr(0, line.find('\t'));
        if (line == sid + "\tremoved") {
            lines.erase(sid);
            std::erase(order, sid);
        } else if (lines.emplace(sid, line).second) {
            order.push_back(sid);
        } else {
            lines[sid] = line;
        }
    }
    std::string list;
    for (const std::string& sid : order) {
        list += lines[sid] + "\n";
    }
    return list;
}

std::vector<std::string> SandboxRoot::AccountFileComplaints() const {
    std::vector<std::string> complaints;
    for (const char* checker : {"/usr/sbin/pwck", "/usr/sbin/grpck"}) {
        for (const std::string& line : CheckerLines(checker, Path())) {
            if (!IsSandboxNoise(line)) {
                complaints.push_back(line);
            }
        }
    }
    return complaints;
}

} // namespace nomvera::test
