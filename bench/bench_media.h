#pragma once
// Sound files for the benchmarks, made once per run with the ffmpeg tool in a temp directory.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace benchmedia {

inline const std::filesystem::path& Directory() {
    static const std::filesystem::path dir = [] {
        auto path = std::filesystem::temp_directory_path() / "sorvane-bench-media";
        std::filesystem::create_directories(path);
        return path;
    }();
    return dir;
}

// A tone sweep of `seconds` in the format the file name's extension says; made once and reused
// by later runs (the name says what it holds).
inline std::string File(const std::string& name, int seconds, const std::string& codecArgs = "") {
    const auto path = Directory() / name;
    if (!std::filesystem::exists(path)) {
        const std::string command =
            "ffmpeg -nostdin -y -v error -f lavfi -i "
            "\"aevalsrc=0.4*sin(2*PI*(300+3*t)*t+1)|0.4*sin(2*PI*(420+2*t)*t+2):s=44100:d=" +
            std::to_string(seconds) + "\" " + codecArgs + " '" + path.string() + ".part." +
            path.extension().string().substr(1) + "'";
        if (std::system(command.c_str()) != 0) return {};
        std::filesystem::rename(path.string() + ".part." + path.extension().string().substr(1), path);
    }
    return path.string();
}

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

}  // namespace benchmedia
