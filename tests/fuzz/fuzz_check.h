#pragma once
// What the fuzz targets share: a property check that stops the run with the
// failed condition's text, so that a violated rule is a crash the fuzzer
// keeps, not a quiet wrong answer.
#include <cstdio>
#include <cstdlib>

#define KLV_FUZZ_CHECK(condition)                                                                 \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)
