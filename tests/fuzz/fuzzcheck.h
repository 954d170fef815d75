#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A property every input must keep. A broken one aborts, so the fuzzer keeps the input as a
// crash and the corpus replay fails on it.
inline void FuzzCheck(bool kept, const char* what, const char* file = __builtin_FILE(), int line = __builtin_LINE())
{
    if (!kept)
        std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what), std::abort();
}
#define FUZZ_CHECK(condition) FuzzCheck(static_cast<bool>(condition), #condition)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Optional: a target without one has nothing to set up.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);
