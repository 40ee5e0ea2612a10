// Opening a 5-minute mp3 until its length is known and it can play; and the memory that 38 open
// 5-minute mp3 devices hold.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/engine.h"
#include "bench_media.h"

namespace {

using Clock = std::chrono::steady_clock;

void BM_Open5MinuteMp3(benchmark::State& state) {
    const std::string mp3 = benchmedia::File("sweep-300s.mp3", 300, "-c:a libmp3lame -b:a 192k");
    if (mp3.empty()) {
        state.SkipWithError("could not make the test file");
        return;
    }
    audio::Engine engine(audio::Engine::OutputKind::Offline);
    std::vector<double> millis;
    std::int64_t length = 0;
    for (auto _ : state) {
        for (int i = 0; i < 100; ++i) {
            audio::Engine::VoiceId id = -1;
            const auto t0 = Clock::now();
            const auto result = engine.open(mp3, id);
            length = engine.lengthMs(id);
            millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            if (result != audio::OpenResult::Ok) state.SkipWithError("open failed");
            engine.close(id);
        }
    }
    state.counters["open_median_ms"] = benchmedia::Median(millis);
    state.counters["length_ms"] = static_cast<double>(length);
}
BENCHMARK(BM_Open5MinuteMp3)->Iterations(1)->Unit(benchmark::kMillisecond);

double ResidentMegabytes() {
#if defined(__linux__)
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
#endif
    return -1;
}

// Run alone (its own process) for a meaningful figure: scripts/bench.sh does.
void BM_Memory38PlayingMp3Devices(benchmark::State& state) {
    const std::string mp3 = benchmedia::File("sweep-300s.mp3", 300, "-c:a libmp3lame -b:a 192k");
    if (mp3.empty()) {
        state.SkipWithError("could not make the test file");
        return;
    }
    const double before = ResidentMegabytes();
    double opened = 0;
    double playing = 0;
    for (auto _ : state) {
        audio::Engine engine(audio::Engine::OutputKind::Null);
        std::vector<audio::Engine::VoiceId> ids;
        for (int i = 0; i < 38; ++i) {
            audio::Engine::VoiceId id = -1;
            if (engine.open(mp3, id) != audio::OpenResult::Ok) state.SkipWithError("open failed");
            ids.push_back(id);
        }
        opened = ResidentMegabytes();
        for (auto id : ids) {
            engine.seek(id, 150000);  // a seek away from the start also builds the packet table
            engine.play(id);
        }
        std::this_thread::sleep_for(std::chrono::seconds(2));  // rings filled, decoders running
        playing = ResidentMegabytes();
    }
    state.counters["rss_before_mb"] = before;
    state.counters["rss_38_open_mb"] = opened;
    state.counters["rss_38_playing_mb"] = playing;
}
BENCHMARK(BM_Memory38PlayingMp3Devices)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
