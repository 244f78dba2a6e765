#include "tests/batches/tree_helpers.h"

#include "tests/common/temp_folder.h"

#include <dirent.h>
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

std::vector<std::string> LogFileLines(const std::string& path) {
    const std::string content = ReadTextFile(path);
    std::vector<std::string> lines;
    std::size_t at = content.size() > 16 ? 16 : content.size();
    while (at < content.size()) {
        std::size_t end = content.find("\r\n", at);
        if (end == std::string::npos) {
            end = content.size();
        }
        lines.push_back(content.substr(at, end - at));
        at = end + 2;
    }
    return lines;
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
