// The engine rendered offline against computed samples, and in real time on the null and
// (dummy) device outputs.
#include "audio/engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "audio/audio_format.h"
#include "test_media.h"

namespace {

using testmedia::File;
using audio::Engine;
using testmedia::Quantize;

constexpr int kRate = audio::kSampleRate;
constexpr int kFadeFrames = kRate * 5 / 1000;

// What the reference file holds at `frame`, as decoded (16-bit quantised).
float Expected(int channel, std::int64_t frame) { return Quantize(testmedia::Sweep(channel, frame, kRate)); }

class EngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testmedia::WriteSweepWav(File("sweep.wav"), kRate, 2, 2.0);
    testmedia::WriteSweepWav(File("short.wav"), kRate, 2, 0.1);
    ASSERT_TRUE(testmedia::Convert(File("sweep.wav"), "-c:a libmp3lame", File("sweep.mp3")));
  }

  static Engine::VoiceId Open(const std::string& name, Engine& engine) {
    Engine::VoiceId id = -1;
    EXPECT_EQ(engine.open(File(name), id), audio::OpenResult::Ok) << name;
    return id;
  }
  Engine::VoiceId Open(const std::string& name) { return Open(name, m_engine); }
  std::vector<float> Render(std::size_t frames) {
    std::vector<float> out(frames * 2);
    m_engine.renderOffline(out.data(), frames);
    return out;
  }

  Engine m_engine{Engine::OutputKind::Offline};
};

TEST_F(EngineTest, StopFadesOutWithinFiveMillisecondsAndPlayResumesWhereItLeftOff) {
  const auto id = Open("sweep.wav");
  m_engine.play(id);
  Render(4800);
  m_engine.stop(id);
  EXPECT_FALSE(m_engine.isPlaying(id));
  const auto tail = Render(1024);
  EXPECT_NEAR(tail[0], Expected(0, 4800), 0.02f);  // a ramp, not a cut
  for (std::size_t f = kFadeFrames; f < 1024; ++f) ASSERT_EQ(tail[f * 2], 0.0f) << f;
  EXPECT_GE(m_engine.positionMs(id), 100);
  EXPECT_LE(m_engine.positionMs(id), 105);

  m_engine.play(id);  // at full level from its first frame, where the fade ended
  const auto resumed = Render(256);
  std::int64_t resumeFrame = -1;
  for (std::int64_t f = 4800; f < 4800 + 300; ++f) {
    if (resumed[0] == Expected(0, f) && resumed[1] == Expected(1, f) && resumed[2] == Expected(0, f + 1)) resumeFrame = f;
  }
  EXPECT_GT(resumeFrame, 4800);
  EXPECT_LE(resumeFrame, 4800 + kFadeFrames);
}

TEST_F(EngineTest, VolumeIsALinearGainThatRampsWithoutAJump) {
  const auto id = Open("sweep.wav");
  EXPECT_EQ(m_engine.volume(id), 1000);
  m_engine.setVolume(id, 500);
  m_engine.play(id);
  auto block = Render(256);
  for (int f = 0; f < 256; ++f) ASSERT_FLOAT_EQ(block[f * 2], 0.5f * Expected(0, f));
  m_engine.setVolume(id, 250);  // while playing: ramps without a jump, settled within a few ms
  block = Render(512);
  EXPECT_GT(std::fabs(block[0]), 0.25f * std::fabs(Expected(0, 256)) - 1e-6f);
  for (int f = 200; f < 512; ++f) ASSERT_FLOAT_EQ(block[f * 2], 0.25f * Expected(0, 256 + f));
  m_engine.setVolume(id, 0);
  Render(256);
  for (float x : Render(256)) ASSERT_EQ(x, 0.0f);
  EXPECT_TRUE(m_engine.isPlaying(id));  // silent, but still playing
}

TEST_F(EngineTest, PlayingToTheEndStopsAtItsLastSampleAndSeeksAreClampedToTheSound) {
  const auto id = Open("short.wav");
  m_engine.play(id);
  Render(kRate / 10 - 100);
  EXPECT_TRUE(m_engine.isPlaying(id));
  const auto last = Render(1000);
  EXPECT_FALSE(m_engine.isPlaying(id));
  EXPECT_EQ(last[99 * 2], Expected(0, kRate / 10 - 1));
  EXPECT_EQ(last[100 * 2], 0.0f);
  EXPECT_EQ(m_engine.positionMs(id), 100);
  ASSERT_TRUE(m_engine.seek(id, 1'000'000));  // beyond the end is the end
  m_engine.play(id);
  EXPECT_FALSE(m_engine.isPlaying(id));
  ASSERT_TRUE(m_engine.seek(id, -5));  // below zero is zero
  m_engine.play(id);
  EXPECT_EQ(Render(1)[0], Expected(0, 0));
}

TEST_F(EngineTest, SeekWhilePlayingRestartsCleanlyEvenWhenRepeatedWithoutRendering) {
  const auto id = Open("sweep.wav");
  m_engine.play(id);
  Render(1000);
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(m_engine.seek(id, 500));
    EXPECT_FALSE(m_engine.isPlaying(id));
    m_engine.play(id);
  }
  const auto block = Render(1024);  // the old positions fade out underneath
  for (int f = kFadeFrames; f < 1024; ++f) ASSERT_EQ(block[f * 2], Expected(0, kRate / 2 + f)) << f;
}

TEST_F(EngineTest, NaNInfinityAndOverloadFromAFileNeverReachTheOutput) {
  std::vector<float> samples(4800 * 2, 0.25f);
  for (std::size_t i = 0; i < samples.size(); i += 7) samples[i] = std::numeric_limits<float>::quiet_NaN();
  for (std::size_t i = 3; i < samples.size(); i += 11) samples[i] = std::numeric_limits<float>::infinity();
  for (std::size_t i = 5; i < samples.size(); i += 13) samples[i] = -40.0f;
  testmedia::WriteFloatWav(File("wild.wav"), kRate, samples);
  m_engine.play(Open("wild.wav"));
  m_engine.play(Open("sweep.wav"));
  const auto out = Render(4800);
  for (float x : out) ASSERT_TRUE(std::isfinite(x) && std::fabs(x) <= 1.0f) << x;
  EXPECT_NEAR(out[205], 0.25f + Expected(1, 102), 1e-6f);  // the good samples still sound
}

TEST_F(EngineTest, EveryRealTimeOutputPlaysASoundToItsEnd) {
  const struct {
    Engine::OutputKind kind;
    const char* driver;  // SDL_AUDIODRIVER while the engine starts
    const char* output;
  } cases[] = {{Engine::OutputKind::Null, "dummy", "null"}, {Engine::OutputKind::Device, "dummy", "sdl"},
               {Engine::OutputKind::Device, "no-such-driver", "null"}};  // no usable device: null takes over
  for (const auto& c : cases) {
    SCOPED_TRACE(c.driver);
    setenv("SDL_AUDIODRIVER", c.driver, 1);
    Engine engine(c.kind);
    EXPECT_STREQ(engine.outputName(), c.output);
    const auto id = Open("short.wav", engine), mp3 = Open("sweep.mp3", engine);
    const auto start = std::chrono::steady_clock::now();
    engine.play(id);
    engine.play(mp3);
    while (engine.isPlaying(id) && std::chrono::steady_clock::now() - start < std::chrono::seconds(3)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));  // paced, not rushed
    EXPECT_FALSE(engine.isPlaying(id));
    EXPECT_EQ(engine.positionMs(id), 100);
    EXPECT_TRUE(engine.isPlaying(mp3));
    engine.close(mp3);  // closing a playing voice while the audio thread runs
    EXPECT_EQ(engine.underrunCount(), 0u);
  }
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

TEST_F(EngineTest, CommandsInAnyOrderWhileTheAudioAndDecoderThreadsRun) {
  // The audio thread, the decoder thread and this one share every voice: under ThreadSanitizer
  // this is the engine's data race check.
  Engine engine(Engine::OutputKind::Null);
  std::mt19937 random(7);
  std::vector<Engine::VoiceId> ids;
  const char* files[] = {"sweep.wav", "sweep.mp3", "short.wav"};
  for (int step = 0; step < 600; ++step) {
    const int action = static_cast<int>(random() % 8);
    if (ids.empty() || action == 0) {
      if (ids.size() < 16) ids.push_back(Open(files[random() % 3], engine));
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

// An output that keeps audio queued renders it again when a command comes. Whatever the commands,
// what it finally sends must be exactly what an engine rendering block by block sends when each
// command lands at the block the output went back to.
TEST_F(EngineTest, RenderingAgainFromAnyBlockEqualsHearingTheCommandsThere) {
  constexpr int kBlock = 64;
  std::mt19937 random(11);
  for (int script = 0; script < 40; ++script) {
    SCOPED_TRACE(script);
    Engine reference(Engine::OutputKind::Offline), queued(Engine::OutputKind::Offline);
    const int ahead = kBlock * static_cast<int>(1 + random() % 8);  // what the output keeps queued
    std::vector<float> expected, sent(ahead * 2 * 400);
    std::vector<std::pair<Engine::VoiceId, Engine::VoiceId>> ids;
    std::vector<float> block(kBlock * 2);
    std::int64_t heard = 0;  // frames sent for good
    const auto renderQueued = [&](std::int64_t upTo) {
      while (queued.position() < upTo) {
        queued.prefetchOffline();
        queued.render(&sent[static_cast<std::size_t>(queued.position()) * 2], kBlock);
      }
    };
    for (int step = 0; step < 60; ++step) {
      const int action = static_cast<int>(random() % 7);
      const std::size_t which = ids.empty() ? 0 : random() % ids.size();
      const std::int64_t ms = static_cast<std::int64_t>(random() % 2100);
      const int level = static_cast<int>(random() % 1001);
      const auto both = [&](auto command) {
        command(reference, ids[which].first);
        command(queued, ids[which].second);
      };
      if (ids.empty() || action == 0) {
        if (ids.size() < 4) ids.emplace_back(Open(step % 2 ? "sweep.wav" : "short.wav", reference),
                                             Open(step % 2 ? "sweep.wav" : "short.wav", queued));
      } else if (action == 1) {
        both([&](Engine& e, Engine::VoiceId id) { e.seek(id, ms); });
      } else if (action <= 3) {
        both([](Engine& e, Engine::VoiceId id) { e.play(id); });
      } else if (action == 4) {
        both([](Engine& e, Engine::VoiceId id) { e.stop(id); });
      } else if (action == 5) {
        both([&](Engine& e, Engine::VoiceId id) { e.setVolume(id, level); });
      } else if (random() % 4 == 0) {
        both([](Engine& e, Engine::VoiceId id) { e.close(id); });
        ids.erase(ids.begin() + static_cast<std::ptrdiff_t>(which));
      }
      // The command is heard from `heard` on: the queued output goes back there.
      ASSERT_EQ(queued.rewind(heard), heard);
      const int blocks = static_cast<int>(1 + random() % 6);
      for (int b = 0; b < blocks; ++b) {
        reference.renderOffline(block.data(), kBlock);
        expected.insert(expected.end(), block.begin(), block.end());
      }
      heard += blocks * kBlock;
      renderQueued(heard + ahead);
      queued.commit(heard);
    }
    sent.resize(static_cast<std::size_t>(heard) * 2);
    ASSERT_EQ(sent, expected);
  }
}

// Commands, rendering ahead, going back and committing all at once across the command, decoder
// and audio threads: under ThreadSanitizer this is the data race check of rendering again.
TEST_F(EngineTest, RenderingAgainWhileCommandsComeFromAnotherThread) {
  Engine engine(Engine::OutputKind::Caller);
  std::atomic<bool> done{false};
  std::thread audio([&] {
    std::mt19937 random(3);
    std::vector<float> block(64 * 2);
    std::int64_t heard = 0;
    while (!done.load()) {
      while (engine.position() < heard + 1920) engine.render(block.data(), 64);
      heard += 64;
      engine.commit(heard);
      if (random() % 3 == 0) engine.rewind(heard + static_cast<std::int64_t>(random() % 1920));
      std::this_thread::sleep_for(std::chrono::microseconds(1333));
    }
  });
  std::mt19937 random(5);
  std::vector<Engine::VoiceId> ids;
  for (int step = 0; step < 400; ++step) {
    if (ids.size() < 6 && random() % 5 == 0) ids.push_back(Open(random() % 2 ? "sweep.wav" : "sweep.mp3", engine));
    if (ids.empty()) continue;
    const Engine::VoiceId id = ids[random() % ids.size()];
    switch (random() % 5) {
      case 0: engine.seek(id, static_cast<std::int64_t>(random() % 1500)); break;
      case 1: engine.play(id); break;
      case 2: engine.stop(id); break;
      case 3: engine.setVolume(id, static_cast<int>(random() % 1001)); break;
      default: (void)engine.isPlaying(id); break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
  }
  for (auto id : ids) engine.close(id);
  done.store(true);
  audio.join();
  EXPECT_EQ(engine.underrunCount(), 0u);
}

}  // namespace
