#pragma once
// Sound files made at test time in a private folder, removed when the program ends: a small WAV
// writer for exact references and the ffmpeg tool for the compressed formats.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace testmedia {

const std::filesystem::path& Dir();
std::string File(const std::string& name);  // a path in Dir()
// A rising tone, different on each channel, that never repeats within seconds, so a position can
// be recognised from a handful of samples; and what a 16-bit WAV sample of `x` decodes back to.
float Sweep(int channel, std::int64_t frame, int rate);
float Quantize(float x);

using Generator = std::function<float(int channel, std::int64_t frame)>;
// 16-bit PCM, or with `asFloat` 32-bit float holding the values untouched (NaN, beyond ±1).
void WriteWav(const std::string& path, int rate, int channels, std::int64_t frames, const Generator& generator,
              bool asFloat = false);
void WriteSweepWav(const std::string& path, int rate, int channels, double seconds);
void WriteText(const std::string& path, const std::string& text);
// Runs `ffmpeg -i from <options> to` quietly; true when it succeeded.
bool Convert(const std::string& from, const std::string& options, const std::string& to);

}  // namespace testmedia
