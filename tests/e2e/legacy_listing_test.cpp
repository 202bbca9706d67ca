// The legacy listing end to end: the two entries on the Windows 95 family.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/run_acctmap.h"

namespace {

struct ListingCase {
    const char* name;
    std::string user;  // the logged_on_user line of the profile, if any
    std::vector<std::string> words;
    std::string out;
};

// Test names and reports show the case's name, not its bytes.
void PrintTo(const ListingCase& c, std::ostream* os) {
    *os << c.name;
}

class LegacyListing : public ::testing::TestWithParam<ListingCase> {};

TEST_P(LegacyListing, PrintsTheEntries) {
    const ListingCase& c = GetParam();
    TempDir dir;
    RunResult result = RunAcctmap(dir, "family = \"95\"\n" + c.user, c.words);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
}

const std::string kAdmin = "admin:use_crypt:500:544:Administrator:/home/admin:/bin/bash\r\n";

INSTANTIATE_TEST_SUITE_P(
    Users, LegacyListing,
    ::testing::Values(ListingCase{"WorkedExample",
                                  "logged_on_user = 'abc'\n",
                                  {},
                                  kAdmin + "abc:use_crypt:780:544:abc:/home/abc:/bin/bash\r\n"},
                      ListingCase{
                          "NameKeepsItsCase",
                          "logged_on_user = 'Guest'\n",
                          {"-p", ""},
                          kAdmin + "Guest:use_crypt:633:544:Guest:/home/Guest:/bin/bash\r\n"},
                      // UTF-8 in the profile, code page 1252 from the machine.
                      ListingCase{"AccentedName",
                                  "logged_on_user = '\xc3\xa9'\n",
                                  {},
                                  kAdmin + "\xe9:use_crypt:922:544:\xe9:/home/\xe9:/bin/bash\r\n"},
                      ListingCase{"PrefixWithSlash",
                                  "logged_on_user = 'abc'\n",
                                  {"-p", "/users/"},
                                  "admin:use_crypt:500:544:Administrator:/users/admin:/bin/bash\r\n"
                                  "abc:use_crypt:780:544:abc:/users/abc:/bin/bash\r\n"},
                      ListingCase{"PrefixWithoutSlash",
                                  "logged_on_user = 'abc'\n",
                                  {"-p", "/home"},
                                  "admin:use_crypt:500:544:Administrator:/homeadmin:/bin/bash\r\n"
                                  "abc:use_crypt:780:544:abc:/homeabc:/bin/bash\r\n"},
                      ListingCase{"NoLoggedOnUser", "", {}, kAdmin},
                      ListingCase{"EmptyUserName", "logged_on_user = ''\n", {}, kAdmin}),
    [](const ::testing::TestParamInfo<ListingCase>& info) { return info.param.name; });

}  // namespace
