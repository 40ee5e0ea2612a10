#pragma once
// Sound files made at test time: a small WAV writer for exact PCM references and the ffmpeg
// tool for the compressed formats.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace testmedia {

// A private directory under the system temp directory, made on first use and removed with
// everything in it when the test program ends.
const std::filesystem::path& Dir();
std::string File(const std::string& name);  // a path in Dir()

// A rising tone, different on each channel and far from zero at frame 0, that never repeats
// within a few seconds, so a position can be recognised from a handful of samples.
float Sweep(int channel, std::int64_t frame, int rate);
// What a 16-bit WAV sample of `x` decodes back to, exactly.
float Quantize(float x);

using Generator = std::function<float(int channel, std::int64_t frame)>;
void WriteWav(const std::string& path, int rate, int channels, std::int64_t frames, const Generator& generator);
void WriteSweepWav(const std::string& path, int rate, int channels, double seconds);
// 32-bit float stereo WAV: the values go in untouched (NaN, infinities, beyond ±1 included).
void WriteFloatWav(const std::string& path, int rate, const std::vector<float>& interleavedStereo);
void WriteText(const std::string& path, const std::string& text);

// Runs `ffmpeg -i from <options> to` quietly; true when it succeeded.
bool Convert(const std::string& from, const std::string& options, const std::string& to);

}  // namespace testmedia
