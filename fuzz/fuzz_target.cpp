// libFuzzer entry point of one fuzz target: VELMORA_FUZZ_CHECK names the
// check of checks.hpp that the target runs on every input.

#include "checks.hpp"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The search prints its progress; the fuzzer's own lines go to stderr.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    const std::string fault = VELMORA_FUZZ_CHECK(data, size);
    if (!fault.empty()) {
        std::fprintf(stderr, "velmora fuzz finding: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
