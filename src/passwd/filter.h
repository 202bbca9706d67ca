// The line filter of the passwd rewrite, apart so that it can be driven over
// any two streams.
#pragma once

#include <cstddef>
#include <cstdio>

// True when the name (the `length` bytes before a line's first ':') is the
// login name: ASCII letters in either case, every other byte exactly, at most
// 256 characters compared.
bool PasswdNameMatches(const char* name, size_t length, const char* loginName);

// Copies the lines of `source` to `target`, leaving out the lines without a
// ':' and the lines named `loginName`. `source` is read as bytes, a CR LF
// pair counting as one line feed; lines of any length go over whole. Returns
// false when a read or a write failed.
bool FilterPasswdLines(FILE* source, FILE* target, const char* loginName);
