// libFuzzer target: a sound file of arbitrary bytes opened and rendered on an offline engine.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "fuzz_targets.h"

namespace {
std::filesystem::path g_folder;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char folder[] = "/tmp/sorvane-fuzz-decoder-XXXXXX";
    if (mkdtemp(folder) == nullptr) std::abort();
    g_folder = folder;
    std::atexit([] { std::error_code ignored; std::filesystem::remove_all(g_folder, ignored); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string problem = fuzzing::CheckDecode(g_folder, data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "decoder: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
