#include "tests/common/temp_folder.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#include <ftw.h>
#include <sys/stat.h>

namespace nomvera::test {
namespace {

int RemoveEntry(const char* path, const struct stat*, int type, FTW*) {
    if (type == FTW_DP) {
        chmod(path, 0700);
        return rmdir(path);
    }
    return unlink(path);
}

void MakeWritable(const std::string& root) {
    // A test may leave read-only folders behind; open them up first.
    nftw(
        root.c_str(),
        [](const char* path, const struct stat* st, int type, FTW*) {
            if (type == FTW_D && st != nullptr) {
                chmod(path, st->st_mode | S_IRWXU);
            }
            return 0;
        },
        64, FTW_PHYS | FTW_MOUNT);
}

} // namespace

TempFolder::TempFolder(const std::string& tag) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/" + tag + ".XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder: " + pattern);
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    if (path_.size() < 8 || path_ == "/") {
        return;
    }
    MakeWritable(path_);
    nftw(path_.c_str(), RemoveEntry, 64, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
}

void WriteTextFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace nomvera::test
