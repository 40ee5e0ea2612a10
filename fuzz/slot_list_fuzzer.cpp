// libFuzzer target: the slot list reader on arbitrary bytes.
#include <cstdio>
#include <cstdlib>

#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string problem = fuzzing::CheckSlotList(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "slot list: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
