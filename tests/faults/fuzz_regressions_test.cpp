// Replays every input the fuzzers ever tripped over (fuzz/regressions/<kind>/) and their seeds
// through the same checks the fuzzers run, so a fixed fault stays fixed.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "board_fixture.h"
#include "fuzz_checks.h"

namespace {

namespace fs = std::filesystem;
using Check = std::function<std::string(const std::vector<std::uint8_t>&)>;

TEST_F(BoardTest, KeptFuzzInputsPassTheFuzzersChecks) {
    testmedia::WriteWav("a.wav", 48000, 2, 4800);  // the sound the command seeds open
    mci::Service service(mci::Service::Offline);
    const std::pair<const char*, Check> checks[] = {
        {"slot_list", [](const auto& bytes) { return fuzzing::CheckSlotList(bytes.data(), bytes.size()); }},
        {"command",
         [&](const auto& bytes) { return fuzzing::CheckCommandScript(service, bytes.data(), bytes.size()); }},
        {"decoder",
         [&](const auto& bytes) { return fuzzing::CheckDecode(fs::current_path(), bytes.data(), bytes.size()); }},
    };
    const fs::path fuzzFolder = fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz";
    for (const auto& [kind, check] : checks) {
        std::vector<fs::path> inputs;
        for (const char* set : {"regressions", "seeds"})
            if (fs::is_directory(fuzzFolder / set / kind))
                for (const auto& entry : fs::directory_iterator(fuzzFolder / set / kind))
                    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') inputs.push_back(entry);
        EXPECT_FALSE(inputs.empty()) << kind << " has no inputs under " << fuzzFolder;
        std::sort(inputs.begin(), inputs.end());
        for (const fs::path& input : inputs) {
            std::ifstream in(input, std::ios::binary);
            const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
            // Sounds open on the board's thread: an input that takes seconds would freeze it.
            const auto started = std::chrono::steady_clock::now();
            EXPECT_EQ(check(bytes), "") << input;
            EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << input;
        }
    }
}

}  // namespace
