// libFuzzer target: the slot list reader on arbitrary bytes.
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzzing::Report("slot list", fuzzing::CheckSlotList(data, size));
}
