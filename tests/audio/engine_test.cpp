// The engine rendered offline against computed samples, and in real time on the null and
// (dummy) device outputs.
#include "audio/engine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include <chrono>
#include <cmath>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "audio/audio_format.h"
#include "test_media.h"

namespace {

using audio::Engine;
using audio::OpenResult;
using testmedia::Quantize;
using testmedia::Sweep;

constexpr int kRate = audio::kSampleRate;

// What the reference file holds at `frame`, as decoded (16-bit quantised).
float Expected(int channel, std::int64_t frame) { return Quantize(Sweep(channel, frame, kRate)); }

class EngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = std::make_unique<testmedia::TempDir>();
    testmedia::WriteSweepWav(s_dir->file("sweep.wav"), kRate, 2, 2.0);
    testmedia::WriteSweepWav(s_dir->file("short.wav"), kRate, 2, 0.1);
    testmedia::WriteWav(s_dir->file("dc.wav"), kRate, 2, kRate, [](int, std::int64_t) { return 0.03f; });
    ASSERT_TRUE(testmedia::Ffmpeg("-i " + testmedia::Quoted(s_dir->file("sweep.wav")) + " -c:a libmp3lame " +
                                  testmedia::Quoted(s_dir->file("sweep.mp3"))));
  }
  static void TearDownTestSuite() { s_dir.reset(); }

  Engine::VoiceId Open(Engine& engine, const std::string& name) {
    Engine::VoiceId id = -1;
    EXPECT_EQ(engine.open(s_dir->file(name), id), OpenResult::Ok) << name;
    return id;
  }
  std::vector<float> Render(Engine& engine, std::size_t frames) {
    std::vector<float> out(frames * 2);
    engine.renderOffline(out.data(), frames);
    return out;
  }

  static std::unique_ptr<testmedia::TempDir> s_dir;
};
std::unique_ptr<testmedia::TempDir> EngineTest::s_dir;

TEST_F(EngineTest, TheFirstBlockAfterSeekAndPlayHoldsTheSoundFromItsFirstFrame) {
  Engine engine(Engine::OutputKind::Offline);
  const auto id = Open(engine, "sweep.wav");
  EXPECT_EQ(engine.lengthMs(id), 2000);
  for (std::int64_t ms : {0, 1, 250, 1234, 1999}) {
    SCOPED_TRACE(ms);
    ASSERT_TRUE(engine.seek(id, ms));
    engine.play(id);
    EXPECT_TRUE(engine.isPlaying(id));
    const auto block = Render(engine, audio::kBlockFrames);
    const std::int64_t start = ms * kRate / 1000;
    const std::int64_t valid = std::min<std::int64_t>(audio::kBlockFrames, 2 * kRate - start);
    for (std::int64_t f = 0; f < valid; ++f) {
      ASSERT_EQ(block[f * 2], Expected(0, start + f)) << f;
      ASSERT_EQ(block[f * 2 + 1], Expected(1, start + f)) << f;
    }
    engine.stop(id);  // let it fade out, so the next start is heard alone
    Render(engine, 512);
  }
}

TEST_F(EngineTest, StopFadesOutWithinFiveMillisecondsAndKeepsThePosition) {
  Engine engine(Engine::OutputKind::Offline);
  const auto id = Open(engine, "sweep.wav");
  engine.play(id);
  Render(engine, 4800);
  engine.stop(id);
  EXPECT_FALSE(engine.isPlaying(id));
  const auto tail = Render(engine, 1024);
  for (std::size_t f = kRate * 5 / 1000; f < 1024; ++f) ASSERT_EQ(tail[f * 2], 0.0f) << f;
  // The fade is a ramp, not a cut: the first faded frame is still close to full level.
  EXPECT_NEAR(tail[0], Expected(0, 4800), 0.02f);
  const std::int64_t position = engine.positionMs(id);
  EXPECT_GE(position, 100);
  EXPECT_LE(position, 105);

  // Play resumes exactly where the fade left off, at full level from its first frame.
  engine.play(id);
  const auto resumed = Render(engine, 256);
  std::int64_t resumeFrame = -1;
  for (std::int64_t f = 4800; f < 4800 + 300; ++f) {
    if (resumed[0] == Expected(0, f) && resumed[1] == Expected(1, f) && resumed[2] == Expected(0, f + 1)) resumeFrame = f;
  }
  EXPECT_GT(resumeFrame, 4800);
  EXPECT_LE(resumeFrame, 4800 + kRate * 5 / 1000);
}

TEST_F(EngineTest, VolumeIsALinearGainThatRampsAndSurvivesStopSeekAndPlay) {
  Engine engine(Engine::OutputKind::Offline);
  const auto id = Open(engine, "sweep.wav");
  EXPECT_EQ(engine.volume(id), 1000);
  engine.setVolume(id, 500);
  engine.play(id);
  auto block = Render(engine, 256);
  for (int f = 0; f < 256; ++f) ASSERT_FLOAT_EQ(block[f * 2], 0.5f * Expected(0, f));

  engine.setVolume(id, 250);  // while playing: ramps, settled within a few ms
  block = Render(engine, 512);
  for (int f = 200; f < 512; ++f) ASSERT_FLOAT_EQ(block[f * 2], 0.25f * Expected(0, 256 + f));
  EXPECT_GT(std::fabs(block[0]), 0.25f * std::fabs(Expected(0, 256)) - 1e-6f);  // no jump

  engine.stop(id);
  Render(engine, 512);
  ASSERT_TRUE(engine.seek(id, 1000));
  engine.play(id);
  block = Render(engine, 64);
  for (int f = 0; f < 64; ++f) ASSERT_FLOAT_EQ(block[f * 2], 0.25f * Expected(0, kRate + f));

  engine.setVolume(id, 0);
  Render(engine, 256);
  block = Render(engine, 256);
  for (float x : block) ASSERT_EQ(x, 0.0f);
  EXPECT_TRUE(engine.isPlaying(id));  // silent, but still playing
}

TEST_F(EngineTest, PlayingToTheEndStopsAndStaysAtTheEnd) {
  Engine engine(Engine::OutputKind::Offline);
  const auto id = Open(engine, "short.wav");
  engine.play(id);
  Render(engine, kRate / 10 - 100);
  EXPECT_TRUE(engine.isPlaying(id));
  const auto last = Render(engine, 1000);
  EXPECT_FALSE(engine.isPlaying(id));
  EXPECT_EQ(last[99 * 2], Expected(0, kRate / 10 - 1));
  EXPECT_EQ(last[100 * 2], 0.0f);
  EXPECT_EQ(engine.positionMs(id), 100);
  engine.play(id);  // at the end: finishes at once
  EXPECT_FALSE(engine.isPlaying(id));

  // Seeks are clamped to the sound: beyond the end is the end, below zero is zero.
  ASSERT_TRUE(engine.seek(id, 1'000'000));
  engine.play(id);
  EXPECT_FALSE(engine.isPlaying(id));
  ASSERT_TRUE(engine.seek(id, -5));
  engine.play(id);
  EXPECT_TRUE(engine.isPlaying(id));
  EXPECT_EQ(Render(engine, 1)[0], Expected(0, 0));
}

TEST_F(EngineTest, SeekWhilePlayingRestartsCleanlyEvenWhenRepeatedWithoutRendering) {
  Engine engine(Engine::OutputKind::Offline);
  const auto id = Open(engine, "sweep.wav");
  engine.play(id);
  Render(engine, 1000);
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(engine.seek(id, 500));
    EXPECT_FALSE(engine.isPlaying(id));
    engine.play(id);
  }
  const auto block = Render(engine, 1024);
  // The old positions fade out underneath; after 5 ms only the new one sounds.
  for (int f = 240; f < 1024; ++f) ASSERT_EQ(block[f * 2], Expected(0, kRate / 2 + f)) << f;
}

TEST_F(EngineTest, ThirtyNineVoicesSumAndTheOutputIsClamped) {
  Engine engine(Engine::OutputKind::Offline);
  std::vector<Engine::VoiceId> ids;
  for (int i = 0; i < 39; ++i) ids.push_back(Open(engine, "dc.wav"));
  const float dc = Quantize(0.03f);
  for (int i = 0; i < 20; ++i) engine.play(ids[i]);
  auto block = Render(engine, 256);
  EXPECT_NEAR(block[100], 20 * dc, 1e-5f);
  for (int i = 20; i < 39; ++i) engine.play(ids[i]);
  block = Render(engine, 256);
  for (float x : block) ASSERT_EQ(x, 1.0f);  // 39 × 0.03 = 1.17, clamped
  for (auto id : ids) EXPECT_TRUE(engine.isPlaying(id));
  EXPECT_EQ(engine.underrunCount(), 0u);
}

TEST_F(EngineTest, NaNInfinityAndOverloadFromAFileNeverReachTheOutput) {
  std::vector<float> samples(4800 * 2, 0.25f);
  for (std::size_t i = 0; i < samples.size(); i += 7) samples[i] = std::numeric_limits<float>::quiet_NaN();
  for (std::size_t i = 3; i < samples.size(); i += 11) samples[i] = std::numeric_limits<float>::infinity();
  for (std::size_t i = 5; i < samples.size(); i += 13) samples[i] = -40.0f;
  testmedia::WriteFloatWav(s_dir->file("wild.wav"), kRate, samples);
  Engine engine(Engine::OutputKind::Offline);
  const auto id = Open(engine, "wild.wav");
  const auto other = Open(engine, "dc.wav");
  engine.play(id);
  engine.play(other);
  const auto out = Render(engine, 4800);
  for (float x : out) {
    ASSERT_TRUE(std::isfinite(x));
    ASSERT_LE(std::fabs(x), 1.0f);
  }
  EXPECT_NEAR(out[205], 0.25f + Quantize(0.03f), 1e-6f);  // the good samples still sound
}

TEST_F(EngineTest, SixtyFourDevicesOpenAndClosedRepeatedlyReuseTheirSlots) {
  Engine engine(Engine::OutputKind::Offline);
  for (int round = 0; round < 3; ++round) {
    std::vector<Engine::VoiceId> ids;
    for (int i = 0; i < 64; ++i) ids.push_back(Open(engine, "short.wav"));
    for (auto id : ids) engine.play(id);
    Render(engine, 256);
    for (auto id : ids) engine.close(id);
    EXPECT_FALSE(engine.isPlaying(ids[0]));
  }
  const auto silence = Render(engine, 256);
  for (float x : silence) ASSERT_EQ(x, 0.0f);
}

TEST_F(EngineTest, RealTimeOutputsPlayASoundToItsEnd) {
  for (auto kind : {Engine::OutputKind::Null, Engine::OutputKind::Device}) {
    Engine engine(kind);
    SCOPED_TRACE(engine.outputName());
    const auto id = Open(engine, "short.wav");
    const auto mp3 = Open(engine, "sweep.mp3");
    const auto start = std::chrono::steady_clock::now();
    engine.play(id);
    engine.play(mp3);
    EXPECT_TRUE(engine.isPlaying(id));
    while (engine.isPlaying(id) && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(engine.isPlaying(id));
    EXPECT_GE(elapsed, std::chrono::milliseconds(80));  // paced in real time, not rushed
    EXPECT_EQ(engine.positionMs(id), 100);
    EXPECT_TRUE(engine.isPlaying(mp3));
    engine.close(mp3);  // closing a playing voice while the audio thread runs
    EXPECT_EQ(engine.underrunCount(), 0u);
  }
}

TEST_F(EngineTest, WithoutAUsableSoundDeviceTheNullOutputTakesOver) {
  const char* saved = std::getenv("SDL_AUDIODRIVER");
  const std::string previous = saved != nullptr ? saved : "";
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  {
    Engine engine(Engine::OutputKind::Device);
    EXPECT_STREQ(engine.outputName(), "null");
    const auto id = Open(engine, "short.wav");
    engine.play(id);
    const auto start = std::chrono::steady_clock::now();
    while (engine.isPlaying(id) && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_FALSE(engine.isPlaying(id));
    EXPECT_EQ(engine.positionMs(id), 100);
  }
  if (saved != nullptr) {
    setenv("SDL_AUDIODRIVER", previous.c_str(), 1);
  } else {
    unsetenv("SDL_AUDIODRIVER");
  }
}

TEST_F(EngineTest, CommandsInAnyOrderWhileTheAudioAndDecoderThreadsRun) {
  // Random commands against a running engine: the audio thread, the decoder thread and this one
  // share every voice. Run under ThreadSanitizer this is the engine's data race check.
  Engine engine(Engine::OutputKind::Null);
  std::mt19937 random(7);
  std::vector<Engine::VoiceId> ids;
  const char* files[] = {"sweep.wav", "sweep.mp3", "short.wav"};
  for (int step = 0; step < 600; ++step) {
    const int action = static_cast<int>(random() % 8);
    if (ids.empty() || action == 0) {
      if (ids.size() < 16) ids.push_back(Open(engine, files[random() % 3]));
      continue;
    }
    const std::size_t which = random() % ids.size();
    const Engine::VoiceId id = ids[which];
    switch (action) {
      case 1: engine.seek(id, static_cast<std::int64_t>(random() % 2500) - 100); break;
      case 2: case 3: engine.play(id); break;
      case 4: engine.stop(id); break;
      case 5: engine.setVolume(id, static_cast<int>(random() % 1001)); break;
      case 6: engine.close(id); ids.erase(ids.begin() + static_cast<std::ptrdiff_t>(which)); break;
      default: (void)engine.isPlaying(id); (void)engine.positionMs(id); break;
    }
    if (step % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  for (auto id : ids) engine.close(id);
}

}  // namespace
