// Replays every input the fuzzers ever tripped over (fuzz/regressions/<kind>/) and their seeds
// through the same checks the fuzzers run, so a fixed fault stays fixed.
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../../fuzz/fuzz_targets.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFuzzFolder = fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz";

std::vector<fs::path> InputsOf(const std::string& kind) {
    std::vector<fs::path> inputs;
    for (const char* set : {"regressions", "seeds"}) {
        const fs::path folder = kFuzzFolder / set / kind;
        if (!fs::is_directory(folder)) continue;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

std::vector<std::uint8_t> Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FuzzRegressions, SeedsAreThere) {
    for (const char* kind : {"slot_list", "command", "decoder"})
        EXPECT_FALSE(InputsOf(kind).empty()) << kind << " has no inputs under " << kFuzzFolder;
}

TEST(FuzzRegressions, SlotListReader) {
    for (const fs::path& input : InputsOf("slot_list")) {
        const auto bytes = Bytes(input);
        EXPECT_EQ(fuzzing::CheckSlotList(bytes.data(), bytes.size()), "") << input;
    }
}

TEST(FuzzRegressions, CommandScripts) {
    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    fuzzing::WriteShortWav("a.wav", 4800);
    mci::Service service(mci::Service::Offline);
    for (const fs::path& input : InputsOf("command")) {
        const auto bytes = Bytes(input);
        EXPECT_EQ(fuzzing::CheckCommandScript(service, bytes.data(), bytes.size()), "") << input;
        fuzzing::ResetService(service);
    }
    QDir::setCurrent(previous);
}

// Opening and playing a small file is a matter of milliseconds; a header that makes it take
// seconds freezes the board, since sounds open on its thread.
TEST(FuzzRegressions, Decoder) {
    QTemporaryDir folder;
    for (const fs::path& input : InputsOf("decoder")) {
        const auto bytes = Bytes(input);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(fuzzing::CheckDecode(folder.path().toStdString(), bytes.data(), bytes.size()), "") << input;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << input;
    }
}

}  // namespace
