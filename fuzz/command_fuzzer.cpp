// libFuzzer target: scripts of media service commands, one per line, against one offline
// service that runs in a private folder holding a short sound "a.wav".
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "fuzz_targets.h"

namespace {
mci::Service* g_service = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char folder[] = "/tmp/sorvane-fuzz-command-XXXXXX";
    if (mkdtemp(folder) == nullptr || chdir(folder) != 0) std::abort();
    static const std::filesystem::path kept = folder;
    std::atexit([] { std::error_code ignored; std::filesystem::remove_all(kept, ignored); });
    fuzzing::WriteShortWav("a.wav", 4800);
    g_service = new mci::Service(mci::Service::Offline);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string problem = fuzzing::CheckCommandScript(*g_service, data, size);
    fuzzing::ResetService(*g_service);
    if (!problem.empty()) {
        std::fprintf(stderr, "command script: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
