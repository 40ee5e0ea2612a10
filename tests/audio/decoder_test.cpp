// Decoding real files of every accepted kind: lengths, exact seeking and refusal of unsafe names.
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
using testmedia::Ffmpeg;
using testmedia::Quoted;

constexpr double kSeconds = 3.0;

struct MediaCase {
  const char* file;
  const char* ffmpegArgs;     // output options; empty for the reference WAV itself
  bool exactLength;           // length within 1 ms of the audio decoded
  int seekToleranceFrames;    // 0: sample-exact
};

const MediaCase kCases[] = {
    {"ref.wav", "", true, 0},
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
    s_dir = std::make_unique<testmedia::TempDir>();
    testmedia::WriteSweepWav(s_dir->file("ref.wav"), audio::kSampleRate, 2, kSeconds);
    for (const MediaCase& c : kCases) {
      if (std::string(c.file) == "ref.wav") continue;
      ASSERT_TRUE(Ffmpeg("-i " + Quoted(s_dir->file("ref.wav")) + " " + c.ffmpegArgs + " " + Quoted(s_dir->file(c.file))))
          << c.file;
    }
  }
  static void TearDownTestSuite() { s_dir.reset(); }

  static std::vector<float> DecodeAll(Decoder& decoder) {
    std::vector<float> all;
    std::vector<float> chunk(4096 * 2);
    while (std::size_t n = decoder.read(chunk.data(), 4096)) all.insert(all.end(), chunk.begin(), chunk.begin() + n * 2);
    return all;
  }

  static std::unique_ptr<testmedia::TempDir> s_dir;
};
std::unique_ptr<testmedia::TempDir> DecoderTest::s_dir;

TEST_F(DecoderTest, EveryFormatOpensWithTheLengthOfTheAudioItDecodes) {
  for (const MediaCase& c : kCases) {
    SCOPED_TRACE(c.file);
    DecoderOpenError error;
    auto decoder = Decoder::Open(s_dir->file(c.file), error);
    ASSERT_TRUE(decoder) << static_cast<int>(error);
    const std::int64_t length = decoder->lengthFrames();
    const auto decoded = static_cast<std::int64_t>(DecodeAll(*decoder).size() / 2);
    EXPECT_NEAR(static_cast<double>(decoded), kSeconds * audio::kSampleRate, audio::kSampleRate * 0.03);
    if (c.exactLength) {
      EXPECT_LE(std::llabs(length - decoded), audio::kSampleRate / 1000);
    }
  }
}

TEST_F(DecoderTest, SeekLandsOnTheRequestedFrame) {
  for (const MediaCase& c : kCases) {
    SCOPED_TRACE(c.file);
    DecoderOpenError error;
    auto decoder = Decoder::Open(s_dir->file(c.file), error);
    ASSERT_TRUE(decoder);
    const std::vector<float> reference = DecodeAll(*decoder);
    const auto total = static_cast<std::int64_t>(reference.size() / 2);
    for (std::int64_t target : {std::int64_t{0}, std::int64_t{17}, std::int64_t{48000}, std::int64_t{100003},
                                std::int64_t{2 * 48000 + 12345}}) {
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
        if (error < bestError) {
          bestError = error;
          bestOffset = offset;
        }
      }
      EXPECT_LE(std::llabs(bestOffset), c.seekToleranceFrames);
      if (c.seekToleranceFrames == 0) {
        EXPECT_EQ(bestError, 0.0f);
      }
    }
    if (c.exactLength) {
      // Read from a seek to the end: exactly the rest of the length, no padding.
      ASSERT_TRUE(decoder->seek(decoder->lengthFrames() - 5000));
      std::vector<float> rest(8192 * 2);
      std::size_t tail = 0;
      while (std::size_t n = decoder->read(rest.data(), 8192)) tail += n;
      EXPECT_NEAR(static_cast<double>(tail), 5000.0, audio::kSampleRate / 1000);
    }
  }
}

TEST_F(DecoderTest, MonoPlaysOnBothChannelsAndSurroundIsMixedDown) {
  const std::string mono = s_dir->file("mono.wav");
  testmedia::WriteWav(mono, 48000, 1, 4800, [](int, std::int64_t f) { return testmedia::Sweep(0, f, 48000); });
  const std::string surround = s_dir->file("surround.wav");
  testmedia::WriteWav(surround, 48000, 6, 4800, [](int c, std::int64_t) { return c == 0 ? 0.25f : 0.0f; });
  const std::string lowRate = s_dir->file("22k.wav");
  testmedia::WriteSweepWav(lowRate, 22050, 2, 1.0);

  DecoderOpenError error;
  auto decoder = Decoder::Open(mono, error);
  ASSERT_TRUE(decoder);
  std::vector<float> out(4800 * 2);
  ASSERT_EQ(decoder->read(out.data(), 4800), 4800u);
  for (int f = 0; f < 4800; ++f) {
    ASSERT_EQ(out[f * 2], testmedia::Quantize(testmedia::Sweep(0, f, 48000)));
    ASSERT_EQ(out[f * 2 + 1], out[f * 2]);
  }

  decoder = Decoder::Open(surround, error);
  ASSERT_TRUE(decoder);
  ASSERT_EQ(decoder->read(out.data(), 4800), 4800u);
  EXPECT_GT(out[2000 * 2], 0.05f);             // front left reaches the left channel
  EXPECT_NEAR(out[2000 * 2 + 1], 0.0f, 1e-6f);  // and not the right one

  decoder = Decoder::Open(lowRate, error);
  ASSERT_TRUE(decoder);
  EXPECT_EQ(decoder->lengthFrames(), 48000);
}

struct RefusedCase {
  const char* name;
  DecoderOpenError expected;
};

TEST_F(DecoderTest, UnsafeOrBrokenInputIsRefusedWithoutACrash) {
  namespace fs = std::filesystem;
  testmedia::WriteText(s_dir->file("empty.mp3"), "");
  testmedia::WriteText(s_dir->file("noise.mp3"), std::string(5000, '\x5a') + "garbage\x01\x02\x03");
  testmedia::WriteText(s_dir->file("list.mp3"), "ffconcat version 1.0\nfile 'ref.wav'\n");
  testmedia::WriteText(s_dir->file("notes.txt"), "just some words, no sound at all\n");
  // A truncated mp3: only its first kilobyte.
  {
    const auto bytes = fs::file_size(s_dir->file("cbr.mp3"));
    ASSERT_GT(bytes, 1024u);
    fs::copy_file(s_dir->file("cbr.mp3"), s_dir->file("cut.mp3"));
    fs::resize_file(s_dir->file("cut.mp3"), 1024);
  }
  const RefusedCase cases[] = {
      {"empty.mp3", DecoderOpenError::Unplayable},
      {"noise.mp3", DecoderOpenError::Unplayable},
      {"list.mp3", DecoderOpenError::Unplayable},
      {"notes.txt", DecoderOpenError::Unplayable},
      {"missing.wav", DecoderOpenError::FileNotFound},
      {"", DecoderOpenError::FileNotFound},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.name);
    DecoderOpenError error = DecoderOpenError::None;
    EXPECT_FALSE(Decoder::Open(c.name[0] ? s_dir->file(c.name) : std::string(), error));
    EXPECT_EQ(error, c.expected);
  }
  // Protocol-looking names never reach another protocol: they name missing files.
  for (const std::string& url : {"concat:" + s_dir->file("ref.wav") + "|" + s_dir->file("ref.wav"),
                                std::string("http://127.0.0.1:9/x.mp3"), std::string("pipe:0")}) {
    SCOPED_TRACE(url);
    DecoderOpenError error = DecoderOpenError::None;
    EXPECT_FALSE(Decoder::Open(url, error));
    EXPECT_EQ(error, DecoderOpenError::FileNotFound);
  }
  DecoderOpenError error;
  if (auto cut = Decoder::Open(s_dir->file("cut.mp3"), error)) {
    std::vector<float> chunk(4096 * 2);
    while (cut->read(chunk.data(), 4096) > 0) {
    }
  }
}

TEST_F(DecoderTest, NamesWithColonsBlanksAndJapaneseOpenAsFiles) {
  namespace fs = std::filesystem;
  const std::string odd = s_dir->file("bell: 鐘の音 (1).wav");
  fs::copy_file(s_dir->file("ref.wav"), odd);
  DecoderOpenError error;
  auto decoder = Decoder::Open(odd, error);
  ASSERT_TRUE(decoder);
  EXPECT_EQ(decoder->lengthFrames(), static_cast<std::int64_t>(kSeconds * audio::kSampleRate));

  // A relative path resolves against the current directory.
  const fs::path before = fs::current_path();
  fs::current_path(s_dir->path());
  auto relative = Decoder::Open("bell: 鐘の音 (1).wav", error);
  fs::current_path(before);
  EXPECT_TRUE(relative);
}

}  // namespace
