// Hooks into the simulated Windows machine of the host build, for tests
// only. The program itself never calls these: it reaches the machine through
// the Windows names of platform.h, and the machine loads itself from the
// profile named by ACCTMAP_MACHINE at the first such call.
#pragma once

#ifndef _WIN32

#include <cstddef>

// Replaces the current machine by the one the TOML text describes; relative
// drive folders resolve against `folder`. On failure returns false, keeps
// the previous machine and leaves "<profile>:<line>: <problem>" in `error`.
bool SimLoadProfileText(const char* toml, const char* folder, char* error, size_t errorSize);

// RtStdout and RtStderr write to these descriptors from now on, still with
// the CR LF of the Windows runtime. Both streams are flushed first; (1, 2)
// restores the real ones.
void SimSetStandardStreams(int outFd, int errFd);

#endif
