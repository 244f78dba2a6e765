#include "platform/posix/kernel/mount_identity.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace nomvera::posix {

bool MountIdentityAt(int folder, const char* name, MountIdentity& id) {
    int flags = AT_SYMLINK_NOFOLLOW | (name[0] == 0 ? AT_EMPTY_PATH : 0);
    struct statx stx {};
    if (statx(folder, name, flags, STATX_TYPE | STATX_MODE | STATX_UID | STATX_INO | STATX_MNT_ID,
              &stx) == 0) {
        id.device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
        id.inode = stx.stx_ino;
        id.mount = (stx.stx_mask & STATX_MNT_ID) != 0 ? stx.stx_mnt_id : 0;
        id.mode = stx.stx_mode;
        id.owner = stx.stx_uid;
        return true;
    }
    struct stat st {};
    if (fstatat(folder, name, &st, flags) != 0) {
        return false;
    }
    id = MountIdentity{st.st_dev, st.st_ino, 0, st.st_mode, st.st_uid};
    return true;
}

} // namespace nomvera::posix
