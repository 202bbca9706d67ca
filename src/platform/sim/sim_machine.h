// Hooks into the simulated Windows machine of the host build, for tests only.
// The program itself never calls these: it reaches the machine through the
// Windows names of platform.h, and the machine loads itself from the profile
// named by ACCTMAP_MACHINE at the first such call.
#pragma once

#ifndef _WIN32

#include <cstddef>
#include <cstdint>

// Replaces the current machine by the one the TOML text describes. `folder`
// is where relative drive folders resolve (NULL: the working directory). On
// failure returns false, keeps the previous machine and leaves
// "<profile>:<line>: <problem>" in `error`. Resets the last error and the
// write_limit budget; buffers still outstanding stay counted.
bool SimLoadProfileText(const char* toml, const char* folder, char* error, size_t errorSize);

// The same from a file; relative drive folders resolve against its folder,
// and messages name the file as given.
bool SimLoadProfileFile(const char* path, char* error, size_t errorSize);

// Drops the current machine: the next platform call loads the profile of
// ACCTMAP_MACHINE again, as at the start of a run. Tests that load their own
// machine call this at the end so that they leave no machine behind.
void SimForgetMachine(void);

// RtStdout and RtStderr write to these descriptors from now on, still with
// the CR LF translation of the Windows runtime. Both streams are flushed
// first; (1, 2) restores the real ones.
void SimSetStandardStreams(int outFd, int errFd);

// NetApi buffers and registry keys handed out and not yet given back.
int SimOutstandingBuffers(void);

// FormatMessageA buffers (FORMAT_MESSAGE_ALLOCATE_BUFFER) not yet given back
// with LocalFree.
int SimOutstandingLocalBuffers(void);

// NetApiBufferFree, RegCloseKey and LocalFree calls with something the machine
// did not hand out or that was given back already (a double release).
int SimBadReleases(void);

// Bytes written to files since the machine was loaded, as write_limit counts
// them (CR LF counts two, copies made by CopyFileA count).
uint64_t SimBytesWritten(void);

// The host path of a Windows path under the machine's drive mapping. False
// when the drive does not exist or the result does not fit.
bool SimMapPath(const char* windowsPath, char* hostPath, size_t hostPathSize);

#endif
