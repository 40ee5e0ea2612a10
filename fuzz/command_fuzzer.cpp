// libFuzzer target: scripts of media service commands, one per line, against one offline
// service that runs in a private folder holding a short sound "a.wav".
#include "fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static mci::Service* service = [] {
        std::filesystem::current_path(testmedia::Dir());
        fuzzing::WriteShortWav("a.wav", 4800);
        return new mci::Service(mci::Service::Offline);
    }();
    return fuzzing::Report("command script", fuzzing::CheckCommandScript(*service, data, size));
}
