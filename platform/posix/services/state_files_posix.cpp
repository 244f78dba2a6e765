#include "platform/posix/kernel/descriptor.h"
#include "platform/posix/services/state_files.h"

#include "platform/posix/services/sysroot.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace nomvera::posix {
namespace {

constexpr char kLockName[] = "lock";
constexpr char kTemporaryMark[] = ".tmp-";
// A state file larger than this is not one the tool wrote.
constexpr off_t kMaxStateFileSize = 16 * 1024 * 1024;

// Opens (making it when missing and asked to) the level below folder, never
// through a link.
int OpenLevel(int folder, const char* name, bool make) {
    int fd = openat(folder, name, O_DIRECTORY | O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    // Another copy may make it at the same moment.
    if (fd < 0 && make && errno == ENOENT &&
        (mkdirat(folder, name, 0755) == 0 || errno == EEXIST)) {
        fd = openat(folder, name, O_DIRECTORY | O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    }
    return fd;
}

// The state folder, open, when it is a real folder of root's (or of the
// effective user's) that no one else may write to; -1 otherwise.
int OpenStateFolder(bool make) {
    std::string root = SystemRootPrefix();
    int current = open(root.empty() ? "/" : root.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
    for (const char* level : {"var", "lib", "nomvera"}) {
        if (current < 0) {
            return -1;
        }
        int next = OpenLevel(current, level, make);
        close(current);
        current = next;
    }
    struct stat st {};
    if (current >= 0 && (fstat(current, &st) != 0 || (st.st_uid != 0 && st.st_uid != geteuid()) ||
                         (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)) {
        close(current);
        return -1;
    }
    return current;
}

bool IsTemporaryName(const std::string& name) {
    return name.find(kTemporaryMark) != std::string::npos;
}

// Removes the temporaries a killed writer left; only called with the lock
// just taken, when no other writer can have one open.
void RemoveLeftTemporaries(int folder) {
    int listing = openat(folder, ".", O_DIRECTORY | O_RDONLY | O_CLOEXEC);
    DIR* dir = listing < 0 ? nullptr : fdopendir(listing);
    if (dir == nullptr) {
        if (listing >= 0) {
            close(listing);
        }
        return;
    }
    while (dirent* entry = readdir(dir)) {
        if (IsTemporaryName(entry->d_name)) {
            unlinkat(folder, entry->d_name, 0);
        }
    }
    closedir(dir);
}

// A new file "<name>.tmp-XXXXXX" in the folder, made for this writer only.
int MakeTemporary(int folder, const std::string& name, std::string& temporary) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
            return -1;
        }
        temporary = name + kTemporaryMark;
        for (unsigned char byte : random) {
            temporary += kLetters[byte % (sizeof kLetters - 1)];
        }
        int fd = openat(folder, temporary.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        std::size_t tab = line.find('\t', start);
        fields.push_back(
            line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

std::optional<std::uint64_t> ParseDecimal(const std::string& text) {
    if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != text.npos) {
        return std::nullopt;
    }
    errno = 0;
    unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0 ? std::optional<std::uint64_t>(value) : std::nullopt;
}

constexpr const char* StateWord(ProfileRegistration::State state) {
    switch (state) {
    case ProfileRegistration::State::Making:
        return "making";
    case ProfileRegistration::State::Removing:
        return "removing";
    case ProfileRegistration::State::Orphaned:
        return "orphaned";
    case ProfileRegistration::State::Ready:
        break;
    }
    return "ready";
}

} // namespace

StateLock::StateLock() {
    folder_ = OpenStateFolder(true);
    if (folder_ < 0) {
        return;
    }
    int fd = openat(folder_, kLockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    struct stat st {};
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid())) {
        close(fd);
        fd = -1;
    }
    while (fd >= 0 && flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(fd);
            fd = -1;
        }
    }
    lock_ = fd;
    if (lock_ >= 0) {
        RemoveLeftTemporaries(folder_);
    }
}

StateLock::~StateLock() {
    if (lock_ >= 0) {
        close(lock_); // frees the lock
    }
    if (folder_ >= 0) {
        close(folder_);
    }
}

StateRecords ReadStateFile(const std::string& name) {
    StateRecords records;
    int folder = OpenStateFolder(false);
    int fd = folder < 0 ? -1 : openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (folder >= 0) {
        close(folder);
    }
    struct stat st {};
    if (fd < 0) {
        return records;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxStateFileSize) {
        close(fd);
        return records;
    }
    std::string content;
    char buffer[65536];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || content.size() > static_cast<std::size_t>(kMaxStateFileSize)) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        end = end == std::string::npos ? content.size() : end;
        if (end > start) {
            records.push_back(SplitFields(content.substr(start, end - start)));
        }
        start = end + 1;
    }
    return records;
}

bool WriteStateFile(const StateLock& lock, const std::string& name, const StateRecords& records) {
    if (!lock.Held()) {
        return false;
    }
    std::string content;
    for (const auto& fields : records) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            content += (i == 0 ? "" : "\t") + fields[i];
        }
        content += '\n';
    }
    int folder = lock.Folder();
    std::string temporary;
    int fd = MakeTemporary(folder, name, temporary);
    if (fd < 0) {
        return false;
    }
    bool ok = WriteAll(fd, content) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || renameat(folder, temporary.c_str(), folder, name.c_str()) != 0) {
        unlinkat(folder, temporary.c_str(), 0);
        return false;
    }
    fsync(folder); // the rename itself survives a crash of the machine
    return true;
}

namespace {

constexpr char kRemovedWord[] = "removed";

std::optional<ProfileRegistration> ParseRegistration(const std::vector<std::string>& record) {
    auto uid = record.size() >= 3 ? ParseDecimal(record[1]) : std::nullopt;
    if (!uid || *uid > 0xFFFFFFFEull || record[0].empty() || record[2].empty()) {
        return std::nullopt;
    }
    ProfileRegistration entry;
    entry.sid = record[0];
    entry.uid = static_cast<uid_t>(*uid);
    entry.folder = record[2];
    if (record.size() >= 4 && !record[3].empty()) {
        entry.name = record[3];
    }
    if (record.size() >= 5) {
        if (record[4] == "making") {
            entry.state = ProfileRegistration::State::Making;
        } else if (record[4] == "removing") {
            entry.state = ProfileRegistration::State::Removing;
        } else if (record[4] == "orphaned") {
            entry.state = ProfileRegistration::State::Orphaned;
        }
    }
    if (record.size() >= 6) {
        auto colon = record[5].find(':');
        auto device = ParseDecimal(record[5].substr(0, colon));
        auto inode =
            colon == std::string::npos ? std::nullopt : ParseDecimal(record[5].substr(colon + 1));
        if (device && inode) {
            entry.identity = std::make_pair(*device, *inode);
        }
    }
    return entry;
}

std::string RegistrationLine(const ProfileRegistration& entry) {
    std::string line = entry.sid + "\t" + std::to_string(entry.uid) + "\t" + entry.folder + "\t" +
                       entry.name.value_or("") + "\t" + StateWord(entry.state);
    if (entry.identity) {
        line += "\t" + std::to_string(entry.identity->first) + ":" +
                std::to_string(entry.identity->second);
    }
    return line + "\n";
}

// The profile list as the lines of its file leave it: a later line of a SID
// takes the place of the earlier one, a removal line takes it away. Kept
// between calls: when the file still starts with the bytes already folded,
// only the lines after them are read.
class FoldedProfileList {
public:
    // Brings the fold up to the file's content (empty when it is missing or
    // refused), then calls use(entries in list order).
    template <class Use> auto With(Use use) {
        std::string bytes;
        ReadWhole(bytes);
        std::lock_guard guard(lock_);
        const std::string root = SystemRootPrefix();
        if (root != root_ || bytes.size() < folded_.size() ||
            bytes.compare(0, folded_.size(), folded_) != 0) {
            root_ = root;
            folded_.clear();
            entries_.clear();
            index_.clear();
            live_ = 0;
            lines_ = 0;
        }
        const std::size_t end = bytes.rfind('\n');
        if (end != std::string::npos && end + 1 > folded_.size()) {
            Fold(bytes, folded_.size(), end + 1);
            folded_.append(bytes, folded_.size(), end + 1 - folded_.size());
        }
        if (entries_.size() > 2 * live_ + 64) {
            Tidy();
        }
        return use(entries_, live_, lines_);
    }

private:
    using Slot = std::optional<ProfileRegistration>;

    static void ReadWhole(std::string& bytes) {
        int folder = OpenStateFolder(false);
        int fd =
            folder < 0 ? -1 : openat(folder, kProfileListName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (folder >= 0) {
            close(folder);
        }
        if (fd < 0) {
            return;
        }
        struct stat st {};
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxStateFileSize) {
            bytes.reserve(static_cast<std::size_t>(st.st_size));
            char buffer[65536];
            for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) != 0;) {
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n < 0 || bytes.size() > static_cast<std::size_t>(kMaxStateFileSize)) {
                    break;
                }
                bytes.append(buffer, static_cast<std::size_t>(n));
            }
        }
        close(fd);
    }

    void Fold(const std::string& bytes, std::size_t start, std::size_t end) {
        while (start < end) {
            std::size_t stop = bytes.find('\n', start);
            if (stop > start) {
                ++lines_;
                Apply(SplitFields(bytes.substr(start, stop - start)));
            }
            start = stop + 1;
        }
    }

    void Apply(const std::vector<std::string>& record) {
        if (record.size() == 2 && record[1] == kRemovedWord) {
            if (auto it = index_.find(record[0]); it != index_.end()) {
                entries_[it->second].reset();
                index_.erase(it);
                --live_;
            }
            return;
        }
        auto entry = ParseRegistration(record);
        if (!entry) {
            return;
        }
        if (auto it = index_.find(entry->sid); it != index_.end()) {
            entries_[it->second] = std::move(*entry);
            return;
        }
        index_.emplace(entry->sid, entries_.size());
        entries_.push_back(std::move(*entry));
        ++live_;
    }

    // Drops the places of removed entries.
    void Tidy() {
        std::erase_if(entries_, [](const Slot& slot) { return !slot.has_value(); });
        index_.clear();
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            index_.emplace(entries_[i]->sid, i);
        }
    }

    std::mutex lock_;
    std::string root_;
    std::string folded_; // the file's bytes up to the last complete line folded
    std::vector<Slot> entries_;
    std::unordered_map<std::string, std::size_t> index_;
    std::size_t live_ = 0;
    std::size_t lines_ = 0; // lines folded, superseded ones included
};

FoldedProfileList& ProfileListFold() {
    static FoldedProfileList fold;
    return fold;
}

// Cuts off a last line that a killed writer left unfinished: it is no
// registration, and ending it would make a cut-off one look whole.
bool CutUnfinishedLine(int fd, off_t size) {
    off_t end = size;
    char buffer[4096];
    while (end > 0) {
        const off_t start =
            end > static_cast<off_t>(sizeof buffer) ? end - static_cast<off_t>(sizeof buffer) : 0;
        const ssize_t n = pread(fd, buffer, static_cast<std::size_t>(end - start), start);
        if (n != end - start) {
            return false;
        }
        for (ssize_t i = n; i > 0; --i) {
            if (buffer[i - 1] == '\n') {
                const off_t kept = start + i;
                return kept == size || ftruncate(fd, kept) == 0;
            }
        }
        end = start;
    }
    return ftruncate(fd, 0) == 0;
}

// Adds one line to the profile list. durable: on the disk before this
// returns (a step that must not outlive its registration follows).
bool AppendProfileLine(const StateLock& lock, const std::string& line, bool durable) {
    if (!lock.Held()) {
        return false;
    }
    const int folder = lock.Folder();
    int fd = openat(folder, kProfileListName, O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    const bool made = fd < 0 && errno == ENOENT;
    if (made) {
        fd = openat(folder, kProfileListName,
                    O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    }
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
              st.st_size <= kMaxStateFileSize && CutUnfinishedLine(fd, st.st_size) &&
              WriteAll(fd, line) && (!durable || fdatasync(fd) == 0);
    ok = close(fd) == 0 && ok;
    if (ok && made && durable) {
        fsync(folder); // the new file's name survives a crash of the machine
    }
    return ok;
}

// Writes the list whole once most of its lines are superseded, so that it
// does not grow without end.
void TidyProfileList(const StateLock& lock) {
    auto list =
        ProfileListFold().With([](const auto& entries, std::size_t live, std::size_t lines) {
            std::optional<std::vector<ProfileRegistration>> whole;
            if (lines > 2 * live + 64) {
                whole.emplace();
                for (const auto& slot : entries) {
                    if (slot) {
                        whole->push_back(*slot);
                    }
                }
            }
            return whole;
        });
    if (list) {
        WriteProfileList(lock, *list);
    }
}

std::vector<ProfileRegistration> EarlierProfilesOfUid(uid_t uid, const std::string& name) {
    return ProfileListFold().With([&](const auto& entries, std::size_t, std::size_t) {
        std::vector<ProfileRegistration> found;
        for (const auto& slot : entries) {
            if (slot && slot->uid == uid && slot->name && *slot->name != name &&
                slot->state != ProfileRegistration::State::Orphaned) {
                found.push_back(*slot);
            }
        }
        return found;
    });
}

} // namespace

std::vector<ProfileRegistration> ReadProfileList() {
    return ProfileListFold().With([](const auto& entries, std::size_t, std::size_t) {
        std::vector<ProfileRegistration> list;
        for (const auto& slot : entries) {
            if (slot) {
                list.push_back(*slot);
            }
        }
        return list;
    });
}

std::optional<ProfileRegistration> FindProfileRegistration(const std::string& sid) {
    return ProfileListFold().With([&](const auto& entries, std::size_t, std::size_t) {
        for (const auto& slot : entries) {
            if (slot && slot->sid == sid) {
                return std::optional<ProfileRegistration>(*slot);
            }
        }
        return std::optional<ProfileRegistration>();
    });
}

bool WriteProfileList(const StateLock& lock, const std::vector<ProfileRegistration>& list) {
    StateRecords records;
    for (const auto& entry : list) {
        std::vector<std::string> fields{entry.sid, std::to_string(entry.uid), entry.folder,
                                        entry.name.value_or(""), StateWord(entry.state)};
        if (entry.identity) {
            fields.push_back(std::to_string(entry.identity->first) + ":" +
                             std::to_string(entry.identity->second));
        }
        records.push_back(std::move(fields));
    }
    return WriteStateFile(lock, kProfileListName, records);
}

bool RecordProfileRegistration(const StateLock& lock, const ProfileRegistration& registration,
                               bool durable) {
    if (!AppendProfileLine(lock, RegistrationLine(registration), durable)) {
        return false;
    }
    TidyProfileList(lock);
    return true;
}

bool RecordProfileRemoval(const StateLock& lock, const std::string& sid) {
    if (!FindProfileRegistration(sid)) {
        return lock.Held();
    }
    if (!AppendProfileLine(lock, sid + "\t" + kRemovedWord + "\n", false)) {
        return false;
    }
    TidyProfileList(lock);
    return true;
}

bool OrphanEarlierProfilesOfUid(uid_t uid, const std::string& name) {
    // Nearly always there is none: the list is then not locked at all.
    if (EarlierProfilesOfUid(uid, name).empty()) {
        return true;
    }
    StateLock lock;
    if (!lock.Held()) {
        return false;
    }
    bool recorded = true;
    for (auto entry : EarlierProfilesOfUid(uid, name)) {
        entry.state = ProfileRegistration::State::Orphaned;
        recorded = RecordProfileRegistration(lock, entry, true) && recorded;
    }
    return recorded;
}

} // namespace nomvera::posix
