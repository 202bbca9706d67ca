// The path arithmetic of the home stage, kept apart from the registry and
// the file system so it can be checked on its own.
#pragma once

#include <cstddef>

#include "text.h"

// The shared directory that accounts without a usable profile directory get,
// inside the home mount directory.
#define FALLBACK_DIRECTORY_NAME "tarnwick"

// The rules below read ANSI text a character at a time: `lead` names the
// code page's lead bytes, whose next byte is never a separator or a letter.

// The home mount directory joined with the fallback directory's name by one
// backslash, however many separators the mount directory ends in. Returns
// false when it does not fit `size` bytes (the output is then cut).
bool JoinFallbackDirectory(const char* mountDirectory, const LeadBytes* lead, char* out,
                           size_t size);

// `path` with a leading home mount directory replaced by "/home", or `path`
// unchanged when it does not lie inside that directory. Whole components
// only: the mount directory (ASCII letters compared without case, trailing
// separators ignored) must be followed by a separator or the end. Returns
// false when the result does not fit `size` bytes.
bool RewriteUnderHome(const char* path, const char* mountDirectory, const LeadBytes* lead,
                      char* out, size_t size);

// True for "X:" followed by anything but a separator ("D:Users\jane"): a
// path relative to the drive's current folder, which the POSIX side cannot
// know. Its three bytes are characters of their own in every code page: an
// ASCII letter and ':' are never lead bytes.
bool IsDriveRelative(const char* path);
