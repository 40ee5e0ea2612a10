// libFuzzer target: scripts of media service commands, one per line, against one offline
// service that runs in a private folder holding a short sound "a.wav".
#include <unistd.h>

#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static mci::Service* service = [] {
        if (chdir(testmedia::Dir().c_str()) != 0) std::abort();
        fuzzing::WriteShortWav("a.wav", 4800);
        return new mci::Service(mci::Service::Offline);
    }();
    const std::string problem = fuzzing::CheckCommandScript(*service, data, size);
    fuzzing::ResetService(*service);
    return fuzzing::Report("command script", problem);
}
