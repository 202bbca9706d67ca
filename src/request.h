// What the command line asks for: the option values, each a
// NUL-terminated ANSI text, empty when its option was not given. Every stage
// reads it.
#pragma once

// Windows' path limit, terminator included (MAX_PATH).
enum { kPathSize = 260 };

// Names: 255 characters and the terminator.
enum { kNameSize = 256 };

struct UserRequest {
    char sshLoginName[kNameSize];     // -s
    char windowsUserName[kPathSize];  // -u
    char domainName[kNameSize];       // -d
    char homePath[kPathSize];         // -p
    char passwdFile[kPathSize];       // -f
    char accountsFile[kPathSize];     // -b: many accounts, one a line
    bool allAccounts;                 // -a: every account of the machine or domain
};

// The longest login name a passwd line takes: what -s can hold.
enum { kLoginNameMax = kNameSize - 1 };
