// The media command service driven by command strings, checked against the audio it renders
// offline and the codes and replies it returns.
#include "mci/mci_service.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "audio/audio_format.h"
#include "test_media.h"

namespace {

using testmedia::Quantize;
using testmedia::Sweep;

constexpr int kRate = audio::kSampleRate;
float Expected(int channel, std::int64_t frame) { return Quantize(Sweep(channel, frame, kRate)); }

class ServiceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = std::make_unique<testmedia::TempDir>();
    testmedia::WriteSweepWav(s_dir->file("bell.wav"), kRate, 2, 2.0);
    testmedia::WriteSweepWav(s_dir->file("tick.wav"), kRate, 2, 0.05);
    testmedia::WriteText(s_dir->file("notes.mp3"), "ffconcat version 1.0\nfile 'bell.wav'\n");
    const std::string in = "-i " + testmedia::Quoted(s_dir->file("bell.wav")) + " ";
    ASSERT_TRUE(testmedia::Ffmpeg(in + testmedia::Quoted(s_dir->file("bell.mp3"))));
    ASSERT_TRUE(testmedia::Ffmpeg(in + testmedia::Quoted(s_dir->file("bell.ogg"))));
    ASSERT_TRUE(testmedia::Ffmpeg(in + testmedia::Quoted(s_dir->file("bell.flac"))));
    ASSERT_TRUE(testmedia::Ffmpeg(in + testmedia::Quoted(s_dir->file("bell.m4a"))));
  }
  static void TearDownTestSuite() { s_dir.reset(); }

  std::uint32_t Send(const std::string& command) { return m_service.send(command.c_str(), nullptr, 0); }
  std::string Status(const std::string& command, std::uint32_t size = 128) {
    std::vector<char> reply(size + 1, '#');
    m_service.send(command.c_str(), reply.data(), size);
    return std::string(reply.data());
  }
  std::string Open(const std::string& file, const std::string& alias) {
    return "open \"" + s_dir->file(file) + "\" alias " + alias + " type mpegvideo";
  }
  std::vector<float> Render(std::size_t frames) {
    std::vector<float> out(frames * 2);
    m_service.renderOffline(out.data(), frames);
    return out;
  }

  static std::unique_ptr<testmedia::TempDir> s_dir;
  mci::Service m_service{mci::Service::Offline};
};
std::unique_ptr<testmedia::TempDir> ServiceTest::s_dir;

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
      {"play A4", 263}, {"stop a33", 263}, {"close A99", 263}, {"seek B to 5", 263},
      {"play A3 now", 259}, {"seek A3", 273}, {"seek A3 to", 273}, {"seek A3 from 5", 259},
      {"seek A3 to 5 6", 259}, {"seek A3 to 2.5", 270}, {"seek A3 to abc", 270}, {"seek A3 to 12ms", 270},
      {"status A3", 273}, {"status A3 colour", 259}, {"status A3 mode now", 259},
      {"setaudio A3", 273}, {"setaudio A3 treble to 5", 259}, {"setaudio A3 volume", 273},
      {"setaudio A3 volume 5", 259}, {"setaudio A3 volume to", 273}, {"setaudio A3 volume to loud", 270},
      {"setaudio A3 volume to 1001", 282}, {"setaudio A3 volume to -1", 282},
      {"open \"bell.wav alias B", 294}, {"open \"x.wav\"alias B", 305},
      {"open \"x.wav\" alias", 273}, {"open \"x.wav\" alias B colour red", 259},
      {"open \"x.wav\" alias B type waveaudio", 263},
  };
  for (const CommandCase& c : cases) {
    EXPECT_EQ(Send(c.command), c.expected) << '"' << c.command << '"';
  }
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
  EXPECT_EQ(Send(Open("notes.mp3", "A1")), 277u);
  EXPECT_EQ(Send("status A1 mode"), 263u);  // a failed open leaves no device behind
  EXPECT_EQ(Status("status A0 length"), "2000");  // nor disturbs the existing one
}

TEST_F(ServiceTest, LengthsMatchTheAudioOfEveryFormat) {
  const char* files[] = {"bell.wav", "bell.mp3", "bell.ogg", "bell.flac", "bell.m4a"};
  int n = 0;
  for (const char* file : files) {
    const std::string alias = "A" + std::to_string(n++);
    ASSERT_EQ(Send(Open(file, alias)), 0u) << file;
    EXPECT_EQ(Status("status " + alias + " length", 20), "2000") << file;
  }
}

TEST_F(ServiceTest, RepliesAreCutToFitTheBufferAndEmptiedOnEveryCall) {
  ASSERT_EQ(Send(Open("bell.wav", "A7")), 0u);
  EXPECT_EQ(Status("status A7 mode", 3), "st");
  Send("play A7");
  EXPECT_EQ(Status("status A7 mode", 3), "pl");
  EXPECT_EQ(Status("status A7 mode"), "playing");
  EXPECT_EQ(Status("status A7 length", 3), "20");
  // A failing call still empties the buffer it was given.
  EXPECT_EQ(Status("status A8 mode", 3), "");
  EXPECT_EQ(Status("bogus", 20), "");
  char untouched = 'x';
  EXPECT_EQ(m_service.send("status A7 mode", &untouched, 0), 0u);
  EXPECT_EQ(untouched, 'x');
}

TEST_F(ServiceTest, SeekAndPlayStartAtTheRequestedMillisecond) {
  ASSERT_EQ(Send(Open("bell.wav", "A12")), 0u);
  for (int ms : {0, 250, 1001}) {
    SCOPED_TRACE(ms);
    ASSERT_EQ(Send("seek A12 to  " + std::to_string(ms)), 0u);
    ASSERT_EQ(Send("play A12"), 0u);
    const auto block = Render(audio::kBlockFrames);
    const std::int64_t start = std::int64_t{ms} * kRate / 1000;
    for (int f = 0; f < audio::kBlockFrames; ++f) ASSERT_EQ(block[f * 2], Expected(0, start + f)) << f;
    ASSERT_EQ(Send("stop A12"), 0u);
    Render(1024);
  }
}

TEST_F(ServiceTest, PlayToTheEndStopAndCloseAsTheBoardUsesThem) {
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
  Render(480);
  ASSERT_EQ(Send("stop A5"), 0u);
  Render(480);
  EXPECT_EQ(Status("status A5 mode"), "stopped");
  const std::string stoppedAt = Status("status A5 position");
  Render(4800);
  EXPECT_EQ(Status("status A5 position"), stoppedAt);  // stop keeps the position

  ASSERT_EQ(Send("play A5"), 0u);
  ASSERT_EQ(Send("close A5"), 0u);  // closing a playing device
  EXPECT_EQ(Send("status A5 mode"), 263u);
  EXPECT_EQ(Send(Open("tick.wav", "A5")), 0u);  // the alias is free again
}

TEST_F(ServiceTest, VolumeScalesTheRenderedSound) {
  ASSERT_EQ(Send(Open("bell.wav", "A2")), 0u);
  ASSERT_EQ(Send("setaudio A2 volume to  400"), 0u);
  ASSERT_EQ(Send("play A2"), 0u);
  auto block = Render(256);
  for (int f = 0; f < 256; ++f) ASSERT_FLOAT_EQ(block[f * 2], 0.4f * Expected(0, f));
  EXPECT_EQ(Send("setaudio A2 volume to  1001"), 282u);
  block = Render(256);
  for (int f = 0; f < 256; ++f) ASSERT_FLOAT_EQ(block[f * 2], 0.4f * Expected(0, 256 + f));
}

TEST_F(ServiceTest, SixtyFourDevicesOpenAndThirtyNinePlayTogether) {
  for (int i = 0; i < 64; ++i) ASSERT_EQ(Send(Open("bell.wav", "A" + std::to_string(i))), 0u) << i;
  for (int i = 0; i < 39; ++i) {
    ASSERT_EQ(Send("setaudio A" + std::to_string(i) + " volume to 10"), 0u);
    ASSERT_EQ(Send("play A" + std::to_string(i)), 0u);
  }
  const auto block = Render(256);
  for (int f = 0; f < 256; ++f) ASSERT_NEAR(block[f * 2], 39 * 0.01f * Expected(0, f), 1e-5f);
  for (int i = 0; i < 39; ++i) EXPECT_EQ(Status("status A" + std::to_string(i) + " mode"), "playing");
  EXPECT_EQ(Send("close all"), 0u);
  EXPECT_EQ(Send("status A0 mode"), 263u);
  EXPECT_EQ(m_service.underrunCount(), 0u);
}

TEST_F(ServiceTest, PathsKeepTheirCaseBlanksColonsAndJapanese) {
  namespace fs = std::filesystem;
  const std::string odd = s_dir->file("Chime: 鐘の音 Two.wav");
  fs::copy_file(s_dir->file("tick.wav"), odd, fs::copy_options::overwrite_existing);
  EXPECT_EQ(Send("open \"" + odd + "\" alias A9 type mpegvideo"), 0u);
  EXPECT_EQ(Status("status a9 length"), "50");
  const fs::path before = fs::current_path();
  fs::current_path(s_dir->path());
  EXPECT_EQ(Send("open \"Chime: 鐘の音 Two.wav\" alias A10 type mpegvideo"), 0u);
  EXPECT_EQ(Send("open \"chime: 鐘の音 two.wav\" alias A11 type mpegvideo"), 275u);
  fs::current_path(before);
}

TEST_F(ServiceTest, SendStringUsesTheInstalledService) {
  ASSERT_EQ(Send(Open("bell.wav", "A1")), 0u);
  mci::InstallService(&m_service);
  char reply[20] = {};
  EXPECT_EQ(mci::SendString("play A1", nullptr, 0, nullptr), 0u);
  EXPECT_EQ(mci::SendString("status A1 mode", reply, sizeof reply, nullptr), 0u);
  EXPECT_STREQ(reply, "playing");
  mci::InstallService(nullptr);
}

}  // namespace
