// Private files on Windows: a new file gets an access list for the token's
// user alone; an existing one is used only while no other account owns it,
// has a way in through its access list, or shares it under another name.
#include "platform/private_files.h"

#include "platform/wide_text.h"
#include "support/owner.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

namespace nomvera::platform {
namespace {

constexpr DWORD kOtherwiseUnknown = 0;

HANDLE FailHandle(DWORD code) {
    SetLastError(code);
    return INVALID_HANDLE_VALUE;
}

HANDLE Refuse(TPrivateFileRefusal why, DWORD detail, TPrivateFileRefusal* refusal,
              DWORD* statusDetail) {
    if (refusal != nullptr) {
        *refusal = why;
    }
    if (statusDetail != nullptr) {
        *statusDetail = detail;
    }
    return FailHandle(ERROR_ACCESS_DENIED);
}

using TOwnedDescriptor = support::TLocalMemory<PSECURITY_DESCRIPTOR>;

// One token fact (TokenUser, TokenOwner) as its bytes.
std::vector<BYTE> TokenFact(HANDLE token, TOKEN_INFORMATION_CLASS which) {
    DWORD size = 0;
    GetTokenInformation(token, which, nullptr, 0, &size);
    std::vector<BYTE> bytes(size);
    if (size == 0 || !GetTokenInformation(token, which, bytes.data(), size, &size)) {
        bytes.clear();
    }
    return bytes;
}

// The token's user and its default owner for new objects (the
// Administrators group of an elevated token), as copies of their SIDs.
struct TTokenSids {
    std::vector<BYTE> user;
    std::vector<BYTE> owner;

    TTokenSids() {
        support::TOwnedHandle token;
        if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Receive()) &&
            !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) {
            return;
        }
        const std::vector<BYTE> userFact = TokenFact(token.Get(), TokenUser);
        const std::vector<BYTE> ownerFact = TokenFact(token.Get(), TokenOwner);
        token.Reset();
        auto copy = [](PSID sid) {
            const auto* bytes = static_cast<const BYTE*>(sid);
            return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
        };
        if (!userFact.empty()) {
            user = copy(reinterpret_cast<const TOKEN_USER*>(userFact.data())->User.Sid);
        }
        if (!ownerFact.empty()) {
            owner = copy(reinterpret_cast<const TOKEN_OWNER*>(ownerFact.data())->Owner);
        }
    }
    bool Known() const { return !user.empty(); }
    PSID User() const { return const_cast<BYTE*>(user.data()); }
    bool IsOwnSid(PSID sid) const {
        return EqualSid(sid, User()) ||
               (!owner.empty() && EqualSid(sid, const_cast<BYTE*>(owner.data())));
    }
    // The accounts that may have access to a private file besides the user.
    bool IsTrusted(PSID sid) const {
        return IsOwnSid(sid) || IsWellKnownSid(sid, WinLocalSystemSid) ||
               IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
               IsWellKnownSid(sid, WinCreatorOwnerRightsSid);
    }
};

WideString SidText(PSID sid) {
    support::TLocalMemory<LPWSTR> text;
    if (!ConvertSidToStringSidW(sid, text.Receive())) {
        return {};
    }
    return WideString(text.Get());
}

// A protected access list that admits the token's user alone; null when it
// cannot be made.
TOwnedDescriptor UserOnlyDescriptor(const TTokenSids& sids, bool inherit) {
    const WideString sddl =
        WideString(L"D:P(A;") + (inherit ? L"OICI" : L"") + L";FA;;;" + SidText(sids.User()) + L")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!sids.Known() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                             sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return {};
    }
    return TOwnedDescriptor(descriptor);
}

// The reason an open file may not be used, None when it may.
TPrivateFileRefusal RefusalOf(HANDLE file, const TTokenSids& sids, DWORD& detail) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info)) {
        return TPrivateFileRefusal::NotRegularFile;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return TPrivateFileRefusal::Link;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return TPrivateFileRefusal::NotRegularFile;
    }
    if (info.nNumberOfLinks > 1) {
        return TPrivateFileRefusal::OtherNames;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        detail = kOtherwiseUnknown;
        return TPrivateFileRefusal::OtherOwner;
    }
    const TOwnedDescriptor held(descriptor);
    if (owner == nullptr || !sids.IsOwnSid(owner)) {
        if (owner != nullptr && IsValidSid(owner) && *GetSidSubAuthorityCount(owner) > 0) {
            detail = *GetSidSubAuthority(owner, *GetSidSubAuthorityCount(owner) - 1u);
        }
        return TPrivateFileRefusal::OtherOwner;
    }
    if (dacl == nullptr) {
        detail = FILE_ALL_ACCESS; // a null list admits everybody
        return TPrivateFileRefusal::OpenToOthers;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) {
            continue;
        }
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
            continue; // denials and entries for the folder's children admit nobody here
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        auto* sid = const_cast<DWORD*>(&allowed->SidStart);
        if (allowed->Mask != 0 && !sids.IsTrusted(sid)) {
            detail = allowed->Mask;
            return TPrivateFileRefusal::OpenToOthers;
        }
    }
    return TPrivateFileRefusal::None;
}

} // namespace

TPrivateFile CreatePrivateFile(LPCWSTR fileName, DWORD shareMode, DWORD creationDisposition,
                               TPrivateFileRefusal* refusal, DWORD* statusDetail) {
    if (refusal != nullptr) {
        *refusal = TPrivateFileRefusal::None;
    }
    if (statusDetail != nullptr) {
        *statusDetail = 0;
    }
    if (fileName == nullptr || fileName[0] == L'\0') {
        return FailHandle(ERROR_INVALID_NAME);
    }
    if (creationDisposition != OPEN_EXISTING && creationDisposition != CREATE_NEW) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    const TTokenSids sids;
    TOwnedDescriptor descriptor;
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, FALSE};
    if (creationDisposition == CREATE_NEW) {
        descriptor = UserOnlyDescriptor(sids, false);
        if (!descriptor) {
            return FailHandle(ERROR_ACCESS_DENIED);
        }
        security.lpSecurityDescriptor = descriptor.Get();
    }
    HANDLE file = CreateFileW(fileName, GENERIC_READ | GENERIC_WRITE | READ_CONTROL, shareMode,
                              &security, creationDisposition,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        // A folder cannot be opened as a file: say so rather than "denied".
        const DWORD attributes = GetFileAttributesW(fileName);
        if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return Refuse((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0
                              ? TPrivateFileRefusal::Link
                              : TPrivateFileRefusal::NotRegularFile,
                          0, refusal, statusDetail);
        }
        return FailHandle(code);
    }
    DWORD detail = 0;
    if (const auto why = RefusalOf(file, sids, detail); why != TPrivateFileRefusal::None) {
        CloseHandle(file);
        return Refuse(why, detail, refusal, statusDetail);
    }
    SetLastError(ERROR_SUCCESS);
    return file;
}

void ClosePrivateFile(TPrivateFile file) {
    if (file != kNoPrivateFile) {
        CloseHandle(file);
    }
}

DWORD GetPrivateTempPath(DWORD size, LPWSTR buffer) {
    WCHAR temp[MAX_PATH + 1] = {};
    const DWORD tempLength = GetTempPathW(MAX_PATH + 1, temp);
    const TTokenSids sids;
    WideString folder = WideString(temp, tempLength) + L"nomvera-" +
                        (sids.Known() ? SidText(sids.User()) : WideString(L"user"));
    if (const auto descriptor = UserOnlyDescriptor(sids, true)) {
        SECURITY_ATTRIBUTES security{sizeof security, descriptor.Get(), FALSE};
        CreateDirectoryW(folder.c_str(), &security); // an existing entry stays as it is
    }
    folder += L'\\';
    if (buffer == nullptr || folder.size() + 1 > size) {
        return static_cast<DWORD>(folder.size() + 1);
    }
    folder.copy(buffer, folder.size());
    buffer[folder.size()] = L'\0';
    return static_cast<DWORD>(folder.size());
}

BOOL CreatePrivateFolderTree(LPCWSTR path) {
    if (path == nullptr || path[0] == L'\0') {
        SetLastError(path == nullptr ? ERROR_INVALID_NAME : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    const WideString full(path);
    DWORD firstFailure = ERROR_SUCCESS;
    for (std::size_t end = full.find_first_of(L"\\/", 1); end != WideString::npos;
         end = full.find_first_of(L"\\/", end + 1)) {
        const WideString part = full.substr(0, end);
        if (GetFileAttributesW(part.c_str()) == INVALID_FILE_ATTRIBUTES &&
            !CreateDirectoryW(part.c_str(), nullptr) && firstFailure == ERROR_SUCCESS &&
            GetLastError() != ERROR_ALREADY_EXISTS) {
            firstFailure = GetLastError();
        }
    }
    if (GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES) {
        CreateDirectoryW(full.c_str(), nullptr);
    }
    const DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return TRUE;
    }
    SetLastError(firstFailure != ERROR_SUCCESS ? firstFailure : ERROR_PATH_NOT_FOUND);
    return FALSE;
}

} // namespace nomvera::platform
