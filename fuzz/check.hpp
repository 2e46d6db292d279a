#pragma once

#include <cstdio>
#include <cstdlib>

// A property that must hold for every input; a failure aborts, which the
// fuzzer reports as a crash and keeps the input.
#define FUZZ_CHECK(condition)                                                                     \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (false)
