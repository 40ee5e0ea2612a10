// libFuzzer target: a sound file of arbitrary bytes opened and rendered on an offline engine.
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzzing::Report("decoder", fuzzing::CheckDecode(testmedia::Dir(), data, size));
}
