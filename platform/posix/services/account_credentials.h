// How the tool signs in to another machine's account service: an
// authentication file in the format Samba's clients read ("username = NAME",
// "password = SECRET", "domain = DOMAIN", one per line), Kerberos for a realm
// user and a server named by DNS, or the caller's ticket cache. Not part of
// the surface.
#pragma once

#include <optional>
#include <string>

namespace nomvera::posix {

// The variable that names the authentication file for the account service
// of another machine (the command line sets it from --server-credentials,
// the window takes it as it finds it).
inline constexpr char kAccountCredentialsVariable[] = "NOMVERA_ACCOUNT_CREDENTIALS";
inline constexpr char kAccountServerVariable[] = "NOMVERA_ACCOUNT_SERVER";

struct AccountCredentials {
    std::string user;
    std::string password;
    std::string domain;
    AccountCredentials() = default;
    AccountCredentials(const AccountCredentials&) = default;
    AccountCredentials& operator=(const AccountCredentials&) = default;
    ~AccountCredentials();
};

struct CredentialsRead {
    std::optional<AccountCredentials> credentials;
    std::string error; // why the file was refused, when it was
};

// Reads the file when no other account can change or read it: a regular
// file (not a link) of the effective user, without any access for group or
// others, in folders nobody else can change.
CredentialsRead ReadCredentialsFile(const std::string& path);

enum class SignInWay { Password, Kerberos, TicketCache, Anonymous };
// Kerberos when the user names a realm (user@REALM) and the server is a DNS
// name rather than an address; a password (NTLM) otherwise. Without a file:
// the ticket cache when the caller has one, else no sign-in at all.
SignInWay WayOfSigningIn(const std::string& server, const std::optional<AccountCredentials>& file);
// "Kerberos as Administrator@LAB.TEST", "password as LAB\Administrator",
// "the Kerberos ticket cache", "no credentials".
std::string DescribeSignIn(SignInWay way, const std::optional<AccountCredentials>& file);
bool HasTicketCache();
// An IPv4 or IPv6 address rather than a name.
bool IsNetworkAddress(const std::string& host);

} // namespace nomvera::posix
