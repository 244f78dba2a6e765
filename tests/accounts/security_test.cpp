// SIDs, names, tokens and the network logon over a sandbox root. On Windows
// the SIDs and the process's own token, which need no account of the test's.
#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/security.h"
#include "platform/wide_text.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include "tests/accounts/account_test_support.h"
#endif

namespace nomvera::test {
namespace {

#if defined(_WIN32)
using Security = ::testing::Test;
#else
using Security = SandboxAccounts;

constexpr char kDomain[] = "S-1-5-21-1732584193-4023233417-1732584193";

struct NameOfSid {
    BOOL ok;
    WideString name;
    WideString domain;
    SID_NAME_USE use;
};

NameOfSid LookUp(const std::string& sidText) {
    PSID sid = nullptr;
    EXPECT_TRUE(ConvertStringSidToSidA(sidText.c_str(), &sid)) << sidText;
    WCHAR name[64] = {};
    WCHAR domain[64] = {};
    DWORD nameSize = 64;
    DWORD domainSize = 64;
    SID_NAME_USE use = SidTypeUnknown;
    NameOfSid result{LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use),
                     name, domain, use};
    LocalFree(sid);
    return result;
}

TEST_F(Security, AccountsMapToAlgorithmicSids) {
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    ASSERT_EQ(AddLocalGroup(WIDE("grp001")), NERR_Success);
    EXPECT_EQ(SidTextOf(WIDE("test001")), std::string(kDomain) + "-3000"); // uid 1000
    EXPECT_EQ(SidTextOf(WIDE("root")), std::string(kDomain) + "-500");
    EXPECT_EQ(SidTextOf(WIDE("grp001")), std::string(kDomain) + "-3001"); // gid 1000
    EXPECT_EQ(SidTextOf(WIDE("SANDBOX\\test001")), std::string(kDomain) + "-3000");
    EXPECT_EQ(SidTextOf(WIDE("ELSEWHERE\\test001")), "");

    NameOfSid user = LookUp(std::string(kDomain) + "-3000");
    EXPECT_TRUE(user.ok);
    EXPECT_EQ(user.name, WIDE("test001"));
    EXPECT_EQ(user.domain, WIDE("SANDBOX"));
    EXPECT_EQ(user.use, SidTypeUser);
    NameOfSid group = LookUp(std::string(kDomain) + "-3001");
    EXPECT_EQ(group.name, WIDE("grp001"));
    EXPECT_EQ(group.use, SidTypeAlias);
    EXPECT_EQ(LookUp(std::string(kDomain) + "-500").name, WIDE("root"));
}

TEST_F(Security, WellKnownAliasesAreTheLocalGroups) {
    const struct {
        const char* sid;
        const WCHAR* name;
    } aliases[] = {{"S-1-5-32-544", WIDE("sudo")},
                   {"S-1-5-32-545", WIDE("users")},
                   {"S-1-5-32-555", WIDE("tsusers")}};
    for (const auto& alias : aliases) {
        NameOfSid found = LookUp(alias.sid);
        EXPECT_TRUE(found.ok) << alias.sid;
        EXPECT_EQ(found.name, alias.name);
        EXPECT_EQ(found.domain, WIDE("BUILTIN"));
        EXPECT_EQ(found.use, SidTypeAlias);
        EXPECT_EQ(SidTextOf(alias.name), alias.sid) << "the round trip through the name";
    }
}

TEST_F(Security, AdministratorsAliasFallsBackToWheel) {
    ReplaceLine("etc/group", "sudo:", "wheel:x:10:");
    ReplaceLine("etc/gshadow", "sudo:", "wheel:*::");
    EXPECT_EQ(LookUp("S-1-5-32-544").name, WIDE("wheel"));
}

TEST_F(Security, DeletedAccountsAndUnknownSidsAreNotMapped) {
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    std::string sid = SidTextOf(WIDE("test001"));
    ASSERT_EQ(NetUserDel(nullptr, WIDE("test001")), NERR_Success);
    SetLastError(0);
    EXPECT_FALSE(LookUp(sid).ok);
    EXPECT_EQ(GetLastError(), ERROR_NONE_MAPPED);
    EXPECT_FALSE(LookUp("S-1-5-21-1-2-3-3000").ok) << "another machine's domain";
    EXPECT_EQ(SidTextOf(WIDE("nosuch")), "");
}

#endif

void ExpectRoundTrip(const char* text) {
    PSID sid = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA(text, &sid)) << text;
    LPSTR back = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidA(sid, &back));
    EXPECT_STREQ(back, text);
    EXPECT_EQ(LocalFree(back), nullptr);
    EXPECT_EQ(LocalFree(sid), nullptr);
}

TEST_F(Security, SidStringsRoundTrip) {
    for (const char* text :
         {"S-1-5-32-544", "S-1-1-0", "S-1-5-21-1732584193-4023233417-1732584193-3000"}) {
        ExpectRoundTrip(text);
    }
}

TEST_F(Security, SidStringsWithA48BitAuthorityRoundTripAndMalformedOnesAreRefused) {
    ExpectRoundTrip("S-1-0x123456789ABC-1");
    for (const char* bad : {"", "S-1", "S-2-5-32", "S-1-5-x", "S-1-5-4294967296", "S-1-5--1",
                            "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16"}) {
        PSID sid = nullptr;
        SetLastError(0);
        EXPECT_FALSE(ConvertStringSidToSidA(bad, &sid)) << bad;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_SID) << bad;
    }
}

#if !defined(_WIN32)
TEST_F(Security, LookUpsReportTheSizesTheyNeed) {
    BYTE sid[8];
    WCHAR domain[2];
    DWORD sidSize = sizeof sid;
    DWORD domainSize = 2;
    SID_NAME_USE use{};
    SetLastError(0);
    EXPECT_FALSE(
        LookupAccountNameW(nullptr, WIDE("root"), sid, &sidSize, domain, &domainSize, &use));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(sidSize, 28u);
    EXPECT_EQ(domainSize, 8u); // "SANDBOX" and its NUL
}

#endif

TEST_F(Security, BuiltSidsCompare) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID built = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, 32, 544, 0, 0, 0, 0, 0, 0, &built));
    PSID parsed = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-32-544", &parsed));
    EXPECT_TRUE(EqualSid(built, parsed));
    *GetSidSubAuthority(parsed, 1) = 545;
    EXPECT_FALSE(EqualSid(built, parsed));
    EXPECT_EQ(GetLengthSid(built), 16u);
    FreeSid(built);
    LocalFree(parsed);
}

TEST_F(Security, FreeSidTakesOnlyTheBlocksItMade) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID built = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, 32, 544, 0, 0, 0, 0, 0, 0, &built));
    PSID parsed = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-32-544", &parsed));
    EXPECT_EQ(FreeSid(built), nullptr);
    EXPECT_EQ(FreeSid(parsed), parsed) << "a block of LocalFree is not FreeSid's";
    EXPECT_EQ(LocalFree(parsed), nullptr);
}

std::vector<std::string> TokenGroupSids(HANDLE token, std::vector<DWORD>* attributes = nullptr) {
    DWORD needed = 0;
    BYTE small[10];
    EXPECT_FALSE(GetTokenInformation(token, TokenGroups, small, sizeof small, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(GetTokenInformation(token, TokenGroups, buffer.data(), needed, &needed));
    std::vector<std::string> sids;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        LPSTR text = nullptr;
        EXPECT_TRUE(ConvertSidToStringSidA(groups->Groups[i].Sid, &text));
        sids.emplace_back(text);
        LocalFree(text);
        if (attributes != nullptr) {
            attributes->push_back(groups->Groups[i].Attributes);
        }
    }
    return sids;
}

DWORD ElevationOf(HANDLE token) {
    DWORD type = 0;
    DWORD length = 0;
    EXPECT_TRUE(GetTokenInformation(token, TokenElevationType, &type, sizeof type, &length));
    EXPECT_EQ(length, 4u);
    return type;
}

TEST_F(Security, ProcessTokenOfRootIsFullAndHoldsAdministrators) {
    HANDLE thread = nullptr;
    SetLastError(0);
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &thread));
    EXPECT_EQ(GetLastError(), ERROR_NO_TOKEN);
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    std::vector<std::string> sids = TokenGroupSids(token);
    EXPECT_NE(std::find(sids.begin(), sids.end(), "S-1-5-32-544"), sids.end());
    EXPECT_EQ(ElevationOf(token), static_cast<DWORD>(TokenElevationTypeFull));
    EXPECT_TRUE(CloseHandle(token));
}

TEST_F(Security, AClosedTokenIsAnInvalidHandle) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    EXPECT_TRUE(CloseHandle(token));
    EXPECT_FALSE(GetTokenInformation(token, TokenElevationType, nullptr, 0, nullptr))
        << "a closed token";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

#if !defined(_WIN32)
TEST_F(Security, LogonTokensCarryTheAccountsGroups) {
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    ASSERT_EQ(AddUser(WIDE("test002"), WIDE("pass002")), NERR_Success);
    ASSERT_EQ(AddMember(WIDE("tsusers"), WIDE("test001")), NERR_Success);
    ASSERT_EQ(AddMember(WIDE("sudo"), WIDE("test002")), NERR_Success);

    HANDLE plain = Logon(WIDE("test001"), WIDE("pass001"));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(TokenGroupSids(plain), (std::vector<std::string>{"S-1-5-32-545", "S-1-5-32-555"}));
    EXPECT_EQ(ElevationOf(plain), static_cast<DWORD>(TokenElevationTypeDefault));
    CloseHandle(plain);

    HANDLE member = Logon(WIDE("test002"), WIDE("pass002"));
    ASSERT_NE(member, nullptr);
    std::vector<DWORD> attributes;
    EXPECT_EQ(TokenGroupSids(member, &attributes),
              (std::vector<std::string>{"S-1-5-32-545", "S-1-5-32-544"}));
    EXPECT_EQ(attributes.back(), SE_GROUP_USE_FOR_DENY_ONLY)
        << "a limited token holds Administrators for deny only";
    EXPECT_EQ(ElevationOf(member), static_cast<DWORD>(TokenElevationTypeLimited));
    CloseHandle(member);
}

TEST_F(Security, LogonRefusals) {
    ASSERT_EQ(AddUser(WIDE("test001"), WIDE("pass001")), NERR_Success);
    DWORD code = 0;
    EXPECT_EQ(Logon(WIDE("test001"), WIDE("pass002"), &code), nullptr);
    EXPECT_EQ(code, ERROR_LOGON_FAILURE);
    EXPECT_EQ(Logon(WIDE("test001"), WIDE(""), &code), nullptr);
    EXPECT_EQ(code, ERROR_LOGON_FAILURE);
    EXPECT_EQ(Logon(WIDE("nosuch"), WIDE("pass001"), &code), nullptr);
    EXPECT_EQ(code, ERROR_LOGON_FAILURE);
    EXPECT_EQ(Logon(WIDE("root"), WIDE(""), &code), nullptr) << "root's hash is *";
    EXPECT_EQ(code, ERROR_LOGON_FAILURE);

    std::string shadow = ReadTextFile(Root() / "etc/shadow");
    std::size_t start = shadow.find("test001:");
    std::string hash = shadow.substr(start + 8, shadow.find(':', start + 8) - start - 8);
    ReplaceLine("etc/shadow", "test001:", "test001:" + hash + ":19000:0:99999:7::19001:");
    EXPECT_EQ(Logon(WIDE("test001"), WIDE("pass001"), &code), nullptr);
    EXPECT_EQ(code, ERROR_ACCOUNT_EXPIRED);
    ReplaceLine("etc/shadow", "test001:", "test001:" + hash + ":0:0:99999:7:::");
    EXPECT_EQ(Logon(WIDE("test001"), WIDE("pass001"), &code), nullptr);
    EXPECT_EQ(code, ERROR_PASSWORD_MUST_CHANGE);
    ReplaceLine("etc/shadow", "test001:", "test001:" + hash + ":19000:0:30:7:::");
    EXPECT_EQ(Logon(WIDE("test001"), WIDE("pass001"), &code), nullptr);
    EXPECT_EQ(code, ERROR_PASSWORD_EXPIRED);
    ReplaceLine("etc/shadow", "test001:", "test001:!" + hash + ":19000:0:99999:7:::");
    EXPECT_EQ(Logon(WIDE("test001"), WIDE("pass001"), &code), nullptr);
    EXPECT_EQ(code, ERROR_ACCOUNT_DISABLED);

    HANDLE token = nullptr;
    EXPECT_FALSE(LogonUserW(WIDE("test001"), nullptr, WIDE("pass001"), 99, LOGON32_PROVIDER_DEFAULT,
                            &token));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}
#endif

} // namespace
} // namespace nomvera::test
