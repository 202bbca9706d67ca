// Account lookup failures as acctmap reports them on Wine: the account
// database's answers come from the stand-in, the SID lookup and its system
// text from Wine itself.
#include "windows/e2e/wine_machine.h"

namespace {

struct LookupFailure {
    const char* name;
    std::string accounts;  // the stand-in's account file
    std::vector<std::string> words;
    std::string err;
    std::vector<std::string> calls;  // what the account database was asked
};

void PrintTo(const LookupFailure& failure, std::ostream* out) {
    *out << failure.name;
}

class AccountLookup : public WineTest, public ::testing::WithParamInterface<LookupFailure> {};

TEST_P(AccountLookup, EndsTheRunWithItsMessage) {
    const LookupFailure& c = GetParam();
    Accounts(c.accounts);
    ProcessResult run = Acctmap(c.words);
    EXPECT_EQ(run.err, TextMode(c.err));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 1u);
    EXPECT_EQ(NetapiCalls(), c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Wine, AccountLookup,
    ::testing::Values(
        LookupFailure{"InvalidDomain",
                      "dc\tBAD*NAME\terror=123\n",
                      {"-u", "jdoe", "-d", "BAD*NAME"},
                      "Domainname: BAD*NAME is invalid\n",
                      {"NetGetDCName BAD*NAME = 123"}},
        LookupFailure{"NoController",
                      "",
                      {"-u", "jdoe", "-d", "LOST"},
                      "Could not find the domain controller for the domain.\n",
                      {"NetGetDCName LOST = 2453"}},
        LookupFailure{"AccessDenied",
                      "user\t.\tjdoe\terror=5\n",
                      {"-u", "jdoe"},
                      "The user does not have access to the requested information.\n",
                      {"NetUserGetInfo . jdoe 3 = 5"}},
        LookupFailure{"UnknownUser",
                      "",
                      {"-u", "nobody"},
                      "The username could not be found.\n",
                      {"NetUserGetInfo . nobody 3 = 2221"}},
        LookupFailure{"OtherLocalFailure",
                      "user\t.\tjdoe\terror=53\n",
                      {"-u", "jdoe"},
                      "Could not find domain controller for domain :. \n",
                      {"NetUserGetInfo . jdoe 3 = 53"}},
        // Without a controller's name the domain's own name is asked, never
        // the local database (which might hold a jdoe of its own).
        LookupFailure{"ControllerWithoutName",
                      "dc\tSALES\terror=1355\nuser\t.\tjdoe\t1003\t513\n"
                      "user\t\\\\SALES\tjdoe\terror=1722\n",
                      {"-u", "jdoe", "-d", "SALES"},
                      "Could not find domain controller for domain :SALES. \n",
                      {"NetGetDCName SALES = 1355", "NetUserGetInfo \\\\SALES jdoe 3 = 1722"}},
        LookupFailure{"RecordGivenBackOnFailure",
                      "dc\tSALES\t\\\\dc1\nuser\t\\\\dc1\tjdoe\terror=5\n",
                      {"-u", "jdoe", "-d", "SALES"},
                      "The user does not have access to the requested information.\n",
                      {"NetGetDCName SALES = 0 buffer 1", "NetUserGetInfo \\\\dc1 jdoe 3 = 5",
                       "NetApiBufferFree buffer 1"}}),
    [](const ::testing::TestParamInfo<LookupFailure>& info) { return info.param.name; });

// An account the database knows but Wine's security services do not: the
// report carries Wine's own text for the code, and the run goes on without
// a SID (so with the shared fallback directory).
TEST_F(WineTest, SidLookupFailureIsReportedAndTheRunGoesOn) {
    UseHomeMount();
    Accounts("user\t.\tghost\t1005\t513\tGhost Writer\n");
    ProcessResult run = Acctmap({"-u", "ghost"});
    const std::string code = std::to_string(ERROR_NONE_MAPPED);
    ASSERT_FALSE(SystemText(ERROR_NONE_MAPPED).empty());
    EXPECT_EQ(run.err, TextMode("acctmap (301): [" + code + "] " + SystemText(ERROR_NONE_MAPPED) +
                                " (ghost)\n"));
    EXPECT_EQ(run.out, TextMode("\nghost:unused_by_nt/2000/xp:1005:513:Ghost Writer,U-ghost:"
                                "/home/tarnwick:/bin/switch"));
    EXPECT_EQ(run.status, 0u);
    EXPECT_TRUE(AllNetapiBuffersFreed());
}

}  // namespace
