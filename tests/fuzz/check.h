// A broken promise is a finding: libFuzzer keeps the input that led to it.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void Check(bool kept, const char* promise) {
    if (!kept) {
        fprintf(stderr, "check failed: %s\n", promise);
        abort();
    }
}
