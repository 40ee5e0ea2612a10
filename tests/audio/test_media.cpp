#include "test_media.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>

namespace testmedia {
namespace fs = std::filesystem;

namespace {
struct TempDir {
  fs::path path = fs::temp_directory_path() / ("sorvane-test-" + std::to_string(std::random_device()()));
  TempDir() { fs::create_directories(path); }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

long ToPcm16(float x) { return std::lround(std::clamp(x, -1.0f, 1.0f) * 32767.0f); }

// `value` as `bytes` little-endian bytes.
std::string Le(std::uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xff);
  return out;
}

// `format` 1 is integer PCM, 3 is IEEE float.
std::ofstream WavHeader(const std::string& path, int format, int rate, int channels, int bits, std::uint32_t dataBytes) {
  std::ofstream out(path, std::ios::binary);
  const int frameBytes = channels * bits / 8;
  out << "RIFF" << Le(36 + dataBytes, 4) << "WAVEfmt " << Le(16, 4) << Le(format, 2) << Le(channels, 2) << Le(rate, 4)
      << Le(rate * frameBytes, 4) << Le(frameBytes, 2) << Le(bits, 2) << "data" << Le(dataBytes, 4);
  return out;
}

std::string Quoted(const std::string& path) {
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}
}  // namespace

const fs::path& Dir() {
  static const TempDir dir;
  return dir.path;
}

std::string File(const std::string& name) { return (Dir() / name).string(); }

float Sweep(int channel, std::int64_t frame, int rate) {
  const double t = static_cast<double>(frame) / rate;
  const double start = channel == 0 ? 300.0 : 450.0;
  return static_cast<float>(0.5 * std::sin(2.0 * M_PI * (start + 150.0 * t) * t + 1.0 + channel));
}

float Quantize(float x) { return static_cast<float>(ToPcm16(x)) / 32768.0f; }

void WriteWav(const std::string& path, int rate, int channels, std::int64_t frames, const Generator& generator) {
  auto out = WavHeader(path, 1, rate, channels, 16, static_cast<std::uint32_t>(frames * channels * 2));
  for (std::int64_t f = 0; f < frames; ++f) {
    for (int c = 0; c < channels; ++c) out << Le(static_cast<std::uint16_t>(ToPcm16(generator(c, f))), 2);
  }
}

void WriteSweepWav(const std::string& path, int rate, int channels, double seconds) {
  WriteWav(path, rate, channels, static_cast<std::int64_t>(seconds * rate),
           [rate](int c, std::int64_t f) { return Sweep(c, f, rate); });
}

void WriteFloatWav(const std::string& path, int rate, const std::vector<float>& interleavedStereo) {
  const auto dataBytes = static_cast<std::uint32_t>(interleavedStereo.size() * 4);
  WavHeader(path, 3, rate, 2, 32, dataBytes)
      .write(reinterpret_cast<const char*>(interleavedStereo.data()), static_cast<std::streamsize>(dataBytes));
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

bool Convert(const std::string& from, const std::string& options, const std::string& to) {
  const std::string command = "ffmpeg -nostdin -y -v error -i " + Quoted(from) + " " + options + " " + Quoted(to);
  return std::system(command.c_str()) == 0;
}

}  // namespace testmedia
