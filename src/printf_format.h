// The format check of printf-style functions: mingw-w64's C99 printf
// (__USE_MINGW_ANSI_STDIO) is GNU's, not msvcrt's.
#pragma once

#ifdef _WIN32
#define ACCTMAP_PRINTF(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define ACCTMAP_PRINTF(f, a) __attribute__((format(printf, f, a)))
#endif
