#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A property every input must keep. A broken one aborts, so the fuzzer keeps the input as a
// crash and the corpus replay fails on it.
#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Optional: a target without one has nothing to set up.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);
