#include "mp3_length.h"

#include <array>
#include <fstream>
#include <vector>

namespace audio {
namespace {

std::uint32_t Be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

constexpr std::size_t kScanBytes = 16 * 1024;  // the first frame follows the tag closely

}  // namespace

std::optional<std::int64_t> ExactMp3LengthSamples(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> head(10);
    if (!in.read(reinterpret_cast<char*>(head.data()), 10)) return std::nullopt;
    std::uint64_t start = 0;
    if (head[0] == 'I' && head[1] == 'D' && head[2] == '3') {
        // ID3v2 size is "synchsafe": 7 bits per byte.
        start = 10 + ((std::uint64_t{head[6]} & 0x7f) << 21 | (std::uint64_t{head[7]} & 0x7f) << 14 |
                      (std::uint64_t{head[8]} & 0x7f) << 7 | (std::uint64_t{head[9]} & 0x7f));
        if (head[5] & 0x10) start += 10;  // footer
    }
    in.seekg(static_cast<std::streamoff>(start));
    std::vector<std::uint8_t> bytes(kScanBytes);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));

    for (std::size_t i = 0; i + 4 <= bytes.size(); ++i) {
        const std::uint8_t* h = &bytes[i];
        if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) continue;
        const int version = (h[1] >> 3) & 3;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
        const int layer = (h[1] >> 1) & 3;    // 1: layer III
        if (version == 1 || layer != 1 || ((h[2] >> 2) & 3) == 3 || (h[2] >> 4) == 15) continue;
        const bool mpeg1 = version == 3;
        const bool mono = ((h[3] >> 6) & 3) == 3;
        const std::size_t tag = i + 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
        if (tag + 8 > bytes.size()) return std::nullopt;
        const std::uint32_t id = Be32(&bytes[tag]);
        if (id != Be32(reinterpret_cast<const std::uint8_t*>("Xing")) &&
            id != Be32(reinterpret_cast<const std::uint8_t*>("Info"))) {
            return std::nullopt;  // the first frame is audio: no header to read
        }
        const std::uint32_t flags = Be32(&bytes[tag + 4]);
        std::size_t p = tag + 8;
        if (!(flags & 1) || p + 4 > bytes.size()) return std::nullopt;
        const std::int64_t frames = Be32(&bytes[p]);
        p += 4;
        if (flags & 2) p += 4;
        if (flags & 4) p += 100;
        if (flags & 8) p += 4;
        const std::int64_t samplesPerFrame = mpeg1 ? 1152 : 576;
        std::int64_t samples = frames * samplesPerFrame;
        // LAME extension: 9 bytes of encoder name, then at offset 21 the delay and padding, 12 bits each.
        if (p + 24 <= bytes.size()) {
            const std::uint8_t* lame = &bytes[p];
            const int delay = (lame[21] << 4) | (lame[22] >> 4);
            const int padding = ((lame[22] & 0x0F) << 8) | lame[23];
            if (delay + padding < samples) samples -= delay + padding;
        }
        return samples;
    }
    return std::nullopt;
}

}  // namespace audio
