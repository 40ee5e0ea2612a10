// Decoding real files of every accepted kind: lengths, exact seeking and refusal of unsafe input.
#include "audio/decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

#include "audio/audio_format.h"
#include "test_media.h"

namespace {

using audio::Decoder;
using audio::DecoderOpenError;
using audio::kSampleRate;
using testmedia::File;

constexpr double kSeconds = 3.0;

struct MediaCase {
  const char* file;
  const char* ffmpegOptions;  // for the conversion from ref.wav
  bool exactLength;           // length within 1 ms of the audio decoded
  int seekToleranceFrames;    // 0: sample-exact
};

const MediaCase kCases[] = {
    {"ref.wav", nullptr, true, 0},
    {"ref.flac", "", true, 0},
    // Vorbis: after a seek the demuxer dates its first page from an estimated block size, so the
    // position can be off by part of one long block (up to 1024 frames). Known limitation.
    {"ref.ogg", "-c:a libvorbis", true, 1024},
    {"cbr.mp3", "-c:a libmp3lame -b:a 192k", true, 48},
    // Loud and quiet halves make the frame sizes vary widely.
    {"vbr.mp3", "-af 'volume=if(lt(mod(t\\,1)\\,0.5)\\,1\\,0.02):eval=frame' -c:a libmp3lame -q:a 4", true, 48},
    {"ref.m4a", "-c:a aac", false, 48},
    {"ref.opus", "-c:a libopus", false, 48},
    {"ref.aiff", "", true, 0},
    {"44k.wav", "-ar 44100", true, 0},  // resampled, still sample-exact
    {"44k.flac", "-ar 44100", true, 0},
    {"44k.mp3", "-ar 44100 -c:a libmp3lame", true, 48},
    {"ref.mkv", "-c:a flac", true, 0},
    {"ref.webm", "-c:a libopus", false, 48},
    {"ref.wma", "-c:a wmav2", false, 48},
    {"ref.aac", "-c:a aac", false, 48},
};

class DecoderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testmedia::WriteSweepWav(File("ref.wav"), kSampleRate, 2, kSeconds);
    for (const MediaCase& c : kCases) {
      ASSERT_TRUE(!c.ffmpegOptions || testmedia::Convert(File("ref.wav"), c.ffmpegOptions, File(c.file))) << c.file;
    }
  }
  static std::unique_ptr<Decoder> Open(const std::string& file) {
    DecoderOpenError error = DecoderOpenError::None;
    auto decoder = Decoder::Open(File(file), error);
    EXPECT_TRUE(decoder) << file << " error " << static_cast<int>(error);
    return decoder;
  }
  static std::vector<float> DecodeAll(Decoder& decoder) {
    std::vector<float> all, chunk(4096 * 2);
    while (std::size_t n = decoder.read(chunk.data(), 4096)) all.insert(all.end(), chunk.begin(), chunk.begin() + n * 2);
    return all;
  }
};

TEST_F(DecoderTest, EveryFormatHasTheLengthItDecodesAndSeeksToTheRequestedFrame) {
  for (const MediaCase& c : kCases) {
    SCOPED_TRACE(c.file);
    auto decoder = Open(c.file);
    ASSERT_TRUE(decoder);
    const std::vector<float> reference = DecodeAll(*decoder);
    const auto total = static_cast<std::int64_t>(reference.size() / 2);
    EXPECT_NEAR(static_cast<double>(total), kSeconds * kSampleRate, kSampleRate * 0.03);
    if (c.exactLength) { EXPECT_LE(std::llabs(decoder->lengthFrames() - total), kSampleRate / 1000); }

    for (std::int64_t target : {0, 17, 48000, 100003, 2 * 48000 + 12345}) {
      SCOPED_TRACE(target);
      ASSERT_TRUE(decoder->seek(target));
      std::vector<float> got(512 * 2);
      ASSERT_EQ(decoder->read(got.data(), 512), 512u);
      // Where in the linear decode do these samples sit? The sweep never repeats, so the best
      // match is unique.
      std::int64_t bestOffset = 0;
      float bestError = 1e9f;
      for (std::int64_t offset = -400; offset <= 400; ++offset) {
        const std::int64_t at = target + offset;
        if (at < 0 || at + 512 > total) continue;
        float error = 0;
        for (int k = 0; k < 1024; ++k) error += std::fabs(got[k] - reference[at * 2 + k]);
        if (error < bestError) { bestError = error; bestOffset = offset; }
      }
      EXPECT_LE(std::llabs(bestOffset), c.seekToleranceFrames);
      if (c.seekToleranceFrames == 0) { EXPECT_EQ(bestError, 0.0f); }
    }
    if (c.exactLength) {  // from a seek near the end: exactly the rest of the length, no padding
      ASSERT_TRUE(decoder->seek(decoder->lengthFrames() - 5000));
      EXPECT_NEAR(static_cast<double>(DecodeAll(*decoder).size() / 2), 5000.0, kSampleRate / 1000);
    }
  }
}

TEST_F(DecoderTest, MonoPlaysOnBothChannelsAndSurroundIsMixedDown) {
  testmedia::WriteWav(File("mono.wav"), 48000, 1, 4800, [](int, std::int64_t f) { return testmedia::Sweep(0, f, 48000); });
  testmedia::WriteWav(File("surround.wav"), 48000, 6, 4800, [](int c, std::int64_t) { return c == 0 ? 0.25f : 0.0f; });
  testmedia::WriteSweepWav(File("22k.wav"), 22050, 2, 1.0);
  std::vector<float> out(4800 * 2);
  auto decoder = Open("mono.wav");
  ASSERT_TRUE(decoder && decoder->read(out.data(), 4800) == 4800u);
  for (int f = 0; f < 4800; ++f) {
    ASSERT_EQ(out[f * 2], testmedia::Quantize(testmedia::Sweep(0, f, 48000)));
    ASSERT_EQ(out[f * 2 + 1], out[f * 2]);
  }
  decoder = Open("surround.wav");
  ASSERT_TRUE(decoder && decoder->read(out.data(), 4800) == 4800u);
  EXPECT_GT(out[2000 * 2], 0.05f);              // front left reaches the left channel
  EXPECT_NEAR(out[2000 * 2 + 1], 0.0f, 1e-6f);  // and not the right one
  decoder = Open("22k.wav");
  ASSERT_TRUE(decoder);
  EXPECT_EQ(decoder->lengthFrames(), 48000);
}

TEST_F(DecoderTest, UnsafeOrBrokenInputIsRefusedWithoutACrash) {
  const std::string noise = std::string(5000, '\x5a') + "garbage\x01\x02\x03";
  const struct { std::string name; const char* content; DecoderOpenError expected; } cases[] = {
      {File("empty.mp3"), "", DecoderOpenError::Unplayable},
      {File("noise.mp3"), noise.c_str(), DecoderOpenError::Unplayable},
      {File("list.mp3"), "ffconcat version 1.0\nfile 'ref.wav'\n", DecoderOpenError::Unplayable},
      {File("notes.txt"), "just some words, no sound at all\n", DecoderOpenError::Unplayable},
      {File("missing.wav"), nullptr, DecoderOpenError::FileNotFound},
      {"", nullptr, DecoderOpenError::FileNotFound},
      // Protocol-looking names never reach another protocol: they name missing files.
      {"concat:" + File("ref.wav") + "|" + File("ref.wav"), nullptr, DecoderOpenError::FileNotFound},
      {"http://127.0.0.1:9/x.mp3", nullptr, DecoderOpenError::FileNotFound},
      {"pipe:0", nullptr, DecoderOpenError::FileNotFound},
  };
  for (const auto& c : cases) {
    if (c.content) testmedia::WriteText(c.name, c.content);
    DecoderOpenError error = DecoderOpenError::None;
    EXPECT_FALSE(Decoder::Open(c.name, error)) << c.name;
    EXPECT_EQ(error, c.expected) << c.name;
  }
  // A truncated mp3, only its first kilobyte, opens or not but decodes without a crash.
  std::filesystem::copy_file(File("cbr.mp3"), File("cut.mp3"), std::filesystem::copy_options::overwrite_existing);
  std::filesystem::resize_file(File("cut.mp3"), 1024);
  DecoderOpenError error;
  if (auto cut = Decoder::Open(File("cut.mp3"), error)) DecodeAll(*cut);
}

}  // namespace
