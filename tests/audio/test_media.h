#pragma once
// Sound files for the engine and service tests, made at test time: a small WAV writer for exact
// PCM references and the ffmpeg tool for the compressed formats.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace testmedia {

// A private directory under the system temp directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return m_path; }
  std::string file(const std::string& name) const { return (m_path / name).string(); }

 private:
  std::filesystem::path m_path;
};

using Generator = std::function<float(int channel, std::int64_t frame)>;

// A rising tone, different on each channel and far from zero at frame 0, that never repeats
// within a few seconds, so a position can be recognised from a handful of samples.
float Sweep(int channel, std::int64_t frame, int rate);

// 16-bit PCM WAV. Every sample is a multiple of 1/32768, so decoding it gives back exactly
// Quantize(generator(...)).
void WriteWav(const std::string& path, int rate, int channels, std::int64_t frames, const Generator& generator);
// 32-bit float WAV: the values go in untouched (NaN, infinities, beyond ±1 included).
void WriteFloatWav(const std::string& path, int rate, const std::vector<float>& interleavedStereo);
void WriteSweepWav(const std::string& path, int rate, int channels, double seconds);
float Quantize(float x);

// Runs the ffmpeg tool: `ffmpeg -y -v error <args>`. Returns true when it succeeded.
bool Ffmpeg(const std::string& args);
// Quotes a path for the shell.
std::string Quoted(const std::string& path);

void WriteText(const std::string& path, const std::string& text);

// Largest absolute difference between two interleaved buffers over `floats` values.
float MaxDifference(const float* a, const float* b, std::size_t floats);

}  // namespace testmedia
