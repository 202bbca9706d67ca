// The line filter of the passwd rewrite: which lines of the old file go into
// the new one.
#pragma once

#include <cstdio>

// Copies the lines of `source` to `target`, leaving out the lines without a
// ':' and the lines named `loginName`. `lookahead` is a second stream over
// the same bytes: each line is read there first to decide on it, so that
// lines of any length go over whole without being held or read back.
// Streams are read as bytes, a CR LF pair counting as one line feed. Returns
// false when a read or a write failed.
bool FilterPasswdLines(FILE* source, FILE* lookahead, FILE* target, const char* loginName);
