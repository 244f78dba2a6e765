#include "tests/domain/domain_test_support.h"

#include "accounts/account_server.h"
#include "platform/posix/services/account_credentials.h"
#include "tests/common/child_process.h"
#include "tests/common/temp_folder.h"

#include <cstdlib>

namespace nomvera::test {
namespace {

std::string StateValue(const std::string& state, const std::string& key) {
    for (const std::string& line : TextLines(ReadTextFile(state))) {
        if (line.rfind(key + "=", 0) == 0) {
            return line.substr(key.size() + 1);
        }
    }
    return {};
}

} // namespace

std::optional<TestDomain> FixtureDomain(std::string& why) {
    if (const char* skip = std::getenv("NOMVERA_TEST_DOMAIN_SKIP"); skip != nullptr) {
        why = skip;
        return std::nullopt;
    }
    const char* state = std::getenv("NOMVERA_TEST_DOMAIN");
    if (state == nullptr) {
        why = "not started through domain-controller.sh run (no NOMVERA_TEST_DOMAIN)";
        return std::nullopt;
    }
    TestDomain domain{StateValue(state, "dir"),        StateValue(state, "domain"),
                      StateValue(state, "realm"),      StateValue(state, "host"),
                      StateValue(state, "password"),   StateValue(state, "member_conf"),
                      StateValue(state, "member_skip")};
    if (domain.memberConf.empty() && domain.noMember.empty()) {
        domain.noMember = "no member host was joined";
    }
    if (domain.dir.empty()) {
        why = std::string(state) + " names no controller";
        return std::nullopt;
    }
    return domain;
}

std::vector<std::string> StoredAttribute(const TestDomain& domain, const std::string& account,
                                         const std::string& attribute) {
    TChildResult result = RunProgram({"/usr/bin/ldbsearch", "-H", domain.SamDatabase(),
                                      "(sAMAccountName=" + account + ")", attribute});
    std::vector<std::string> values;
    const std::string key = attribute + ": ";
    for (const std::string& line : TextLines(result.output)) {
        if (line.rfind(key, 0) == 0) {
            values.push_back(line.substr(key.size()));
        }
    }
    return values;
}

std::optional<std::pair<unsigned, std::string>> WinbindAccount(const TestDomain& domain,
                                                               const std::string& account) {
    TChildResult result = RunProgram({"/usr/bin/wbinfo", "-i", domain.domain + "\\" + account});
    // NAME:*:UID:GID:GECOS:HOME:SHELL
    std::vector<std::string> fields;
    std::string line = TextLines(result.output).empty() ? "" : TextLines(result.output)[0];
    for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
        end = line.find(':', start);
        fields.push_back(line.substr(start, end == std::string::npos ? end : end - start));
    }
    if (result.exitCode != 0 || fields.size() != 7) {
        return std::nullopt;
    }
    return std::make_pair(static_cast<unsigned>(std::stoul(fields[2])), fields[5]);
}

bool SignInSucceeds(const TestDomain& domain, const std::string& user,
                    const std::string& password) {
    return RunProgram({"/usr/bin/smbclient", "-L", "//127.0.0.1", "-U",
                       domain.domain + "/" + user + "%" + password},
                      true)
               .exitCode == 0;
}

void DomainBatchTest::SetUp() {
    std::string why;
    auto domain = FixtureDomain(why);
    if (!domain) {
        GTEST_SKIP() << why;
    }
    domain_ = *domain;
    BatchTest::SetUp();
    setenv(posix::kAccountCredentialsVariable, domain_.CredentialsFile().c_str(), 1);
    accounts::SetAccountServer(WIDE("127.0.0.1"));
}

void DomainBatchTest::TearDown() {
    if (domain_.dir.empty()) {
        return;
    }
    accounts::SetAccountServer(WIDE(""));
    unsetenv(posix::kAccountCredentialsVariable);
    BatchTest::TearDown();
}

} // namespace nomvera::test
