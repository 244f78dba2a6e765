#include "tests/common/temp_folder.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>

#include <random>
#include <vector>
#else
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#if defined(_WIN32)

namespace nomvera::test {

std::wstring ToWide(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                      wide.data(), static_cast<int>(wide.size()));
    wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return wide;
}

std::string ToNarrow(const std::wstring& text) {
    std::string narrow(text.size() * 4, '\0');
    const int n =
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                            static_cast<int>(narrow.size()), nullptr, nullptr);
    narrow.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return narrow;
}

namespace {

// Removes what the folder holds, then the folder. A reparse point (a
// junction or a symbolic link) is removed as the link itself and never
// entered, so removal never leaves the folder the test made.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = folder + L"\\" + name;
            const DWORD attributes = found.dwFileAttributes;
            SetFileAttributesW(path.c_str(),
                               attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                DeleteFileW(path.c_str());
            } else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                RemoveDirectoryW(path.c_str());
            } else {
                RemoveTree(path);
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(folder.c_str());
}

} // namespace

TempFolder::TempFolder(const std::string& tag) {
    wchar_t base[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, base);
    if (n == 0 || n > MAX_PATH) {
        throw std::runtime_error("no temporary folder");
    }
    std::wstring folder(base, n);
    if (folder.back() != L'\\') {
        folder += L'\\';
    }
    std::mt19937 random(std::random_device{}());
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (int i = 0; i < 6; ++i) {
            suffix += kLetters[random() % (sizeof kLetters - 1)];
        }
        const std::wstring candidate = folder + ToWide(tag + "." + suffix);
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = ToNarrow(candidate);
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    throw std::runtime_error("cannot make a temporary folder in " + ToNarrow(folder));
}

TempFolder::~TempFolder() {
    if (path_.size() < 8) {
        return;
    }
    RemoveTree(ToWide(path_));
}

void WriteOwnerOnlyFile(const std::string& path, const std::string& content) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        throw std::runtime_error("no process token");
    }
    DWORD needed = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
    std::vector<BYTE> user(needed);
    const bool read =
        needed > 0 && GetTokenInformation(token, TokenUser, user.data(), needed, &needed);
    CloseHandle(token);
    if (!read) {
        throw std::runtime_error("no token user");
    }
    PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    std::vector<BYTE> list(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    auto* acl = reinterpret_cast<ACL*>(list.data());
    SECURITY_DESCRIPTOR descriptor{};
    if (!InitializeAcl(acl, static_cast<DWORD>(list.size()), ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
        throw std::runtime_error("cannot build an owner-only access list");
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    const std::wstring name = ToWide(path);
    DeleteFileW(name.c_str());
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot make " + path);
    }
    DWORD written = 0;
    const bool complete =
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
        written == content.size();
    CloseHandle(file);
    if (!complete) {
        throw std::runtime_error("cannot write " + path);
    }
}

} // namespace nomvera::test

#else

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

void WriteOwnerOnlyFile(const std::string& path, const std::string& content) {
    WriteTextFile(path, content);
    chmod(path.c_str(), 0600);
}

} // namespace nomvera::test

#endif

namespace nomvera::test {

std::string TempFolder::operator/(const std::string& relative) const {
    return path_ + kTestPathDelimiter + SystemPath(relative);
}

std::string SystemPath(std::string path) {
    if (kTestPathDelimiter != '/') {
        for (char& c : path) {
            c = c == '/' ? kTestPathDelimiter : c;
        }
    }
    return path;
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
