// Seek + play latency, and that the very next block already carries the sound from its first
// frame, over 10,000 random positions.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <random>
#include <vector>

#include "audio/audio_format.h"
#include "audio/decoder.h"
#include "audio/engine.h"
#include "bench_media.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<float> DecodeWhole(const std::string& path) {
    audio::DecoderOpenError error;
    auto decoder = audio::Decoder::Open(path, error);
    std::vector<float> all;
    if (!decoder) return all;
    std::vector<float> chunk(8192 * 2);
    while (std::size_t n = decoder->read(chunk.data(), 8192))
        all.insert(all.end(), chunk.begin(), chunk.begin() + n * 2);
    return all;
}

void PlayToSound(benchmark::State& state, const std::string& path) {
    constexpr int kTrials = 10000;
    if (path.empty()) {
        state.SkipWithError("could not make the test file");
        return;
    }
    const std::vector<float> reference = DecodeWhole(path);
    audio::Engine engine(audio::Engine::OutputKind::Offline);
    audio::Engine::VoiceId id = -1;
    if (engine.open(path, id) != audio::OpenResult::Ok) {
        state.SkipWithError("open failed");
        return;
    }
    const std::int64_t lengthMs = engine.lengthMs(id);
    std::mt19937 random(42);
    std::uniform_int_distribution<std::int64_t> position(0, lengthMs - 100);
    std::vector<double> micros;
    micros.reserve(kTrials);
    std::vector<float> block(audio::kBlockFrames * 2);
    int wrong = 0;
    for (auto _ : state) {
        for (int trial = 0; trial < kTrials; ++trial) {
            const std::int64_t ms = position(random);
            const auto t0 = Clock::now();
            engine.seek(id, ms);
            engine.play(id);
            const auto t1 = Clock::now();
            micros.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            engine.render(block.data(), audio::kBlockFrames);  // the audio thread's next block
            const std::size_t at = static_cast<std::size_t>(audio::FramesFromMs(ms)) * 2;
            // The block must be the sound at that position from its first frame on: equal to the
            // linear decode there (within mp3 rounding), and not silence.
            float worst = 0;
            float loudest = 0;
            for (int k = 0; k < audio::kBlockFrames * 2; ++k) {
                worst = std::max(worst, std::fabs(block[k] - reference[at + k]));
                loudest = std::max(loudest, std::fabs(block[k]));
            }
            const bool firstFrameHeard =
                std::fabs(block[0] - reference[at]) <= 0.02f && std::fabs(block[1] - reference[at + 1]) <= 0.02f;
            if (worst > 0.02f || loudest < 0.1f || !firstFrameHeard) ++wrong;
            engine.stop(id);
            engine.renderOffline(block.data(), audio::kBlockFrames);  // let the fade finish
        }
    }
    state.counters["trials"] = kTrials;
    state.counters["blocks_without_the_sound"] = wrong;
    state.counters["seek_play_median_us"] = benchmedia::Median(micros);
    state.counters["seek_play_p99_us"] = benchmedia::Percentile(micros, 0.99);
    if (wrong != 0) state.SkipWithError("a block after play did not hold the sound");
}

void BM_PlayToSoundWav(benchmark::State& state) {
    PlayToSound(state, benchmedia::File("sweep-60s.wav", 60, "-ar 48000 -c:a pcm_s16le"));
}
void BM_PlayToSoundMp3(benchmark::State& state) {
    PlayToSound(state, benchmedia::File("sweep-60s.mp3", 60, "-ar 48000 -c:a libmp3lame -b:a 192k"));
}
BENCHMARK(BM_PlayToSoundWav)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlayToSoundMp3)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
