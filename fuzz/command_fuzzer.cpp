// libFuzzer target: media service command scripts on one offline service, by a short "a.wav".
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static mci::Service* service = [] {
        std::filesystem::current_path(testmedia::Dir());
        testmedia::WriteWav("a.wav", 48000, 2, 4800);
        return new mci::Service(mci::Service::Offline);
    }();
    return fuzzing::Report("command script", fuzzing::CheckCommandScript(*service, data, size));
}
