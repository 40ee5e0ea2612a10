#include "test_media.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

namespace testmedia {
namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device random;
  m_path = fs::temp_directory_path() / ("sorvane-test-" + std::to_string(random()) + std::to_string(random()));
  fs::create_directories(m_path);
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(m_path, ignored);
}

float Sweep(int channel, std::int64_t frame, int rate) {
  const double t = static_cast<double>(frame) / rate;
  const double start = channel == 0 ? 300.0 : 450.0;
  return static_cast<float>(0.5 * std::sin(2.0 * M_PI * (start + 150.0 * t) * t + 1.0 + channel));
}

float Quantize(float x) {
  const long v = std::lround(std::clamp(x, -1.0f, 1.0f) * 32767.0f);
  return static_cast<float>(v) / 32768.0f;
}

namespace {
void Put16(std::ofstream& out, std::uint16_t v) { out.put(static_cast<char>(v & 0xff)).put(static_cast<char>(v >> 8)); }
void Put32(std::ofstream& out, std::uint32_t v) {
  Put16(out, static_cast<std::uint16_t>(v & 0xffff));
  Put16(out, static_cast<std::uint16_t>(v >> 16));
}
}  // namespace

void WriteWav(const std::string& path, int rate, int channels, std::int64_t frames, const Generator& generator) {
  std::ofstream out(path, std::ios::binary);
  const auto dataBytes = static_cast<std::uint32_t>(frames * channels * 2);
  out.write("RIFF", 4);
  Put32(out, 36 + dataBytes);
  out.write("WAVEfmt ", 8);
  Put32(out, 16);
  Put16(out, 1);  // PCM
  Put16(out, static_cast<std::uint16_t>(channels));
  Put32(out, static_cast<std::uint32_t>(rate));
  Put32(out, static_cast<std::uint32_t>(rate * channels * 2));
  Put16(out, static_cast<std::uint16_t>(channels * 2));
  Put16(out, 16);
  out.write("data", 4);
  Put32(out, dataBytes);
  for (std::int64_t f = 0; f < frames; ++f) {
    for (int c = 0; c < channels; ++c) {
      const long v = std::lround(std::clamp(generator(c, f), -1.0f, 1.0f) * 32767.0f);
      Put16(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
    }
  }
}

void WriteFloatWav(const std::string& path, int rate, const std::vector<float>& interleavedStereo) {
  std::ofstream out(path, std::ios::binary);
  const auto dataBytes = static_cast<std::uint32_t>(interleavedStereo.size() * 4);
  out.write("RIFF", 4);
  Put32(out, 36 + dataBytes);
  out.write("WAVEfmt ", 8);
  Put32(out, 16);
  Put16(out, 3);  // IEEE float
  Put16(out, 2);
  Put32(out, static_cast<std::uint32_t>(rate));
  Put32(out, static_cast<std::uint32_t>(rate * 8));
  Put16(out, 8);
  Put16(out, 32);
  out.write("data", 4);
  Put32(out, dataBytes);
  out.write(reinterpret_cast<const char*>(interleavedStereo.data()), static_cast<std::streamsize>(dataBytes));
}

void WriteSweepWav(const std::string& path, int rate, int channels, double seconds) {
  WriteWav(path, rate, channels, static_cast<std::int64_t>(seconds * rate),
           [rate](int c, std::int64_t f) { return Sweep(c, f, rate); });
}

std::string Quoted(const std::string& path) {
  std::string quoted = "'";
  for (char c : path) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

bool Ffmpeg(const std::string& args) {
  const std::string command = "ffmpeg -nostdin -y -v error " + args;
  return std::system(command.c_str()) == 0;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

float MaxDifference(const float* a, const float* b, std::size_t floats) {
  float worst = 0.0f;
  for (std::size_t i = 0; i < floats; ++i) worst = std::max(worst, std::fabs(a[i] - b[i]));
  return worst;
}

}  // namespace testmedia
