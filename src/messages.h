// Every text acctmap shows its user, in one place. Messages go to standard
// error through PrintError, which shows the control bytes of what they echo
// (diag/report.h); the usage text and the entries go where their callers say.
#pragma once

// The front end.
#define MSG_USAGE                                                                       \
    "Usage: acctmap -s <ssh username> -u <windows username> -d <domain name> -p <home " \
    "path> -f <passwd file>\n"
#define MSG_SHORT_HINT "Try `%s -h' for more information.\n"
#define MSG_LONG_HINT "Try `%s --help' for more information.\n"
#define MSG_NO_USER "Specify which user to add with -u option\n"
#define MSG_VALUE_TOO_LONG "The value of -%c is longer than %u characters.\n"
#define MSG_NOT_ANSI "The command line holds a character that code page %u cannot hold: %s.\n"
#define MSG_STDOUT_FAILED "Standard output could not be written.\n"
// --version: the version the exe's version resource carries.
#define MSG_VERSION "acctmap %s\n"

// The account lookup.
#define MSG_DOMAIN_INVALID "Domainname: %s is invalid\n"
#define MSG_NO_CONTROLLER "Could not find the domain controller for the domain.\n"
#define MSG_ACCESS_DENIED "The user does not have access to the requested information.\n"
#define MSG_USER_NOT_FOUND "The username could not be found.\n"
#define MSG_LOOKUP_FAILED "Could not find domain controller for domain :%s. \n"
// Completes a system error report of the SID lookup.
#define MSG_SID_LOOKUP_USER " (%s)\n"

// System error reports: the program, the reporting line, the code and the
// system's own text.
#define MSG_SYSTEM_ERROR "acctmap (%d): [%lu] %s\n"
#define MSG_SYSTEM_ERROR_CODE "acctmap (%d): error %lu\n"

// The home directory.
#define MSG_OPEN_REGISTRY "Open Registry Error.\n"
#define MSG_SYSTEM_TEXT "%s\n"
#define MSG_READ_VALUE "read key value error\n"
#define MSG_VALUE_NOT_ANSI \
    "read key value error: %s holds a character that code page %u cannot hold: %s\n"
#define MSG_CANNOT_CREATE_HOME "Can't create home directory %s for user %s\n"
#define MSG_HOME_TOO_LONG "Home directory path is too long: %s\n"
#define MSG_HOME_INVALID "Invalid character in home directory: %s\n"
#define MSG_PROFILES_TOO_MANY "The profile list holds more than %u profiles.\n"
#define MSG_HOME_DRIVE_RELATIVE \
    "The home path %s is relative to a drive's current folder; give it whole.\n"

// The passwd file.
#define MSG_LOGIN_TOO_LONG "Login name is longer than %u characters: %s\n"
#define MSG_LOGIN_INVALID "Invalid character in login name: %s\n"
#define MSG_PASSWD_BUSY "Passwd file %s is busy; the entry was not written to it.\n"
#define MSG_PASSWD_READ_ONLY "Passwd file %s is read-only; the entry was not written to it.\n"
#define MSG_PASSWD_NOT_REWRITTEN \
    "Passwd file %s could not be rewritten (error %lu); the entry was not written to it.\n"

// The accounts file of -b. Each message about a line follows the line's
// prefix, as do the stages' own messages while that line is resolved.
#define MSG_BATCH_ON_LINE "With -b, give -%c on a line of the accounts file.\n"
#define MSG_ACCOUNTS_NOT_READ "Accounts file %s could not be read (error %lu).\n"
#define MSG_ACCOUNTS_TOO_LARGE "Accounts file %s is larger than %u MiB.\n"
#define MSG_ACCOUNTS_NONE "Accounts file %s names no account.\n"
#define LAYOUT_LINE_PREFIX "%s line %u: "
#define MSG_LINE_NOT_OPTION "Only -u, -d, -s and -p may stand on a line: %s\n"
#define MSG_LINE_NO_VALUE "The option %s has no value.\n"
#define MSG_LINE_TOO_LONG "The line is longer than %u characters.\n"
#define MSG_LINE_UNMAPPABLE "The line holds a character that code page %u cannot hold.\n"
#define MSG_LINE_NOT_UTF8 "The line is not valid UTF-8.\n"
#define MSG_LINE_NOT_ANSI "The line is not valid text in code page %u.\n"
#define MSG_LINE_NUL "The line holds a NUL character.\n"
#define MSG_LOGIN_TWICE "The login name %s is also that of line %u.\n"
#define MSG_TOO_MANY_ACCOUNTS "One run takes at most %u accounts.\n"
#define MSG_ENTRIES_TOO_LARGE "The entries of one run take at most %u MiB.\n"

// Every account of the machine or domain, -a. Each message about one account
// follows its name as a prefix.
#define MSG_ALL_BESIDE "With -a, -%c cannot be given: every account is listed.\n"
#define MSG_LISTING_FAILED "The accounts could not be listed (error %lu).\n"
#define MSG_LISTED_NOT_ANSI "The account %s is left out: code page %u cannot hold its name.\n"
#define MSG_DISABLED_LEFT_OUT "Disabled accounts left out, as Windows keeps them shut: %u.\n"
#define MSG_LISTED_TWICE "The login name %s is listed twice.\n"
#define LAYOUT_ACCOUNT_PREFIX "%s: "

// The passwd entry layouts: the NT-mode entry (a line feed first, none at
// the end) and the two lines of the legacy listing.
#define LAYOUT_ENTRY "\n%s:unused_by_nt/2000/xp:%lu:%lu:%s%s%s%s%s%s%s%s:%s:/bin/switch"
#define LAYOUT_ADMIN "admin:use_crypt:%lu:%lu:Administrator:%sadmin:/bin/bash\n"
#define LAYOUT_USER "%s:use_crypt:%lu:%lu:%s:%s%s:/bin/bash\n"
