#pragma once
// The one output format the whole engine works in. Decoders convert into it, the mixer sums in
// it and every output (device, null, offline) consumes it, so no stage ever converts twice.
#include <cstddef>
#include <cstdint>

namespace audio {

inline constexpr int kSampleRate = 48000;
inline constexpr int kChannels = 2;  // interleaved left, right
// The mixer works in blocks of this many frames whatever size the device asks for, so the
// latency from a command to the first audible frame is bounded by one block.
inline constexpr int kBlockFrames = 256;
// A full-scale gain change (stop, a volume change) is spread over this many frames (2 ms): short
// enough that a stop is silent within 5 ms, long enough that neither stop nor a volume change
// clicks. A smaller change takes its share of it; a sound that starts plays at its level at once.
inline constexpr int kRampFrames = 96;

inline constexpr std::int64_t FramesFromMs(std::int64_t ms) {
    return ms * kSampleRate / 1000;
}
inline constexpr std::int64_t MsFromFrames(std::int64_t frames) {
    return frames * 1000 / kSampleRate;
}

}  // namespace audio
