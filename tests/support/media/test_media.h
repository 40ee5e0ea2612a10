#pragma once
// Sound files made at test time in a private folder removed at exit: WAV written here, other kinds by ffmpeg.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

namespace testmedia {
namespace fs = std::filesystem;

inline const fs::path& Dir() {
    static const struct Folder {
        fs::path path = fs::temp_directory_path() / ("sorvane-test-" + std::to_string(std::random_device()()));
        mutable std::error_code ignored;
        Folder() { fs::create_directories(path); }
        ~Folder() { fs::remove_all(path, ignored); }
    } folder;
    return folder.path;
}

// A rising tone, different on each channel and never repeating: a few samples tell the position.
inline float Sweep(int channel, std::int64_t frame, int rate) {
    const double t = static_cast<double>(frame) / rate;
    const double start = channel == 0 ? 300.0 : 450.0;
    return static_cast<float>(0.5 * std::sin(2.0 * M_PI * (start + 150.0 * t) * t + 1.0 + channel));
}

// 16-bit PCM of `generator` (else the sweep), or with `asFloat` 32-bit float holding any value.
using Generator = std::function<float(int channel, std::int64_t frame)>;
inline void WriteWav(const std::string& path, int rate, int channels, std::int64_t frames,
                     const Generator& generator = {}, bool asFloat = false) {
    std::ofstream out(path, std::ios::binary);
    const auto le = [&out](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xff));
    };
    const std::uint32_t frameBytes = channels * (asFloat ? 4 : 2);
    const std::uint32_t dataBytes = std::uint32_t(frames) * frameBytes;
    out << "RIFF";
    le(36 + dataBytes, 4);
    out << "WAVEfmt ";
    le(16, 4);               // the format chunk's size
    le(asFloat ? 3 : 1, 2);  // IEEE float or PCM
    le(channels, 2);
    le(rate, 4);
    le(rate * frameBytes, 4);  // bytes a second
    le(frameBytes, 2);
    le(asFloat ? 32 : 16, 2);  // bits a sample
    out << "data";
    le(dataBytes, 4);
    for (std::int64_t i = 0; i < frames * channels; ++i) {
        const int c = int(i % channels);
        const float x = generator ? generator(c, i / channels) : Sweep(c, i / channels, rate);
        std::uint32_t word = static_cast<std::uint16_t>(std::lround(std::clamp(x, -1.0f, 1.0f) * 32767.0f));
        if (asFloat) std::memcpy(&word, &x, 4);
        le(word, asFloat ? 4 : 2);
    }
}

// Runs `ffmpeg -i from <options> to` quietly in the working folder; true when it succeeded.
inline bool Convert(const std::string& from, const std::string& options, const std::string& to) {
    return std::system(("ffmpeg -nostdin -y -v error -i '" + from + "' " + options + " '" + to + "'").c_str()) == 0;
}

}  // namespace testmedia
