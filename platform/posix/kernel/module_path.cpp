#include "platform/posix/kernel/module_path.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::posix {
namespace {

bool ChangeableOnlyByUs(const struct stat& info, bool folder) {
    const bool ours = info.st_uid == 0 || info.st_uid == geteuid();
    const bool othersMayWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    return ours && (!othersMayWrite || (folder && (info.st_mode & S_ISVTX) != 0));
}

} // namespace

std::string ExecutablePath() {
    char buffer[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) {
        return {};
    }
    return std::string(buffer, static_cast<std::size_t>(n));
}

std::string ExecutableFolder() {
    std::string path = ExecutablePath();
    auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

namespace {

// Whether every folder above the real path real (ending with "/") passes
// the rule.
bool FoldersAboveUnchangeable(const std::string& real) {
    struct stat info {};
    for (std::string folder = real; folder != "/";) {
        auto slash = folder.rfind('/');
        folder = slash == 0 ? std::string("/") : folder.substr(0, slash);
        if (stat(folder.c_str(), &info) != 0 || !ChangeableOnlyByUs(info, true)) {
            return false;
        }
    }
    return true;
}

// The real path of path (links resolved), or the errno of the failure.
std::string RealPath(const std::string& path, int& error) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        error = errno == ENOTDIR ? ENOTDIR : ENOENT;
        return {};
    }
    std::string real = resolved;
    std::free(resolved);
    return real;
}

} // namespace

TrustedFile UnchangeableByOthers(const std::string& path) {
    TrustedFile result;
    std::string real = RealPath(path, result.error);
    if (real.empty()) {
        return result;
    }
    struct stat info {};
    if (stat(real.c_str(), &info) != 0) {
        result.error = ENOENT;
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return result;
    }
    if (!ChangeableOnlyByUs(info, false) || !FoldersAboveUnchangeable(real)) {
        result.error = EACCES;
        return result;
    }
    result.real = std::move(real);
    return result;
}

TrustedFile FolderUnchangeableByOthers(const std::string& path) {
    TrustedFile result;
    std::string real = RealPath(path, result.error);
    if (real.empty()) {
        return result;
    }
    struct stat info {};
    if (stat(real.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        result.error = ENOTDIR;
        return result;
    }
    if (!ChangeableOnlyByUs(info, true) || !FoldersAboveUnchangeable(real)) {
        result.error = EACCES;
        return result;
    }
    result.real = std::move(real);
    return result;
}

} // namespace nomvera::posix
