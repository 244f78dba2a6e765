// Which mount a file lies on. A bind mount of a folder of the same file
// system has the same device number as its surroundings; only the mount id
// tells it apart. Walks that must not leave the mount they started on (the
// folder walk, profile removal) compare both. Not part of the surface.
#pragma once

#include <cstdint>
#include <sys/types.h>

namespace nomvera::posix {

struct MountIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t mount = 0; // 0 when the kernel gives no mount id
    mode_t mode = 0;
    uid_t owner = 0;
};

// The identity of name in folder, never through a symbolic link (name ""
// stands for folder itself). False when it cannot be read.
bool MountIdentityAt(int folder, const char* name, MountIdentity& id);
inline bool MountIdentityOf(int fd, MountIdentity& id) {
    return MountIdentityAt(fd, "", id);
}

// Whether entry lies on the same mount as folder: the same device and, when
// the kernel gives mount ids for both, the same mount id.
inline bool OnSameMount(const MountIdentity& folder, const MountIdentity& entry) {
    return folder.device == entry.device &&
           (folder.mount == 0 || entry.mount == 0 || folder.mount == entry.mount);
}

} // namespace nomvera::posix
