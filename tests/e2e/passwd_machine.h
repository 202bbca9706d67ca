// What the passwd end-to-end tests share: a machine with the domain account
// SALES\jdoe, whose profile lies under the home mount, and its entry.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_acctmap.h"

inline const char kPasswdMachine[] = R"(family = "nt"
[drives]
C = "c-drive"
[domains]
SALES = { controller = '\\dc1' }
[[accounts]]
server = '\\dc1'
name = 'jdoe'
user_id = 1107
primary_group_id = 513
full_name = 'Jane Doe'
[[accounts]]
server = ''
name = 'jdoe'
user_id = 1003
primary_group_id = 513
[lookup]
'SALES\jdoe' = { sid = 'S-1-5-21-111-222-333-1107', domain = 'SALES' }
[registry.'SOFTWARE\Cygnus Solutions\Cygwin\mounts v2\/home']
native = 'C:\cygwin\home'
[registry.'SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList\S-1-5-21-111-222-333-1107']
ProfileImagePath = 'C:\cygwin\home\jdoe'
)";

// SALES\jdoe's entry under a login name, as it reaches a file or the console.
inline std::string JdoeEntry(const std::string& login = "SALES\\jdoe") {
    return "\r\n" + login +
           ":unused_by_nt/2000/xp:1107:10513:Jane Doe,U-SALES\\jdoe,S-1-5-21-111-222-333-1107:"
           "/home/jdoe:/bin/switch";
}

// Runs acctmap for SALES\jdoe with the words given after -u and -d.
inline RunResult RunJdoe(const TempDir& dir, const std::vector<std::string>& words,
                         const std::string& profile = kPasswdMachine) {
    dir.Write("c-drive/cygwin/home/jdoe/.profile", "");
    std::vector<std::string> all = {"-u", "jdoe", "-d", "SALES"};
    all.insert(all.end(), words.begin(), words.end());
    return RunAcctmap(dir, profile, all);
}

// Byte for byte, but a failure on a file of 5000-byte lines is reported by
// its first difference rather than printed whole.
inline ::testing::AssertionResult SameBytes(const std::string& got, const std::string& want) {
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) {
        ++at;
    }
    if (got == want) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << got.size() << " bytes instead of " << want.size() << ", first difference at " << at
           << ": " << ::testing::PrintToString(got.substr(at, 60)) << " instead of "
           << ::testing::PrintToString(want.substr(at, 60));
}
