// The media command service driven by command strings, checked against the audio it renders
// offline and the codes and replies it returns.
#include "mci/mci_service.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/audio_format.h"
#include "test_media.h"

namespace {

using testmedia::File;
constexpr int kRate = audio::kSampleRate;
float Expected(int channel, std::int64_t frame) { return testmedia::Quantize(testmedia::Sweep(channel, frame, kRate)); }

class ServiceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testmedia::WriteSweepWav(File("bell.wav"), kRate, 2, 2.0);
    testmedia::WriteSweepWav(File("tick.wav"), kRate, 2, 0.05);
    testmedia::WriteWav(File("dc.wav"), kRate, 2, kRate, [](int, std::int64_t) { return 0.03f; });
    testmedia::WriteText(File("notes.mp3"), "ffconcat version 1.0\nfile 'bell.wav'\n");
  }

  std::uint32_t Send(const std::string& command) { return m_service.send(command.c_str(), nullptr, 0); }
  std::string Status(const std::string& command, std::uint32_t size = 128) {
    std::vector<char> reply(size + 1, '#');
    m_service.send(command.c_str(), reply.data(), size);
    return std::string(reply.data());
  }
  static std::string Open(const std::string& file, const std::string& alias) {
    return "open \"" + File(file) + "\" alias " + alias + " type mpegvideo";
  }
  std::vector<float> Render(std::size_t frames) {
    std::vector<float> out(frames * 2);
    m_service.renderOffline(out.data(), frames);
    return out;
  }

  mci::Service m_service{mci::Service::Offline};
};

struct CommandCase {
  const char* command;
  std::uint32_t expected;
};

TEST_F(ServiceTest, EveryCommandShapeAndItsErrorNumber) {
  ASSERT_EQ(Send(Open("bell.wav", "A3")), 0u);
  const CommandCase cases[] = {
      // What the board sends, with the blanks it sends.
      {"seek A3 to  250", 0}, {"play A3", 0}, {"stop A3", 0}, {"setaudio A3 volume to  800", 0},
      {"status A3 mode", 0}, {"status A3 length", 0},
      // Case and blank variants.
      {"SEEK a3 TO 0", 0}, {"  Play   A3  ", 0}, {"\tstop\tA3\t", 0}, {"SetAudio A3 Volume To 1000", 0},
      {"STATUS a3 MODE", 0}, {"seek A3 to start", 0}, {"seek A3 to end", 0}, {"seek A3 to -40", 0},
      {"seek A3 to 99999999999999999999", 0}, {"setaudio A3 volume to 0", 0}, {"stop all", 0},
      // Bad input.
      {"", 267}, {"   ", 267}, {"dance A3", 261}, {"\"play\" A3", 261}, {"play", 292}, {"status", 292},
      {"play A4", 263}, {"stop a33", 263}, {"close A99", 263}, {"seek B to 5", 263}, {"play A3 now", 259},
      {"seek A3", 273}, {"seek A3 to", 273}, {"seek A3 from 5", 259}, {"seek A3 to 5 6", 259},
      {"seek A3 to 2.5", 270}, {"seek A3 to abc", 270}, {"seek A3 to 12ms", 270}, {"status A3", 273},
      {"status A3 colour", 259}, {"status A3 mode now", 259}, {"setaudio A3", 273},
      {"setaudio A3 treble to 5", 259}, {"setaudio A3 volume", 273}, {"setaudio A3 volume 5", 259},
      {"setaudio A3 volume to", 273}, {"setaudio A3 volume to loud", 270}, {"setaudio A3 volume to 1001", 282},
      {"setaudio A3 volume to -1", 282}, {"open \"bell.wav alias B", 294}, {"open \"x.wav\"alias B", 305},
      {"open \"x.wav\" alias", 273}, {"open \"x.wav\" alias B colour red", 259},
      {"open \"x.wav\" alias B type waveaudio", 263},
  };
  for (const CommandCase& c : cases) EXPECT_EQ(Send(c.command), c.expected) << '"' << c.command << '"';
  EXPECT_EQ(Status("status A3 volume"), "0");  // the refused levels left the last good one
}

TEST_F(ServiceTest, OpenChecksTheAliasBeforeTheFileAndReportsWhyAFileCannotPlay) {
  ASSERT_EQ(Send(Open("bell.wav", "A0")), 0u);
  const CommandCase cases[] = {
      {"open \"/no/such/file.wav\" alias a0 type mpegvideo", 289},  // duplicate alias, file not looked at
      {"open \"/no/such/file.wav\" alias A1 type mpegvideo", 275},
      {"open \"concat:/etc/passwd|/etc/passwd\" alias A1 type mpegvideo", 275},
      {"open \"http://127.0.0.1:9/x.mp3\" alias A1 type mpegvideo", 275},
      {"open \"/no/such/file.xyz\" alias A1", 281},  // no type, unknown extension
  };
  for (const CommandCase& c : cases) EXPECT_EQ(Send(c.command), c.expected) << c.command;
  EXPECT_EQ(Send(Open("notes.mp3", "A1")), 277u);  // an ffconcat list renamed .mp3
  char why[256];
  ASSERT_TRUE(m_service.errorText(277, why, sizeof why));  // the reason names what the file looked like
  EXPECT_NE(std::string(why).find("looks like: concat"), std::string::npos) << why;
  EXPECT_EQ(Send("status A1 mode"), 263u);         // a failed open leaves no device behind
  EXPECT_EQ(Status("status A0 length"), "2000");   // nor disturbs the existing one
}

TEST_F(ServiceTest, RepliesAreCutToFitTheBufferAndEmptiedOnEveryCall) {
  ASSERT_EQ(Send(Open("bell.wav", "A7")), 0u);
  EXPECT_EQ(Status("status A7 mode", 3), "st");
  Send("play A7");
  EXPECT_EQ(Status("status A7 mode", 3), "pl");
  EXPECT_EQ(Status("status A7 mode"), "playing");
  EXPECT_EQ(Status("status A7 length", 3), "20");
  EXPECT_EQ(Status("status A8 mode", 3), "");  // a failing call still empties the buffer
  EXPECT_EQ(Status("bogus", 20), "");
  char untouched = 'x';
  EXPECT_EQ(m_service.send("status A7 mode", &untouched, 0), 0u);
  EXPECT_EQ(untouched, 'x');
}

TEST_F(ServiceTest, TheFirstBlockAfterSeekAndPlayHoldsTheSoundAtItsGain) {
  ASSERT_EQ(Send(Open("bell.wav", "A12")), 0u);
  ASSERT_EQ(Send("setaudio A12 volume to  400"), 0u);
  for (std::int64_t ms : {0, 1, 250, 1234, 1999}) {
    SCOPED_TRACE(ms);
    ASSERT_EQ(Send("seek A12 to  " + std::to_string(ms)), 0u);
    ASSERT_EQ(Send("play A12"), 0u);
    const auto block = Render(audio::kBlockFrames);
    const std::int64_t start = ms * kRate / 1000;
    for (std::int64_t f = 0; f < std::min<std::int64_t>(audio::kBlockFrames, 2 * kRate - start); ++f) {
      ASSERT_FLOAT_EQ(block[f * 2], 0.4f * Expected(0, start + f)) << f;
      ASSERT_FLOAT_EQ(block[f * 2 + 1], 0.4f * Expected(1, start + f)) << f;
    }
    ASSERT_EQ(Send("stop A12"), 0u);  // let it fade out, so the next start is heard alone
    Render(1024);
  }
}

TEST_F(ServiceTest, PlayToTheEndAndCloseAsTheBoardUsesThem) {
  ASSERT_EQ(Send(Open("tick.wav", "A5")), 0u);
  ASSERT_EQ(Send("play A5"), 0u);
  EXPECT_EQ(Status("status A5 mode"), "playing");
  Render(kRate / 10);
  EXPECT_EQ(Status("status A5 mode"), "stopped");  // finished, still open
  EXPECT_EQ(Status("status A5 position"), "50");
  ASSERT_EQ(Send("play A5"), 0u);  // after the end: finishes at once
  EXPECT_EQ(Status("status A5 mode"), "stopped");
  ASSERT_EQ(Send("seek A5 to 10"), 0u);
  ASSERT_EQ(Send("play A5"), 0u);
  ASSERT_EQ(Send("close A5"), 0u);  // closing a playing device
  EXPECT_EQ(Send("status A5 mode"), 263u);
  EXPECT_EQ(Send(Open("tick.wav", "A5")), 0u);  // the alias is free again
}

TEST_F(ServiceTest, SixtyFourDevicesOpenAndThirtyNineSumAndClampRoundAfterRound) {
  const float dc = testmedia::Quantize(0.03f);
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 64; ++i) ASSERT_EQ(Send(Open("dc.wav", "A" + std::to_string(i))), 0u) << i;
    for (int i = 0; i < 20; ++i) ASSERT_EQ(Send("play A" + std::to_string(i)), 0u);
    EXPECT_NEAR(Render(256)[100], 20 * dc, 1e-5f);
    for (int i = 20; i < 39; ++i) ASSERT_EQ(Send("play A" + std::to_string(i)), 0u);
    for (float x : Render(256)) ASSERT_EQ(x, 1.0f);  // 39 × 0.03 = 1.17, clamped
    for (int i = 0; i < 39; ++i) EXPECT_EQ(Status("status A" + std::to_string(i) + " mode"), "playing");
    EXPECT_EQ(Send("close all"), 0u);
    EXPECT_EQ(Send("status A0 mode"), 263u);
    Render(512);
  }
  EXPECT_EQ(m_service.underrunCount(), 0u);
}

TEST_F(ServiceTest, PathsKeepTheirCaseBlanksColonsAndJapanese) {
  namespace fs = std::filesystem;
  const std::string odd = File("Chime: 鐘の音 Two.wav");
  fs::copy_file(File("tick.wav"), odd, fs::copy_options::overwrite_existing);
  EXPECT_EQ(Send("open \"" + odd + "\" alias A9 type mpegvideo"), 0u);
  EXPECT_EQ(Status("status a9 length"), "50");
  const fs::path before = fs::current_path();
  fs::current_path(testmedia::Dir());  // a relative path resolves against the current directory
  EXPECT_EQ(Send("open \"Chime: 鐘の音 Two.wav\" alias A10 type mpegvideo"), 0u);
  EXPECT_EQ(Send("open \"chime: 鐘の音 two.wav\" alias A11 type mpegvideo"), 275u);
  fs::current_path(before);
}

TEST_F(ServiceTest, SendStringReachesTheInstalledServiceOrElseTheProcessWideOne) {
  char reply[3] = {};
  const auto send = [&reply](const std::string& command) { return mci::SendString(command.c_str(), reply, 3, nullptr); };
  ASSERT_EQ(Send(Open("bell.wav", "A1")), 0u);
  mci::InstallService(&m_service);
  EXPECT_EQ(send("play A1"), 0u);
  EXPECT_EQ(send("status A1 mode") == 0 ? std::string(reply) : "", "pl");
  mci::InstallService(nullptr);
  // The process-wide one is made on first use, on a real-time output (the dummy driver here).
  EXPECT_EQ(send("status A1 mode"), 263u);
  ASSERT_EQ(send(Open("bell.wav", "A1")), 0u);
  ASSERT_EQ(send("play A1"), 0u);
  EXPECT_EQ(send("status A1 mode") == 0 ? std::string(reply) : "", "pl");
  EXPECT_EQ(send("close A1"), 0u);
  EXPECT_EQ(send("close A1"), 263u);
}

}  // namespace
