// The legacy listing on a Wine prefix set to Windows 98: GetVersion then
// reports the Windows 95 family, and GetUserNameA gives the Wine user.
#include "windows/e2e/wine_machine.h"

#include "cli/legacy.h"

namespace {

class LegacyListing : public WineTest {
  protected:
    void SetUp() override {
        WineTest::SetUp();
        SetWineVersion("win98");
    }
    std::string UserLine(const std::string& prefix) const {
        const std::string& name = TheWineUser().name;
        return name + ":use_crypt:" + std::to_string(LegacyUid(name.c_str())) + ":544:" + name +
               ":" + prefix + name + ":/bin/bash\n";
    }
};

TEST_F(LegacyListing, ListsTheAdministratorAndTheWineUser) {
    ProcessResult run = Acctmap({});
    EXPECT_EQ(run.out, TextMode("admin:use_crypt:500:544:Administrator:/home/admin:/bin/bash\n" +
                                UserLine("/home/")));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0u);
}

TEST_F(LegacyListing, TakesTheHomePrefixAndIgnoresTheAccountOptions) {
    ProcessResult run = Acctmap({"-u", "bob", "-d", "corp", "-p", "/users/"});
    EXPECT_EQ(run.out, TextMode("admin:use_crypt:500:544:Administrator:/users/admin:/bin/bash\n" +
                                UserLine("/users/")));
    EXPECT_EQ(run.status, 0u);
    // Nothing of NT mode runs: no account database, no registry.
    EXPECT_TRUE(NetapiCalls().empty());
}

TEST_F(LegacyListing, HelpPrintsOnlyTheUsage) {
    ProcessResult run = Acctmap({"-h"});
    EXPECT_EQ(run.out, TextMode("Usage: acctmap -s <ssh username> -u <windows username> -d "
                                "<domain name> -p <home path> -f <passwd file>\n"));
    EXPECT_EQ(run.status, 0u);
}

}  // namespace
