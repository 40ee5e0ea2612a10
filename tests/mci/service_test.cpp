// The media command service driven by command strings: the audio it renders, its codes and replies.
#include "mci/mci_service.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <random>
#include <tuple>

#include "audio/audio_format.h"
#include "mci/mci_errors.h"
#include "test_media.h"

#if defined(__unix__)
#include <sys/stat.h>
#endif

namespace {

using namespace mci;

constexpr int kRate = 48000;
constexpr int kFadeFrames = kRate * 5 / 1000;
constexpr std::int64_t kBellFrames = 2 * kRate;
// The constant level.wav holds on each channel: any step in the gain shows as a step in the output.
constexpr float kLevelSample[] = {0.5f, -0.25f};

// A command, the error number it gets, and what a reply buffer of `replySize` characters that
// held "#" holds after it.
struct Exchange {
    const char* command;
    std::uint32_t code = kOk;
    const char* reply = "";
    std::uint32_t replySize = 128;
};

class ServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    std::uint32_t Send(const std::string& command) { return m_service.send(command.c_str(), nullptr, 0); }
    void Command(const std::string& command) { EXPECT_EQ(Send(command), kOk) << command; }  // must succeed
    std::string Reply(const std::string& command) {
        char reply[128] = "#";
        EXPECT_EQ(m_service.send(command.c_str(), reply, sizeof reply), kOk) << command;
        return reply;
    }
    // The exchanges one after the other, on the same devices (of `service`, else the offline one).
    void Expect(std::initializer_list<Exchange> exchanges, Service* service = nullptr) {
        for (const auto& [command, code, expected, replySize] : exchanges) {
            char reply[128] = "#";
            EXPECT_EQ((service ? *service : m_service).send(command, reply, replySize), code) << command;
            EXPECT_STREQ(reply, expected) << command;
        }
    }
    std::vector<float> Render(std::size_t frames) {
        std::vector<float> out(frames * 2);
        m_service.renderOffline(out.data(), frames);
        return out;
    }
    static float Expected(int channel, std::int64_t frame, float gain) {  // as the 16-bit file holds it
        return gain * float(std::lround(testmedia::Sweep(channel, frame, kRate) * 32767.0f)) / 32768.0f;
    }
    // From frame `from` of `heard` on: bell.wav from its frame `start` at `gain`, silence past its end.
    static void ExpectBell(const std::vector<float>& heard, std::int64_t start, float gain, std::int64_t from = 0) {
        for (std::int64_t f = from; f < std::int64_t(heard.size() / 2); ++f)
            for (int c : {0, 1})
                ASSERT_EQ(heard[f * 2 + c], start + f < kBellFrames ? Expected(c, start + f, gain) : 0.0f) << start + f;
    }
    Service m_service{Service::Offline};
};

void ServiceTest::SetUpTestSuite() {
    std::filesystem::current_path(testmedia::Dir());  // relative paths resolve against it
    testmedia::WriteWav("bell.wav", kRate, 2, kBellFrames);
    testmedia::WriteWav("Chime: 鐘の音 Two.wav", kRate, 2, kRate / 20);
    testmedia::WriteWav(
        "level.wav", kRate, 2, kRate, [](int c, std::int64_t) { return kLevelSample[c]; }, true);
    std::ofstream("notes.mp3") << "ffconcat version 1.0\nfile 'bell.wav'\n";
    std::ofstream("words.mp3") << "Not a sound: a few words of text under a sound file's name.\n";
    std::ofstream("list.m3u") << "#EXTM3U\nbell.wav\n";
    std::ofstream("empty.mp3");
    std::filesystem::create_directory("folder.wav");
#if defined(__unix__)
    mkfifo("pipe.wav", 0600);  // opening it must not wait for a writer
#endif
}

// Each command the board sends is accepted whatever the letter case and blanks; with a word more
// it is refused as 259, on a device not open as 263. Every other fault gets its own error number,
// and a refused command leaves the reply empty.
TEST_F(ServiceTest, EveryCommandShapeAndItsErrorNumbers) {
    // clang-format off
    const std::string shapes[] = {"play A3", "stop A3", "seek A3 to 250", "status A3 mode", "status A3 length",
                                  "status A3 position", "status A3 volume", "setaudio A3 volume to 800"};
    // clang-format on
    Command("open \"bell.wav\" alias A3 type mpegvideo");
    for (const std::string& shape : shapes) {
        std::string shouted = "\t " + shape + "  ";
        for (char& c : shouted) c = c == ' ' ? '\t' : char(std::toupper(c));
        std::string elsewhere = shape;
        elsewhere.replace(elsewhere.find("A3"), 2, "A33");
        EXPECT_EQ(Send(shape), kOk) << shape;
        EXPECT_EQ(Send(shouted), kOk) << shape;
        EXPECT_EQ(Send(shape + " now"), kErrUnrecognizedKeyword) << shape;
        EXPECT_EQ(Send(elsewhere), kErrInvalidDeviceName) << shape;
    }
    Expect({
        // No command, or a verb not known.
        {"", kErrMissingCommandString},
        {"   ", kErrMissingCommandString},
        {"dance A3", kErrUnrecognizedCommand},
        {"\"play\" A3", kErrUnrecognizedCommand},
        // A keyword not known where one stands.
        {"seek A3 colour 250", kErrUnrecognizedKeyword},
        {"status A3 colour", kErrUnrecognizedKeyword},
        {"setaudio A3 colour to 800", kErrUnrecognizedKeyword},
        {"setaudio A3 volume colour 800", kErrUnrecognizedKeyword},
        {"close all now", kErrUnrecognizedKeyword},
        // The last words missing: the device (292) or what the command needs (273).
        {"play", kErrMissingDeviceName},
        {"setaudio", kErrMissingDeviceName},
        {"seek A3", kErrMissingParameter},
        {"seek A3 to", kErrMissingParameter},
        {"status A3", kErrMissingParameter},
        {"setaudio A3", kErrMissingParameter},
        {"setaudio A3 volume", kErrMissingParameter},
        {"setaudio A3 volume to", kErrMissingParameter},
        // Open's own words.
        {"open \"bell.wav alias B", kErrNoClosingQuote},
        {"open \"x.wav\"alias B", kErrExtraCharacters},
        {"open \"x.wav\" alias", kErrMissingParameter},
        {"open \"x.wav\" alias B colour red", kErrUnrecognizedKeyword},
        {"open \"x.wav\" alias B type waveaudio", kErrInvalidDeviceName},
    });
    for (const std::string number : {"2.5", "abc", "12ms", "-", "+", "\"\""}) {  // not a whole number
        EXPECT_EQ(Send("seek A3 to " + number), kErrBadInteger) << number;
        EXPECT_EQ(Send("setaudio A3 volume to " + number), kErrBadInteger) << number;
    }
}

// Only a local file holding sound opens: whatever else a name can reach is refused, and leaves no
// device behind (else the next open under the same alias is a duplicate, 289).
TEST_F(ServiceTest, WhatIsNoLocalSoundFileIsRefused) {
    Expect({
        {"open \"/no/such/file.wav\" alias A1 type mpegvideo", kErrFileNotFound},
        {"open \"/no/such/file.xyz\" alias A1", kErrExtensionNotFound},
        {"open \"http://127.0.0.1:9/x.mp3\" alias A1 type mpegvideo", kErrFileNotFound},
        {"open \"pipe:0\" alias A1 type mpegvideo", kErrFileNotFound},
        {"open \"concat:bell.wav|bell.wav\" alias A1 type mpegvideo", kErrFileNotFound},
        {"open \"/dev/zero\" alias A1 type mpegvideo", kErrFileNotFound},
        {"open \"folder.wav\" alias A1", kErrFileNotFound},
        {"open \"pipe.wav\" alias A1", kErrFileNotFound},
        {"open \"list.m3u\" alias A1 type mpegvideo", kErrInternal},
        {"open \"empty.mp3\" alias A1", kErrInternal},
        {"open \"words.mp3\" alias A1", kErrInternal},
        {"open \"notes.mp3\" alias A1", kErrInternal},  // a list of files to join
    });
    char why[256];  // the reason a file cannot play names what it looked like
    ASSERT_TRUE(m_service.errorText(kErrInternal, why, sizeof why));
    EXPECT_NE(std::string(why).find("looks like: concat"), std::string::npos) << why;
    // The reason goes with the open that had it: after the next command the code means only itself.
    EXPECT_EQ(Send("open \"bell.wav\" alias A1"), kOk);
    ASSERT_TRUE(m_service.errorText(kErrInternal, why, sizeof why));
    EXPECT_STREQ(why, "The file holds no sound that can be played");
}

// The program installs its service; before that, or after, a command runs nowhere and says so.
TEST(SendStringTest, WithNoServiceInstalledEveryCommandFailsAsOneToNoOpenDevice) {
    InstallService(nullptr);
    char reply[8] = "stale";
    EXPECT_EQ(SendString("close all", reply, sizeof reply, nullptr), kErrInvalidDeviceName);
    EXPECT_STREQ(reply, "");
}

// A reply too long is cut to fit, with its terminator, and a buffer of size 0 is not written. An
// alias names its device whatever its letter case, the path keeps its own; close all frees them.
TEST_F(ServiceTest, RepliesTheirBufferSizesAndAliases) {
    Expect({
        {"open \"bell.wav\" alias A3 type mpegvideo"},
        {"status A3 volume", kOk, "1000"},  // a device opens at full level
        {"seek A3 to -40"},
        {"status A3 position", kOk, "0"},
        {"seek A3 to end"},
        {"status A3 position", kOk, "2000"},
        {"seek A3 to 99999999999999999999"},
        {"status A3 position", kOk, "2000"},
        {"seek A3 to start"},
        {"play A3"},
        // The mode query, asked ten times a second, has a path of its own that reads as every command.
        {"status A3 mode", kOk, "playing"},
        {"Status a3 MODE", kOk, "playing"},
        {" \tstatus  A3\r\nmode \t", kOk, "playing"},
        {"status \"A3\" mode", kOk, "playing"},
        {"status A3 \"mode\"", kErrUnrecognizedKeyword},
        {"status A3 modes", kErrUnrecognizedKeyword},
        {"status A3 mode\"", kErrUnrecognizedKeyword},
        {"status A\"3 mode", kErrInvalidDeviceName},
        {"statusA3 mode", kErrUnrecognizedCommand},
        {"status \"A3 mode", kErrNoClosingQuote},
        {"status A3 mode", kOk, "pl", 3},
        {"status A3 mode", kOk, "", 1},
        {"status A3 mode", kOk, "#", 0},
        {"stop all"},
        {"status A3 mode", kOk, "stopped"},
        {"status A3 length", kOk, "20", 3},
        {"status A8 mode", kErrInvalidDeviceName, "", 3},
        {"open \"/no/such/file.wav\" alias a3 type mpegvideo", kErrDuplicateAlias},
        {"open \"Chime: 鐘の音 Two.wav\" alias A9 type mpegvideo"},
        {"status a9 length", kOk, "50"},
        {"open \"chime: 鐘の音 two.wav\" alias A11 type mpegvideo", kErrFileNotFound},
        {"close A9"},
        {"status A9 mode", kErrInvalidDeviceName},
        {"close all"},
        {"status A3 mode", kErrInvalidDeviceName},
        {"open \"bell.wav\" alias A3 type mpegvideo"},
    });
}

// The board's volume and start at the ends of their ranges, written as the board writes them:
// volume 0 is silence and 1000 the sound as the file holds it, one beyond either is refused and
// the level stays; a start at 0 is the first frame, the last millisecond ends on the last sample,
// and at or beyond the 2000 ms length play ends at once.
TEST_F(ServiceTest, VolumeAndStartAtTheEndsOfTheirRanges) {
    // A command, its error number, the level after it (as status reports it and as it is heard),
    // and where play then starts, in ms.
    const std::tuple<const char*, std::uint32_t, int, std::int64_t> ends[] = {
        {"setaudio A3 volume to  0", kOk, 0, 1000},
        {"setaudio A3 volume to -1", kErrOutOfRange, 0, 1000},
        {"setaudio A3 volume to  1000", kOk, 1000, 1000},
        {"setaudio A3 volume to  1001", kErrOutOfRange, 1000, 1000},
        {"seek A3 to  0", kOk, 1000, 0},
        {"seek A3 to  1999", kOk, 1000, 1999},
        {"seek A3 to  2000", kOk, 1000, 2000},
        {"seek A3 to  2001", kOk, 1000, 2000},
    };
    Command("open \"bell.wav\" alias A3 type mpegvideo");
    for (const auto& [command, code, level, position] : ends) {
        SCOPED_TRACE(command);
        Command("seek A3 to  1000");  // so that a seek not taken shows
        EXPECT_EQ(Send(command), code);
        EXPECT_EQ(Reply("status A3 volume"), std::to_string(level));
        EXPECT_EQ(Reply("status A3 position"), std::to_string(position));
        Command("play A3");
        const std::int64_t start = audio::FramesFromMs(position);
        ExpectBell(Render(1024), start, level / 1000.0f);
        EXPECT_EQ(Reply("status A3 mode"), start + 1024 < kBellFrames ? "playing" : "stopped");
        Command("stop A3");
        Render(kFadeFrames);
    }
}

// The length of a sound in whole milliseconds, the nearest one: half a millisecond counts as one.
TEST_F(ServiceTest, LengthInWholeMilliseconds) {
    const std::tuple<int, std::int64_t, const char*> sounds[] = {
        // rate, frames, length
        {48000, 48000, "1000"},  // exactly
        {48000, 48023, "1000"},  // and 0.479 ms
        {48000, 48024, "1001"},  // and half a millisecond
        {48000, 24, "1"},        // half a millisecond in all
        {44100, 44100, "1000"},  // resampled
    };
    for (const auto& [rate, frames, length] : sounds) {
        const std::string name = std::to_string(frames) + "-at-" + std::to_string(rate) + ".wav";
        testmedia::WriteWav(name, rate, 2, frames);
        Command("open \"" + name + "\" alias A5 type mpegvideo");
        EXPECT_EQ(Reply("status A5 length"), length) << name;
        Command("close A5");
    }
}

// Stop, a volume change and a fade-out step move the level while the sound plays by at most one
// ramp step a frame, and arrive in as many frames as the ramp gives the change; play starts at its
// level. On a sound of constant level, any step shows.
TEST_F(ServiceTest, EveryChangeOfLevelIsARampAndPlayStartsAtItsLevel) {
    // What, the level set before, whether the sound plays when the command comes, the command, and
    // the gain it arrives at in how many frames.
    const std::tuple<const char*, int, bool, const char*, float, int> changes[] = {
        {"play: the first frame in full", 800, false, "play A3", 0.8f, 1},
        {"stop: down to silence", 1000, true, "stop A3", 0.0f, audio::kRampFrames},
        {"volume 1000 to 500", 1000, true, "setaudio A3 volume to  500", 0.5f, audio::kRampFrames / 2},
        {"fade-out step 800 to 720", 800, true, "setaudio A3 volume to  720", 0.72f,
         (80 * audio::kRampFrames + 999) / 1000},
    };
    constexpr float kStep = 1.0f / audio::kRampFrames;
    constexpr float kTolerance = 1e-5f;
    Command("open \"level.wav\" alias A3 type mpegvideo");
    for (const auto& [what, level, playing, command, gain, frames] : changes) {
        SCOPED_TRACE(what);
        Command("setaudio A3 volume to  " + std::to_string(level));
        Command("seek A3 to  0");
        if (playing) Command("play A3");
        Render(100);
        Command(command);
        const auto heard = Render(512);
        const auto heardGain = [&](int f, int c) {
            return f < 0 ? level / 1000.0f : heard[f * 2 + c] / kLevelSample[c];
        };
        for (int c : {0, 1}) {
            for (int f = 0; playing && f < frames; ++f)
                ASSERT_LE(std::fabs(heardGain(f, c) - heardGain(f - 1, c)), kStep + kTolerance)
                    << "a step at frame " << f;
            for (int f = frames - 1; f < 512; ++f) ASSERT_NEAR(heardGain(f, c), gain, kTolerance) << f;
            for (int f = frames - 1; gain == 0.0f && f < 512; ++f) ASSERT_EQ(heard[f * 2 + c], 0.0f) << f;
        }
        Command("stop A3");
        Render(kFadeFrames);
    }
}

// From any position and at any level, the first stretch after seek and play is the sound at its
// gain (seeking again while playing, once the old position has faded out underneath); a stop is
// silent within 5 ms and keeps the position, and play resumes there at its level.
TEST_F(ServiceTest, FromAnySeekPlayIsHeardAtItsLevelAndStopIsSilentWithinFiveMilliseconds) {
    Command("open \"bell.wav\" alias A12 type mpegvideo");
    std::mt19937 random(12);
    for (int round = 0; round < 24; ++round) {
        const std::int64_t ms = random() % 2001;
        const std::int64_t seeks = 1 + random() % 3;
        const std::int64_t start = ms * kRate / 1000;
        const float gain = float(random() % 1001) / 1000.0f;
        SCOPED_TRACE(std::to_string(ms) + " ms at " + std::to_string(gain) + ", seeks " + std::to_string(seeks));
        Command("setaudio A12 volume to " + std::to_string(std::lround(gain * 1000)));
        for (int s = 0; s < seeks; ++s) {
            Command("seek A12 to " + std::to_string(ms));
            Command("play A12");
        }
        ExpectBell(Render(1024), start, gain, seeks > 1 ? kFadeFrames : 0);
        Command("stop A12");
        const auto tail = Render(1024);
        for (std::size_t i = kFadeFrames * 2; i < tail.size(); ++i) ASSERT_EQ(tail[i], 0.0f) << i;
        EXPECT_NEAR(std::stoll(Reply("status A12 position")), std::min<std::int64_t>(2000, ms + 22), 2);
        Command("play A12");
        const auto resumed = Render(256);
        bool found = start + 1024 + 2 * kFadeFrames > kBellFrames;  // or it had ended
        for (std::int64_t f = start + 1024; f <= start + 1024 + kFadeFrames; ++f)
            found |= resumed[0] == Expected(0, f, gain) && resumed[3] == Expected(1, f + 1, gain);
        EXPECT_TRUE(found);
        Command("stop A12");
        Render(1024);
    }
}

// Every sample once, across the ring's wrap, up to the last; then stopped at the end, where play
// finishes at once; a device closed while playing is gone.
TEST_F(ServiceTest, ASoundPlayedToItsEndIsHeardWholeAndStopsAtItsLastSample) {
    Command("open \"bell.wav\" alias A0 type mpegvideo");
    Command("play A0");
    for (std::int64_t at = 0; at < 97 * 1000; at += 1000)  // in stretches that are no whole number of blocks
        ExpectBell(Render(1000), at, 1.0f);
    EXPECT_EQ(Reply("status A0 mode"), "stopped");
    EXPECT_EQ(Reply("status A0 position"), "2000");
    Command("play A0");
    EXPECT_EQ(Reply("status A0 mode"), "stopped");
    Command("seek A0 to 1990");
    Command("play A0");
    Command("close A0");
    EXPECT_EQ(Send("status A0 mode"), kErrInvalidDeviceName);
    for (float x : Render(512)) ASSERT_EQ(x, 0.0f);
}

// A sound moved again and again faster than its fades are heard out runs out of takes. On an engine
// whose output pulls (here nothing does), no take comes free by itself: a seek that waited for one
// would wait for ever.
TEST_F(ServiceTest, ASeekWithNoFreeTakeReturnsAtOnceWithItsOwnCodeAndChangesNothing) {
    Service service(std::make_unique<audio::Engine>(audio::Engine::OutputKind::Caller));
    Expect({{"open \"bell.wav\" alias A0 type mpegvideo"}, {"play A0"}}, &service);
    for (const char* seek : {"seek A0 to 1000", "seek A0 to 1100", "seek A0 to 1200"})  // three moves: four takes
        Expect({{seek}, {"play A0"}}, &service);
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < 50; ++n) Expect({{"seek A0 to 0", kErrNoFreeTake}}, &service);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    Expect({{"status A0 mode", kOk, "playing"}, {"status A0 position", kOk, "1200"}}, &service);
    std::vector<float> block(256 * 2);
    for (int n = 0; n < 8; ++n) {  // the fades rendered and heard free the takes
        service.engine().render(block.data(), 256);
        service.engine().commit(service.engine().position());
    }
    Expect({{"seek A0 to 0"}, {"status A0 position", kOk, "0"}}, &service);
    for (int n = 1; n < audio::Engine::kMaxVoices; ++n)
        Expect({{("open \"bell.wav\" alias B" + std::to_string(n) + " type mpegvideo").c_str()}}, &service);
    Expect({{"open \"bell.wav\" alias C0 type mpegvideo", kErrNoFreeVoice}}, &service);
    char text[256];
    ASSERT_TRUE(service.errorText(kErrNoFreeTake, text, sizeof text));
    EXPECT_STREQ(text, "The device cannot move yet: it is still ending the sound where it was; try again");
    ASSERT_TRUE(service.errorText(kErrNoFreeVoice, text, sizeof text));
    EXPECT_STREQ(text, "Every device is in use: close one first: all 128 voices are in use");
}

}  // namespace
