// The OOBE policy value "DisablePrivacyExperience" on Linux: the desktop's
// first-logon setup is skipped for every account whose home folder is made
// from the skeleton folder while the value is 1. For GNOME that is the marker
// file .config/gnome-initial-setup-done holding "yes" in the root's etc/skel.
// Accounts that already exist are left alone, as on Windows the policy only
// matters for a first logon.

#include "platform/posix/kernel/descriptor.h"
#include "platform/posix/kernel/errno_map.h"
#include "platform/posix/kernel/registry_map.h"
#include "platform/posix/services/sysroot.h"
#include "platform/registry.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::posix {
namespace {

constexpr char kConfigFolder[] = ".config";
constexpr char kMarkerName[] = "gnome-initial-setup-done";
constexpr char kMarkerText[] = "yes";
constexpr char kMarkerTemporary[] = ".gnome-initial-setup-done.nomvera";

std::string SkeletonFolder() {
    return InSystemRoot("/etc/skel");
}

LONG Code(int error) {
    return static_cast<LONG>(WindowsCodeFromErrno(error));
}

// Neither the skeleton nor its .config may be a symbolic link: the tool runs
// as root and must not write wherever such a link points.
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

LONG ReadPolicy(RegistryData& data) {
    struct stat info {};
    std::string marker = SkeletonFolder() + "/" + kConfigFolder + "/" + kMarkerName;
    if (lstat(marker.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    }
    data.type = REG_DWORD;
    data.number = 1;
    return ERROR_SUCCESS;
}

LONG WriteMarker(int config) {
    // Written beside the marker and renamed over it, so that a skeleton
    // never holds half a marker.
    int fd = openat(config, kMarkerTemporary, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                    0644);
    if (fd < 0) {
        return Code(errno);
    }
    const std::string text = kMarkerText;
    bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    int error = written ? 0 : (errno != 0 ? errno : ENOSPC);
    if (written && (fchmod(fd, 0644) != 0 || fsync(fd) != 0)) {
        error = errno;
        written = false;
    }
    if (close(fd) != 0 && written) {
        error = errno;
        written = false;
    }
    if (!written || renameat(config, kMarkerTemporary, config, kMarkerName) != 0) {
        if (written) {
            error = errno;
        }
        unlinkat(config, kMarkerTemporary, 0);
        return Code(error);
    }
    return ERROR_SUCCESS;
}

LONG WritePolicy(const RegistryData& data) {
    if (data.type != REG_DWORD) {
        return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    }
    int skeletonFd = open(SkeletonFolder().c_str(), kFolderFlags);
    if (skeletonFd < 0) {
        return static_cast<LONG>(PathErrorCode(SkeletonFolder(), errno));
    }
    UniqueFd skeleton(skeletonFd);
    if (data.number == 0) {
        int config = openat(skeleton.get(), kConfigFolder, kFolderFlags);
        if (config < 0) {
            return errno == ENOENT ? ERROR_SUCCESS : Code(errno);
        }
        UniqueFd configFolder(config);
        if (unlinkat(config, kMarkerName, 0) != 0 && errno != ENOENT) {
            return Code(errno);
        }
        return ERROR_SUCCESS;
    }
    bool made = mkdirat(skeleton.get(), kConfigFolder, 0755) == 0;
    if (!made && errno != EEXIST) {
        return Code(errno);
    }
    int config = openat(skeleton.get(), kConfigFolder, kFolderFlags);
    if (config < 0) {
        return errno == ELOOP || errno == ENOTDIR ? static_cast<LONG>(ERROR_PATH_NOT_FOUND)
                                                  : Code(errno);
    }
    UniqueFd configFolder(config);
    if (made) {
        fchmod(config, 0755); // whatever the umask, like the rest of the skeleton
    }
    return WriteMarker(config);
}

const RegistryValueRegistration oobePolicy(HKEY_LOCAL_MACHINE,
                                           "Software\\Policies\\Microsoft\\Windows\\OOBE",
                                           "DisablePrivacyExperience", ReadPolicy, WritePolicy);

} // namespace
} // namespace nomvera::posix
