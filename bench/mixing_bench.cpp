// 39 voices streaming at once (mp3 and WAV): the audio thread's work per block, and the share of
// one core that decoding them all takes.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "audio/audio_format.h"
#include "audio/engine.h"
#include "bench_media.h"

namespace {

using Clock = std::chrono::steady_clock;

void BM_Mix39Voices(benchmark::State& state) {
    const std::string mp3 = benchmedia::File("sweep-300s.mp3", 300, "-c:a libmp3lame -b:a 192k");
    const std::string wav = benchmedia::File("sweep-60s.wav", 60, "-ar 48000 -c:a pcm_s16le");
    const std::string wav44 = benchmedia::File("sweep-60s-44k.wav", 60, "-c:a pcm_s16le");
    if (mp3.empty() || wav.empty() || wav44.empty()) {
        state.SkipWithError("could not make the test files");
        return;
    }
    audio::Engine engine(audio::Engine::OutputKind::Offline);
    for (int i = 0; i < 39; ++i) {
        const std::string& file = i % 2 == 0 ? mp3 : (i % 4 == 1 ? wav : wav44);
        audio::Engine::VoiceId id = -1;
        if (engine.open(file, id) != audio::OpenResult::Ok) {
            state.SkipWithError("open failed");
            return;
        }
        engine.seek(id, 1000 + i * 500);
        engine.play(id);
    }
    constexpr int kSeconds = 20;
    constexpr int kBlocks = kSeconds * audio::kSampleRate / audio::kBlockFrames;
    constexpr int kBlocksPerPrefetch = 16;  // 85 ms, as the decoder thread keeps ~250 ms ahead
    std::vector<float> block(audio::kBlockFrames * 2);
    std::vector<double> mixMicros;
    mixMicros.reserve(kBlocks);
    double decodeSeconds = 0;
    for (auto _ : state) {
        for (int b = 0; b < kBlocks; ++b) {
            if (b % kBlocksPerPrefetch == 0) {
                const auto t0 = Clock::now();
                engine.prefetchOffline();
                decodeSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
            }
            const auto t0 = Clock::now();
            engine.render(block.data(), audio::kBlockFrames);
            engine.commit(engine.position());  // as an output that never renders a stretch again
            mixMicros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
    }
    const double blockMicros = 1e6 * audio::kBlockFrames / audio::kSampleRate;
    state.counters["mix_median_us"] = benchmedia::Median(mixMicros);
    state.counters["mix_median_pct_of_block"] = 100.0 * benchmedia::Median(mixMicros) / blockMicros;
    state.counters["mix_p99_pct_of_block"] = 100.0 * benchmedia::Percentile(mixMicros, 0.99) / blockMicros;
    state.counters["decode_pct_of_core"] = 100.0 * decodeSeconds / kSeconds;
    state.counters["underruns"] = static_cast<double>(engine.underrunCount());
    if (engine.underrunCount() != 0) state.SkipWithError("underruns while mixing");
}
BENCHMARK(BM_Mix39Voices)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
