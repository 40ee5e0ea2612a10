#pragma once
// The exact length of an mp3 that carries a Xing/Info frame with the LAME extension.
//
// The demuxer reports such a file's length as whole frames; the audio actually played is
// shorter by the encoder delay and the end padding that the LAME extension records (and that the
// decoder trims). Reading those two numbers here keeps the reported length within a sample of
// what is heard.
#include <cstdint>
#include <filesystem>
#include <optional>

namespace audio {

// Samples at the file's own rate, or nothing when the file has no Xing/Info frame count.
std::optional<std::int64_t> ExactMp3LengthSamples(const std::filesystem::path& file);

}  // namespace audio
