#include "platform/registry.h"

#include "platform/file_io.h"
#include "platform/files.h"
#include "platform/posix/kernel/handle_table.h"
#include "platform/posix/kernel/registry_map.h"
#include "platform/posix/kernel/utf.h"
#include "platform/posix/services/sysroot.h"
#include "platform/private_files.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace nomvera::posix {
namespace {

struct MappedValue {
    HKEY hive;
    std::string key;   // lower case, no leading or trailing "\"
    std::string value; // lower case
    RegistryReader reader;
    RegistryWriter writer;
};

struct RegistryTable {
    std::mutex lock;
    std::vector<MappedValue> values;
};

RegistryTable& Table() {
    static auto* table = new RegistryTable; // outlives every static destructor
    return *table;
}

std::string Lower(std::string text) {
    for (auto& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// "\A\\B\" -> "a\b": the form keys are compared in.
std::string NormalKey(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '\\' && (out.empty() || out.back() == '\\')) {
            continue;
        }
        out.push_back(c);
    }
    if (!out.empty() && out.back() == '\\') {
        out.pop_back();
    }
    return Lower(out);
}

bool IsUnder(const std::string& key, const std::string& ancestor) {
    return ancestor.empty() || key == ancestor ||
           (key.size() > ancestor.size() && key.compare(0, ancestor.size(), ancestor) == 0 &&
            key[ancestor.size()] == '\\');
}

// The Linux meaning of the per-user application-data folder, as the XDG
// base-directory rules have it: $XDG_STATE_HOME when it is set to an absolute
// path, else the effective user's home folder from the root's user database
// + "/.local/state". The first of these that is a folder, or can be made one
// (mode 0700, parents as needed), is reported. A user without a home folder
// that exists has none.
std::optional<std::string> StateFolder() {
    auto usable = [](const std::string& folder) {
        const std::u16string wide = Utf8ToUtf16Lossy(folder);
        return nomvera::platform::CreatePrivateFolderTree(wide.c_str()) != FALSE;
    };
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/' && usable(state)) {
        return std::string(state);
    }
    auto user = FindUserByUid(geteuid());
    if (!user || user->home.empty() || user->home.front() != '/') {
        return std::nullopt;
    }
    std::string home = user->home;
    while (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    home = InSystemRoot(home == "/" ? "" : home);
    struct stat st {};
    if (stat(home.empty() ? "/" : home.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    const std::string folder = home + "/.local/state";
    if (!usable(folder)) {
        return std::nullopt;
    }
    return folder;
}

LONG ReadAppData(RegistryData& data) {
    auto folder = StateFolder();
    if (!folder) {
        return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    }
    data.type = 1; // REG_SZ
    data.text = Utf8ToUtf16Lossy(*folder);
    return static_cast<LONG>(ERROR_SUCCESS);
}

const RegistryValueRegistration
    kAppData(HKEY_CURRENT_USER,
             "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "AppData",
             ReadAppData);

} // namespace

void RegisterRegistryValue(HKEY hive, const std::string& keyPath, const std::string& valueName,
                           RegistryReader reader, RegistryWriter writer) {
    auto& table = Table();
    std::lock_guard guard(table.lock);
    table.values.push_back(
        {hive, NormalKey(keyPath), Lower(valueName), std::move(reader), std::move(writer)});
}

} // namespace nomvera::posix

namespace {

using nomvera::posix::MappedValue;
using nomvera::posix::RegistryData;

class RegistryKey final : public nomvera::platform::KernelObject {
public:
    RegistryKey(HKEY hive, std::string path, REGSAM access)
        : hive_(hive), path_(std::move(path)), access_(access) {}
    HKEY Hive() const { return hive_; }
    const std::string& Path() const { return path_; }
    REGSAM Access() const { return access_; }

private:
    HKEY hive_;
    std::string path_;
    REGSAM access_;
};

bool IsPredefined(HKEY key) {
    return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
           key == HKEY_USERS;
}

// hive and key path of an open or predefined key; false for a key that is not
// open.
bool Resolve(HKEY key, HKEY& hive, std::string& path, REGSAM& access) {
    if (IsPredefined(key)) {
        hive = key;
        path.clear();
        access = KEY_ALL_ACCESS;
        return true;
    }
    auto* open = nomvera::platform::HandleObject<RegistryKey>(static_cast<HANDLE>(key));
    if (open == nullptr) {
        return false;
    }
    hive = open->Hive();
    path = open->Path();
    access = open->Access();
    return true;
}

bool KeyExists(HKEY hive, const std::string& path) {
    auto& table = nomvera::posix::Table();
    std::lock_guard guard(table.lock);
    for (const auto& value : table.values) {
        if (value.hive == hive && nomvera::posix::IsUnder(value.key, path)) {
            return true;
        }
    }
    return false;
}

// A copy of the mapping, so its reader or writer runs outside the table lock.
std::optional<MappedValue> FindValue(HKEY hive, const std::string& key, const std::string& name) {
    auto& table = nomvera::posix::Table();
    std::lock_guard guard(table.lock);
    std::string lowerName = nomvera::posix::Lower(name);
    for (const auto& value : table.values) {
        if (value.hive == hive && value.key == key && value.value == lowerName) {
            return value;
        }
    }
    return std::nullopt;
}

std::string Join(const std::string& parent, LPCSTR subKey) {
    std::string sub = nomvera::posix::NormalKey(subKey == nullptr ? "" : subKey);
    if (parent.empty()) {
        return sub;
    }
    return sub.empty() ? parent : parent + "\\" + sub;
}

LONG OpenKey(HKEY key, LPCSTR subKey, REGSAM desired, PHKEY result, bool create,
             LPDWORD disposition) {
    if (result == nullptr) {
        return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    }
    *result = nullptr;
    HKEY hive = nullptr;
    std::string path;
    REGSAM parentAccess = 0;
    if (!Resolve(key, hive, path, parentAccess)) {
        return static_cast<LONG>(ERROR_INVALID_HANDLE);
    }
    path = Join(path, subKey);
    if (!KeyExists(hive, path)) {
        return static_cast<LONG>(create ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
    }
    REGSAM access = desired & ~(KEY_WOW64_64KEY | KEY_WOW64_32KEY);
    HANDLE handle =
        nomvera::platform::RegisterHandle(std::make_unique<RegistryKey>(hive, path, access));
    *result = static_cast<HKEY>(handle);
    if (disposition != nullptr) {
        *disposition = REG_OPENED_EXISTING_KEY;
    }
    return static_cast<LONG>(ERROR_SUCCESS);
}

// Copies bytes into data under the Windows size rules.
LONG HandOver(const std::vector<BYTE>& bytes, LPBYTE data, LPDWORD dataLength) {
    if (data != nullptr && dataLength == nullptr) {
        return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    }
    if (dataLength == nullptr) {
        return static_cast<LONG>(ERROR_SUCCESS);
    }
    DWORD room = *dataLength;
    *dataLength = static_cast<DWORD>(bytes.size());
    if (data == nullptr) {
        return static_cast<LONG>(ERROR_SUCCESS);
    }
    if (bytes.size() > room) {
        return static_cast<LONG>(ERROR_MORE_DATA);
    }
    std::memcpy(data, bytes.data(), bytes.size());
    return static_cast<LONG>(ERROR_SUCCESS);
}

template <class Char> std::vector<BYTE> TextBytes(const std::basic_string<Char>& text) {
    std::vector<BYTE> bytes((text.size() + 1) * sizeof(Char), 0);
    std::memcpy(bytes.data(), text.data(), text.size() * sizeof(Char));
    return bytes;
}

LONG QueryValue(HKEY key, const std::string& valueName, bool wide, LPDWORD type, LPBYTE data,
                LPDWORD dataLength) {
    HKEY hive = nullptr;
    std::string path;
    REGSAM access = 0;
    if (!Resolve(key, hive, path, access)) {
        return static_cast<LONG>(ERROR_INVALID_HANDLE);
    }
    if ((access & KEY_QUERY_VALUE) == 0) {
        return static_cast<LONG>(ERROR_ACCESS_DENIED);
    }
    auto mapped = FindValue(hive, path, valueName);
    if (!mapped) {
        return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    }
    RegistryData value;
    LONG status = mapped->reader(value);
    if (status != static_cast<LONG>(ERROR_SUCCESS)) {
        return status;
    }
    std::vector<BYTE> bytes;
    if (value.type == REG_DWORD) {
        bytes.resize(sizeof(DWORD));
        std::memcpy(bytes.data(), &value.number, sizeof(DWORD));
    } else {
        bytes =
            wide ? TextBytes(value.text) : TextBytes(nomvera::posix::Utf16ToUtf8Lossy(value.text));
    }
    if (type != nullptr) {
        *type = value.type;
    }
    return HandOver(bytes, data, dataLength);
}

std::optional<std::string> NarrowName(LPCWSTR text) {
    if (text == nullptr) {
        return std::string();
    }
    return nomvera::posix::Utf16ToUtf8(text);
}

} // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM desired, PHKEY result) {
    return OpenKey(key, subKey, desired, result, false, nullptr);
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
    auto narrow = NarrowName(subKey);
    if (!narrow) {
        if (result != nullptr) {
            *result = nullptr;
        }
        return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    }
    return RegOpenKeyExA(key, subKey == nullptr ? nullptr : narrow->c_str(), options, desired,
                         result);
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD /*reserved*/, LPSTR /*keyClass*/,
                     DWORD /*options*/, REGSAM desired, LPSECURITY_ATTRIBUTES /*security*/,
                     PHKEY result, LPDWORD disposition) {
    if (subKey == nullptr) {
        return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    }
    return OpenKey(key, subKey, desired, result, true, disposition);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD /*reserved*/, LPDWORD type, LPBYTE data,
                      LPDWORD dataLength) {
    auto name = NarrowName(valueName);
    if (!name) {
        return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    }
    return QueryValue(key, *name, true, type, data, dataLength);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD /*reserved*/, LPDWORD type, LPBYTE data,
                      LPDWORD dataLength) {
    return QueryValue(key, valueName == nullptr ? "" : valueName, false, type, data, dataLength);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                    DWORD dataLength) {
    HKEY hive = nullptr;
    std::string path;
    REGSAM access = 0;
    if (!Resolve(key, hive, path, access)) {
        return static_cast<LONG>(ERROR_INVALID_HANDLE);
    }
    if ((access & KEY_SET_VALUE) == 0) {
        return static_cast<LONG>(ERROR_ACCESS_DENIED);
    }
    if (data == nullptr && dataLength > 0) {
        return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    }
    RegistryData value;
    value.type = type;
    if (type == REG_DWORD) {
        if (dataLength != sizeof(DWORD)) {
            return static_cast<LONG>(ERROR_INVALID_PARAMETER);
        }
        std::memcpy(&value.number, data, sizeof(DWORD));
    } else if (type == REG_SZ) {
        std::string text(reinterpret_cast<const char*>(data), dataLength);
        if (auto nul = text.find('\0'); nul != std::string::npos) {
            text.resize(nul);
        }
        value.text = nomvera::posix::Utf8ToUtf16Lossy(text);
    } else {
        return static_cast<LONG>(ERROR_INVALID_PARAMETER);
    }
    auto mapped = FindValue(hive, path, valueName == nullptr ? "" : valueName);
    if (!mapped || !mapped->writer) {
        return static_cast<LONG>(ERROR_ACCESS_DENIED);
    }
    return mapped->writer(value);
}

LONG RegCloseKey(HKEY key) {
    if (IsPredefined(key)) {
        return static_cast<LONG>(ERROR_SUCCESS);
    }
    if (nomvera::platform::HandleObject<RegistryKey>(static_cast<HANDLE>(key)) == nullptr) {
        return static_cast<LONG>(ERROR_INVALID_HANDLE);
    }
    CloseHandle(static_cast<HANDLE>(key));
    return static_cast<LONG>(ERROR_SUCCESS);
}
