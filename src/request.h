// What the command line asks for: the five option values, each a
// NUL-terminated ANSI text, empty when its option was not given. Every stage
// reads it.
#pragma once

struct UserRequest {
    char sshLoginName[256];     // -s
    char windowsUserName[260];  // -u
    char domainName[256];       // -d
    char homePath[260];         // -p
    char passwdFile[260];       // -f
};
