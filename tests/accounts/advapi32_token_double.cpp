// Test double: a security library whose token answers the test sets, for what
// no real token here gives: a group list near or above the administrator
// check's size limit, and an elevation query that fails. The groups, once the
// buffer is large enough, are the administrators' alias alone.
#include "platform/errors.h"
#include "platform/posix/services/sids.h"

#include <cstddef>
#include <cstring>

namespace {

DWORD reportedGroupsSize = 0;
BOOL elevationAnswers = TRUE;
DWORD elevationType = 1;
DWORD groupsCalls = 0;
DWORD firstGroupsLength = 0;
DWORD lastGroupsLength = 0;

} // namespace

extern "C" {

void TestDoubleSetToken(DWORD groupsSize, BOOL elevationQueryAnswers, DWORD type) {
    reportedGroupsSize = groupsSize;
    elevationAnswers = elevationQueryAnswers;
    elevationType = type;
    groupsCalls = 0;
    firstGroupsLength = 0;
    lastGroupsLength = 0;
}

DWORD TestDoubleGroupsCalls() {
    return groupsCalls;
}

DWORD TestDoubleFirstGroupsLength() {
    return firstGroupsLength;
}

DWORD TestDoubleLastGroupsLength() {
    return lastGroupsLength;
}

BOOL ConvertStringSidToSidA(LPCSTR stringSid, PSID* sid) {
    return nomvera::posix::StringSidToSid(stringSid, sid);
}

BOOL GetTokenInformation(HANDLE /*token*/, TOKEN_INFORMATION_CLASS infoClass, LPVOID info,
                         DWORD infoLength, PDWORD returnLength) {
    if (infoClass == TokenElevationType) {
        if (!elevationAnswers || info == nullptr || infoLength < sizeof(DWORD)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        std::memcpy(info, &elevationType, sizeof elevationType);
        *returnLength = sizeof(DWORD);
        return TRUE;
    }
    if (infoClass != TokenGroups) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ++groupsCalls;
    if (groupsCalls == 1) {
        firstGroupsLength = infoLength;
    }
    lastGroupsLength = infoLength;
    nomvera::posix::SidValue admins = nomvera::posix::BuiltinAliasSid(DOMAIN_ALIAS_RID_ADMINS);
    std::size_t header = offsetof(TOKEN_GROUPS, Groups) + sizeof(SID_AND_ATTRIBUTES);
    if (infoLength < reportedGroupsSize || infoLength < header + admins.Size()) {
        *returnLength = reportedGroupsSize;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto* groups = static_cast<TOKEN_GROUPS*>(info);
    BYTE* raw = static_cast<BYTE*>(info) + header;
    admins.WriteTo(raw);
    groups->GroupCount = 1;
    groups->Groups[0].Sid = raw;
    groups->Groups[0].Attributes = SE_GROUP_USE_FOR_DENY_ONLY;
    *returnLength = static_cast<DWORD>(header + admins.Size());
    return TRUE;
}

} // extern "C"
