#include "platform/posix/state_files.h"

#include "platform/posix/sysroot.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::posix {
namespace {

std::string StateFolder() {
    return InSystemRoot("/var/lib/nomvera");
}

bool MakeStateFolder() {
    std::string path = SystemRootPrefix();
    for (const char* level : {"/var", "/lib", "/nomvera"}) {
        path += level;
        if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
            return false;
        }
    }
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

StateRecords ReadStateFile(const std::string& name) {
    StateRecords records;
    std::ifstream in(StateFolder() + "/" + name);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) {
            continue;
        }
        std::vector<std::string> fields;
        std::size_t start = 0;
        while (true) {
            std::size_t tab = line.find('\t', start);
            fields.push_back(
                line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) {
                break;
            }
            start = tab + 1;
        }
        records.push_back(std::move(fields));
    }
    return records;
}

bool WriteStateFile(const std::string& name, const StateRecords& records) {
    if (!MakeStateFolder()) {
        return false;
    }
    std::string folder = StateFolder();
    std::string content;
    for (const auto& fields : records) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            content += (i == 0 ? "" : "\t") + fields[i];
        }
        content += '\n';
    }
    std::string target = folder + "/" + name;
    std::string temporary = target + ".new";
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < content.size()) {
        ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temporary.c_str(), target.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace nomvera::posix
