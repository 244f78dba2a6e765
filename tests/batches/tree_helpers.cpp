#include "tests/batches/tree_helpers.h"

#include "tests/common/temp_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nomvera::test {

void MakeFolder(const std::string& path, mode_t mode) {
    if (mkdir(path.c_str(), 0700) != 0) {
        throw std::runtime_error("cannot make folder " + path);
    }
    chmod(path.c_str(), mode);
}

void MakeFile(const std::string& path, const std::string& content, mode_t mode) {
    WriteTextFile(path, content);
    if (!Exists(path)) {
        throw std::runtime_error("cannot make file " + path);
    }
    chmod(path.c_str(), mode);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

std::size_t EntryCount(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return 0;
    }
    std::size_t count = 0;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            ++count;
        }
    }
    closedir(dir);
    return count;
}

void MakeChain(const std::string& top, const std::string& name, int depth) {
    int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < depth && fd >= 0; ++level) {
        const int next = mkdirat(fd, name.c_str(), 0755) == 0
                             ? openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                             : -1;
        close(fd);
        fd = next;
    }
    if (fd < 0) {
        throw std::runtime_error("cannot make a chain of folders in " + top);
    }
    close(fd);
}

namespace {
// The name of the first subfolder of an open folder; empty when it has none.
std::string FirstSubfolder(int fd) {
    DIR* dir = fdopendir(dup(fd));
    std::string found;
    while (dir != nullptr && found.empty()) {
        dirent* entry = readdir(dir);
        if (entry == nullptr) {
            break;
        }
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && entry->d_type == DT_DIR) {
            found = name;
        }
    }
    if (dir != nullptr) {
        closedir(dir);
    }
    return found;
}
} // namespace

void CutChain(const std::string& top) {
    const int topFd = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int fd = topFd >= 0 ? dup(topFd) : -1;
    for (int level = 1, piece = 0; fd >= 0; ++level) {
        const std::string sub = FirstSubfolder(fd);
        int next = -1;
        if (!sub.empty() && level % 10 == 0) {
            const std::string moved = "piece" + std::to_string(++piece);
            if (renameat(fd, sub.c_str(), topFd, moved.c_str()) == 0) {
                next = openat(topFd, moved.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            }
        } else if (!sub.empty()) {
            next = openat(fd, sub.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        }
        close(fd);
        fd = next;
    }
    if (topFd >= 0) {
        close(topFd);
    }
}

namespace {
bool EndsWith(const std::string& line, const std::string& text) {
    return line.size() >= text.size() &&
           line.compare(line.size() - text.size(), text.size(), text) == 0;
}
} // namespace

std::vector<std::string> LinesEndingWith(const std::vector<std::string>& lines,
                                         const std::string& text) {
    std::vector<std::string> found;
    for (const auto& line : lines) {
        if (EndsWith(line, text)) {
            found.push_back(line);
        }
    }
    return found;
}

int FindLine(const std::vector<std::string>& lines, const std::string& text, int from) {
    for (int i = from < 0 ? 0 : from; i < static_cast<int>(lines.size()); ++i) {
        if (EndsWith(lines[static_cast<std::size_t>(i)], text)) {
            return i;
        }
    }
    return -1;
}

} // namespace nomvera::test
