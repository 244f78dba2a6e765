// The authentication file for another machine's account service: read only
// when no other account can have written or read it.
#include "platform/posix/services/account_credentials.h"
#include "tests/common/child_process.h"
#include "tests/common/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace nomvera::test {
namespace {

using posix::ReadCredentialsFile;

constexpr char kContent[] = "# lab\nusername = Administrator@LAB.TEST\npassword = a = b \n"
                            "domain=LAB\n";

TEST(CredentialsFile, AFileOfTheUsersOwnIsRead) {
    TempFolder folder;
    WriteOwnerOnlyFile(folder / "auth", kContent);
    auto read = ReadCredentialsFile(folder / "auth");
    ASSERT_TRUE(read.credentials) << read.error;
    EXPECT_EQ(read.credentials->user, "Administrator@LAB.TEST");
    EXPECT_EQ(read.credentials->password, "a = b");
    EXPECT_EQ(read.credentials->domain, "LAB");
}

// Each way another account could have put its own file there or read ours.
TEST(CredentialsFile, AFileOthersCouldChangeOrReadIsRefused) {
    TempFolder folder;
    const std::string file = folder / "auth";
    WriteOwnerOnlyFile(file, kContent);
    const std::string link = folder / "link";
    ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
    EXPECT_NE(ReadCredentialsFile(link).error.find("symbolic link"), std::string::npos);

    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    EXPECT_NE(ReadCredentialsFile(file).error.find("mode 0600"), std::string::npos);
    ASSERT_EQ(chmod(file.c_str(), 0600), 0);

    const std::string open = folder / "open";
    ASSERT_EQ(mkdir(open.c_str(), 0777), 0);
    ASSERT_EQ(chmod(open.c_str(), 0777), 0);
    WriteOwnerOnlyFile(open + "/auth", kContent);
    EXPECT_NE(ReadCredentialsFile(open + "/auth").error.find("folder"), std::string::npos);

    if (geteuid() == 0) {
        ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
        EXPECT_NE(ReadCredentialsFile(file).error.find("another account"), std::string::npos);
    }
    EXPECT_FALSE(ReadCredentialsFile(folder / "missing").credentials);
}

TEST(CredentialsFile, ALineOfAnotherFormatIsNamed) {
    TempFolder folder;
    WriteOwnerOnlyFile(folder / "auth", "username = x\npasword = y\n");
    EXPECT_EQ(ReadCredentialsFile(folder / "auth").error,
              folder / "auth" + ", line 2: not \"username = \", \"password = \" or \"domain = \"");
    WriteOwnerOnlyFile(folder / "auth", "password = y\n");
    EXPECT_NE(ReadCredentialsFile(folder / "auth").error.find("names no user"), std::string::npos);
}

TEST(CredentialsFile, KerberosOnlyForARealmUserAndAServerName) {
    posix::AccountCredentials realm;
    realm.user = "Administrator@LAB.TEST";
    posix::AccountCredentials plain;
    plain.user = "Administrator";
    EXPECT_EQ(posix::WayOfSigningIn("dc1.lab.test", realm), posix::SignInWay::Kerberos);
    EXPECT_EQ(posix::WayOfSigningIn("127.0.0.1", realm), posix::SignInWay::Password);
    EXPECT_EQ(posix::WayOfSigningIn("::1", realm), posix::SignInWay::Password);
    EXPECT_EQ(posix::WayOfSigningIn("dc1.lab.test", plain), posix::SignInWay::Password);
}

} // namespace
} // namespace nomvera::test
