// Small files the stand-ins keep under ROOT/var/lib/nomvera for what the
// account files have no place for (group comments, the profile list). Not
// part of the surface.
//
// Several copies of the tool may run at once, and a copy may be killed at any
// moment: every read-modify-write of a state file happens while a StateLock
// is held, and a file is replaced only through a new file of a unique name
// beside it, flushed and renamed over it. The profile list also grows by
// whole lines appended to it (see RecordProfileRegistration).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace nomvera::posix {

// One record per line, fields separated by tabs.
using StateRecords = std::vector<std::vector<std::string>>;

// The exclusive lock on ROOT/var/lib/nomvera/lock, held while the object
// lives (flock, so it is also freed when the process dies). The folder is
// made when missing; the folder and the lock file are refused unless they
// are real (no link), the folder root's, the lock file the effective user's,
// and the folder is refused when its group or others may write to it. Blocks until the lock is
// free; once it holds it, removes the temporaries a killed run left.
class StateLock {
public:
    StateLock();
    ~StateLock();
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;

    bool Held() const { return lock_ >= 0; }
    // The open state folder; valid while Held().
    int Folder() const { return folder_; }

private:
    int folder_ = -1;
    int lock_ = -1;
};

// The records of the file; empty when it does not exist, or when the folder
// or the file would be refused for a change (see StateLock).
StateRecords ReadStateFile(const std::string& name);
// Replaces the file atomically under the lock (a new file of a unique name
// "<name>.tmp-XXXXXX" beside it, flushed, renamed over it); false when that
// fails, and then the old file is untouched.
bool WriteStateFile(const StateLock& lock, const std::string& name, const StateRecords& records);

// One entry of the profile list (ROOT/var/lib/nomvera/profiles).
struct ProfileRegistration {
    enum class State {
        Ready,    // a complete profile folder, owned by the account
        Making,   // being made: root's folder, not yet handed to the account
        Removing, // being removed
        Orphaned, // a deleted account's profile whose uid (and so SID) another
                  // account held and gave up: kept on disk, never reached
                  // through the SID again
    };
    std::string sid;
    uid_t uid = 0;
    std::string folder;              // as the root's files give it, without the prefix
    std::optional<std::string> name; // nothing in entries written before names were kept
    State state = State::Ready;
    // The folder's device and inode once it was made (Making only).
    std::optional<std::pair<std::uint64_t, std::uint64_t>> identity;
};

inline constexpr char kProfileListName[] = "profiles";

// The list: one line per change, a later line of a SID in place of the
// earlier one, a line "SID<tab>removed" taking the SID's entry away; in the
// order the SIDs were first registered. Lines that do not parse, and an
// unfinished last line, are passed over.
std::vector<ProfileRegistration> ReadProfileList();
std::optional<ProfileRegistration> FindProfileRegistration(const std::string& sid);
// Replaces the list whole (one line per entry).
bool WriteProfileList(const StateLock& lock, const std::vector<ProfileRegistration>& list);
// One change of the list under the lock: a line appended, not the list
// rewritten; false when it could not be written. durable: flushed to the
// disk before this returns, for a registration that must survive a crash of
// the machine before the folder it announces is made or removed. Once most
// lines are superseded the list is written whole again.
bool RecordProfileRegistration(const StateLock& lock, const ProfileRegistration& registration,
                               bool durable);
bool RecordProfileRemoval(const StateLock& lock, const std::string& sid);

// After the account name with the uid was deleted: a registration of the
// same uid under another name belongs to an account deleted before the uid
// was given again, and is marked Orphaned, so that nothing that now finds
// the uid's SID (deleting the later account's profile, or the deleted name's
// look-up) reaches the earlier account's kept profile. False when the list
// could not be changed.
bool OrphanEarlierProfilesOfUid(uid_t uid, const std::string& name);

} // namespace nomvera::posix
