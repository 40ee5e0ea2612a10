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

// Every kept input of one fuzzer with its bytes, in name order; none is a failure in itself.
std::vector<std::pair<fs::path, std::vector<std::uint8_t>>> InputsOf(const std::string& kind) {
    const fs::path fuzzFolder = fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz";
    std::vector<fs::path> paths;
    for (const char* set : {"regressions", "seeds"})
        if (fs::is_directory(fuzzFolder / set / kind))
            for (const auto& entry : fs::directory_iterator(fuzzFolder / set / kind))
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') paths.push_back(entry);
    std::sort(paths.begin(), paths.end());
    EXPECT_FALSE(paths.empty()) << kind << " has no inputs under " << fuzzFolder;
    std::vector<std::pair<fs::path, std::vector<std::uint8_t>>> inputs;
    for (const fs::path& path : paths) {
        std::ifstream in(path, std::ios::binary);
        inputs.emplace_back(path, std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}));
    }
    return inputs;
}

TEST(FuzzRegressions, SlotListReader) {
    for (const auto& [path, bytes] : InputsOf("slot_list"))
        EXPECT_EQ(fuzzing::CheckSlotList(bytes.data(), bytes.size()), "") << path;
}

TEST(FuzzRegressions, CommandScripts) {
    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    fuzzing::WriteShortWav("a.wav", 4800);
    mci::Service service(mci::Service::Offline);
    for (const auto& [path, bytes] : InputsOf("command")) {
        EXPECT_EQ(fuzzing::CheckCommandScript(service, bytes.data(), bytes.size()), "") << path;
        fuzzing::ResetService(service);
    }
    QDir::setCurrent(previous);
}

// Opening and playing a small file is a matter of milliseconds; a header that makes it take
// seconds freezes the board, since sounds open on its thread.
TEST(FuzzRegressions, Decoder) {
    QTemporaryDir folder;
    for (const auto& [path, bytes] : InputsOf("decoder")) {
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(fuzzing::CheckDecode(folder.path().toStdString(), bytes.data(), bytes.size()), "") << path;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << path;
    }
}

}  // namespace
