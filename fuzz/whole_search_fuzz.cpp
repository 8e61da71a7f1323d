// libFuzzer entry point; the properties checked are in checks.hpp.

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
    const std::string fault = checkWholeSearchInput(data, size);
    if (!fault.empty()) {
        std::fprintf(stderr, "velmora fuzz finding: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
