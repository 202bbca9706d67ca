// A fast byte search: msvcrt's memchr looks at one byte at a time.
#pragma once

#include <cstddef>

// The first `c` in the `size` bytes at `bytes`, or NULL.
const char* FindByte(const char* bytes, size_t size, char c);
