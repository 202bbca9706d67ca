#ifndef _WIN32

#include <cstring>
#include <string>
#include <vector>

#include "account/account.h"
#include "platform/bounded_text.h"
#include "platform/sim/sim_machine.h"
#include "support/run_acctmap.h"

namespace {

// kim has a local namesake; the domain LOST names no controller, and only
// its own name reaches kim's record.
const char kMachine[] = R"(
domains = { SALES = { controller = '\\dc1' }, LOST = { error = 1355 }, GONE = { error = 1355 } }
accounts = [
  { server = '', name = 'JDoe', user_id = 1003, primary_group_id = 513, full_name = 'Jane Doe' },
  { server = '', name = 'nobody', user_id = 1010, primary_group_id = 513 },
  { server = '', name = 'broken', error = 1722 },
  { server = '\\dc1', name = 'jdoe', user_id = 1107, primary_group_id = 513, full_name = 'Jane Sales' },
  { server = '\\dc1', name = 'mallory', error = 5 },
  { server = '', name = 'kim', user_id = 1999, primary_group_id = 513 },
  { server = '\\LOST', name = 'kim', user_id = 4242, primary_group_id = 4294967295 },
  { server = '', name = 'long', user_id = 1, primary_group_id = 513, full_name = '%LONG%' },
]
[lookup]
'jdoe' = { sid = 'S-1-5-21-7-8-9-1003', domain = 'WS01' }
'SALES\jdoe' = { sid = 'S-1-5-21-111-222-333-1107', domain = 'SALES' }
'LOST\kim' = { sid = 'S-1-5-21-4-5-6-4242', domain = 'LOST' }
'long' = { sid = 'S-1-5-21-1-1-1-1', domain = 'WS01' }
)";

struct AccountCase {
    const char* name;
    const char* user;
    const char* domain;
    std::string err;
    // account name|user name|user id|group id|full name|SID text|domain;
    // empty after a failure.
    std::string account = "";
};

class ResolveAccountTest : public SimMachineTest {};

TEST_F(ResolveAccountTest, FollowsTheAccountDatabase) {
    const std::string noSid =
        "acctmap (301): [1332] No mapping between account names and security IDs was done.\r\r\n "
        "(nobody)\r\n";
    // clang-format off
    const std::vector<AccountCase> cases = {
        {"local, typed in another case", "jdoe", "", "", "jdoe|JDoe|1003|513|Jane Doe|S-1-5-21-7-8-9-1003|WS01"},
        {"domain adds the group offset", "jdoe", "SALES", "", "SALES\\jdoe|jdoe|1107|10513|Jane Sales|S-1-5-21-111-222-333-1107|SALES"},
        {"no controller name: the domain is asked, not the local namesake", "kim", "LOST", "", "LOST\\kim|kim|4242|9999||S-1-5-21-4-5-6-4242|LOST"},
        {"SID lookup fails, the run goes on", "nobody", "", noSid, "nobody|nobody|1010|513||(none)|"},
        {"full name cut to its field", "long", "", "", "long|long|1|513|" + std::string(511, 'f') + "|S-1-5-21-1-1-1-1|WS01"},
        {"invalid domain name", "jdoe", "BAD/NAME", "Domainname: BAD/NAME is invalid\r\n"},
        {"no controller", "jdoe", "NOWHERE", "Could not find the domain controller for the domain.\r\n"},
        {"access denied", "mallory", "SALES", "The user does not have access to the requested information.\r\n"},
        {"unknown user", "ghost", "", "The username could not be found.\r\n"},
        {"other failure, local", "broken", "", "Could not find domain controller for domain :. \r\n"},
        {"other failure, domain unreachable by name", "kim", "GONE", "Could not find domain controller for domain :GONE. \r\n"},
    };
    // clang-format on
    std::string machine = kMachine;
    machine.replace(machine.find("%LONG%"), 6, std::string(600, 'f'));
    for (const AccountCase& c : cases) {
        SCOPED_TRACE(c.name);
        Load(machine);
        UserRequest request = {};
        CopyText(request.windowsUserName, sizeof request.windowsUserName, c.user);
        CopyText(request.domainName, sizeof request.domainName, c.domain);
        AccountInfo a;
        memset(&a, 0x5a, sizeof a);
        const int held = SimOutstandingBuffers(), badReleases = SimBadReleases();
        EXPECT_EQ(ResolveAccount(&request, &a), c.account.empty() ? 1 : 0);
        EXPECT_EQ(Stderr(), c.err);
        if (!c.account.empty()) {
            const std::string sid = a.sidFound ? SidToText(a.sid) : "(none)";
            EXPECT_EQ(std::string(a.accountName) + "|" + a.userName + "|" +
                          std::to_string(a.userId) + "|" + std::to_string(a.groupId) + "|" +
                          a.fullName + "|" + sid + "|" + a.referencedDomain,
                      c.account);
            // Only the record is held (the controller's name went back), and
            // it is the machine's own to take back.
            EXPECT_EQ(SimOutstandingBuffers(), held + 1);
            NetApiBufferFree(a.accountRecord);
        }
        // Nothing else of the account services stays out.
        EXPECT_EQ(SimOutstandingBuffers(), held);
        EXPECT_EQ(SimBadReleases(), badReleases);
    }
}

}  // namespace

#endif
