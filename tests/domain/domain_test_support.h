// The throw-away domain controller of the domain_controller test fixture
// (domain-controller.sh), as a test program running inside its namespaces
// sees it, and readers of what the controller stored.
#pragma once

#include "tests/batches/batch_fixture.h"

#include <optional>
#include <string>
#include <vector>

namespace nomvera::test {

struct TestDomain {
    std::string dir;      // the controller's temporary folder
    std::string domain;   // LAB
    std::string realm;    // LAB.TEST
    std::string host;     // dc1.lab.test
    std::string password; // Administrator's
    // The member host the tests run in (its winbind maps the domain's
    // accounts to uids); empty, with the reason in noMember, when none was
    // joined.
    std::string memberConf;
    std::string noMember;
    std::string SamDatabase() const { return dir + "/private/sam.ldb"; }
    // username/password/domain of Administrator, mode 0600.
    std::string CredentialsFile() const { return dir + "/admin.credentials"; }
};

// The fixture's controller; nothing, with the reason in why, when the
// fixture could not start one (not root, Samba missing).
std::optional<TestDomain> FixtureDomain(std::string& why);

// The values of one attribute of the object whose account name is given.
std::vector<std::string> StoredAttribute(const TestDomain& domain, const std::string& account,
                                         const std::string& attribute);
// The passwd entry the member host's winbind gives DOMAIN\\account:
// {uid, home}; nothing when it knows none.
std::optional<std::pair<unsigned, std::string>> WinbindAccount(const TestDomain& domain,
                                                               const std::string& account);
// Whether a sign-in of DOMAIN\user with this password succeeds (smbclient).
bool SignInSucceeds(const TestDomain& domain, const std::string& user, const std::string& password);

// The batch fixture's sandbox root and services, with every account-service
// call going to the fixture's controller (by address, NTLM with the
// Administrator's credentials file).
class DomainBatchTest : public BatchTest {
protected:
    void SetUp() override;
    void TearDown() override;
    TestDomain domain_;
};

} // namespace nomvera::test
