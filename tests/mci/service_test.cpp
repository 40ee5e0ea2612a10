// The media command service driven by command strings: the audio it renders, its codes and replies.
#include "mci/mci_service.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <regex>
#include <sstream>

#include "test_media.h"

#if defined(__unix__)
#include <sys/stat.h>
#endif

namespace {

constexpr int kRate = 48000, kFadeFrames = kRate * 5 / 1000;

class ServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::filesystem::current_path(testmedia::Dir());  // relative paths resolve against it
        testmedia::WriteWav("bell.wav", kRate, 2, 2 * kRate);
        testmedia::WriteWav("Chime: 鐘の音 Two.wav", kRate, 2, kRate / 20);
        std::ofstream("notes.mp3") << "ffconcat version 1.0\nfile 'bell.wav'\n";
        std::ofstream("empty.mp3");
        std::filesystem::create_directory("folder.wav");
#if defined(__unix__)
        mkfifo("pipe.wav", 0600);  // opening it must not wait for a writer
#endif
    }
    // Commands separated by "; ", each with "-> n" for its error number (else 0) and "=> text"
    // for its reply; a leading digit is the reply buffer's size (else 128). Returns the last reply.
    std::string Run(const std::string& script) {
        char text[128];
        for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 2) {
            const std::string line = script.substr(at, (end = script.find("; ", at)) - at);
            const std::size_t code = line.find(" -> "), reply = line.find(" => "),
                              sized = line[0] >= '0' && line[0] <= '9';
            std::strcpy(text, "#");
            const auto rc = m_service.send(line.substr(sized, std::min(code, reply) - sized).c_str(), text,
                                           sized ? line[0] - '0' : 128);
            EXPECT_EQ(rc, code == std::string::npos ? 0 : std::stoul(line.substr(code + 4))) << line;
            EXPECT_TRUE(reply == std::string::npos || text == line.substr(reply + 4)) << line << ": " << text;
        }
        return text;
    }
    std::vector<float> Render(std::size_t frames) {
        std::vector<float> out(frames * 2);
        m_service.renderOffline(out.data(), frames);
        return out;
    }
    static float Expected(int channel, std::int64_t frame, float gain = 1.0f) {  // as the 16-bit file holds it
        return gain * float(std::lround(testmedia::Sweep(channel, frame, kRate) * 32767.0f)) / 32768.0f;
    }
    mci::Service m_service{mci::Service::Offline};
};

// Whatever the letter case and blanks, each command the board sends is accepted; with a word
// more or a keyword it does not know it is refused as 259, with an unknown device as 263, with
// its last words missing as 273 (292 without a device), and with a number not a whole one as 270.
TEST_F(ServiceTest, EveryCommandShapeAndItsErrorNumbers) {
    Run("open \"bell.wav\" alias A3 type mpegvideo");
    for (const std::string shape : {"play A3", "stop A3", "seek A3 to 250", "status A3 mode", "status A3 length",
                                    "status A3 position", "status A3 volume", "setaudio A3 volume to 800"}) {
        std::string folded = "\t " + shape + "  ", word, cut = shape;
        std::transform(folded.begin(), folded.end(), folded.begin(),
                       [](char c) { return c == ' ' ? '\t' : std::toupper(c); });
        Run(shape + "; " + folded + "; " + shape + " now -> 259; " +
            std::regex_replace(shape, std::regex("A3"), "a33") + " -> 263");
        std::istringstream words(shape);
        for (int i = 0; words >> word; ++i)
            if (i >= 2 && !std::isdigit(word[0]))
                Run(std::regex_replace(shape, std::regex(word), "colour") + " -> 259");
        while (cut.find(' ') != std::string::npos)
            cut.erase(cut.rfind(' ')), Run(cut + (cut.find(' ') == std::string::npos ? " -> 292" : " -> 273"));
        for (const char* bad : {"2.5", "abc", "12ms", "-", "+", "\"\""})
            if (shape.find(" to ") != std::string::npos) Run(shape.substr(0, shape.rfind(' ') + 1) + bad + " -> 270");
    }
    Run(" -> 267;    -> 267; dance A3 -> 261; \"play\" A3 -> 261; close all now -> 259; "
        "setaudio A3 volume to 1001 -> 282; setaudio A3 volume to -1 -> 282; status A3 volume => 800; "
        "seek A3 to -40; status A3 position => 0; seek A3 to end; status A3 position => 2000; "
        "seek A3 to 99999999999999999999; status A3 position => 2000; seek A3 to start; play A3; "
        "status A3 mode => playing; 3status A3 mode => pl; stop all; 3status A3 length => 20; 0status A3 mode => #; "
        "3status A8 mode -> 263 => ; 9bogus -> 261 => ; open \"bell.wav alias B -> 294; "
        "open \"x.wav\"alias B -> 305; open \"x.wav\" alias -> 273; open \"x.wav\" alias B colour red -> 259; "
        "open \"x.wav\" alias B type waveaudio -> 263; open \"/no/such/file.wav\" alias a3 type mpegvideo -> 289; "
        "open \"/no/such/file.xyz\" alias A1 -> 281; open \"pipe:0\" alias A1 -> 281; "
        "open \"/dev/zero\" alias A1 -> 281; open \"folder.wav\" alias A1 -> 275; open \"pipe.wav\" alias A1 -> 275; "
        "open \"concat:bell.wav|bell.wav\" alias A1 type mpegvideo -> 275; "
        "open \"http://127.0.0.1:9/x.mp3\" alias A1 type mpegvideo -> 275; "
        "open \"Chime: 鐘の音 Two.wav\" alias A9 type mpegvideo; status a9 length => 50; "
        "open \"chime: 鐘の音 two.wav\" alias A11 type mpegvideo -> 275; close A9; status A9 mode -> 263; "
        "close all; status A3 mode -> 263; open \"empty.mp3\" alias A1 -> 277; open \"notes.mp3\" alias A1 -> 277; "
        "status A1 mode -> 263");
    char why[256];  // the reason a file cannot play names what it looked like
    ASSERT_TRUE(m_service.errorText(277, why, sizeof why));
    EXPECT_NE(std::string(why).find("looks like: concat"), std::string::npos) << why;
}

// From any position and at any level, the first stretch after seek and play is the sound at its
// gain (seeking again while playing, once the old position has faded out underneath); a stop is
// silent within 5 ms and keeps the position, and play resumes there at its level.
TEST_F(ServiceTest, FromAnySeekPlayIsHeardAtItsLevelAndStopIsSilentWithinFiveMilliseconds) {
    Run("open \"bell.wav\" alias A12 type mpegvideo");
    std::mt19937 random(12);
    for (int round = 0; round < 24; ++round) {
        const std::int64_t ms = random() % 2001, seeks = 1 + random() % 3, start = ms * kRate / 1000;
        const float gain = float(random() % 1001) / 1000.0f;
        SCOPED_TRACE(std::to_string(ms) + " ms at " + std::to_string(gain) + ", seeks " + std::to_string(seeks));
        Run("setaudio A12 volume to " + std::to_string(std::lround(gain * 1000)));
        for (int s = 0; s < seeks; ++s) Run("seek A12 to " + std::to_string(ms) + "; play A12");
        const auto block = Render(1024);
        for (std::int64_t f = seeks > 1 ? kFadeFrames : 0; f < std::min<std::int64_t>(1024, 2 * kRate - start); ++f)
            for (int c : {0, 1}) ASSERT_FLOAT_EQ(block[f * 2 + c], Expected(c, start + f, gain)) << f;
        Run("stop A12");
        const auto tail = Render(1024);
        for (std::size_t i = kFadeFrames * 2; i < tail.size(); ++i) ASSERT_EQ(tail[i], 0.0f) << i;
        EXPECT_NEAR(std::stoll(Run("status A12 position")), std::min<std::int64_t>(2000, ms + 22), 2);
        Run("play A12");
        const auto resumed = Render(256);
        bool found = start + 1024 + 2 * kFadeFrames > 2 * kRate;  // or it had ended
        for (std::int64_t f = start + 1024; f <= start + 1024 + kFadeFrames; ++f)
            found |= resumed[0] == Expected(0, f, gain) && resumed[3] == Expected(1, f + 1, gain);
        EXPECT_TRUE(found);
        Run("stop A12"), Render(1024);
    }
}

// Every sample once, across the ring's wrap, up to the last; then stopped at the end, where play
// finishes at once; a device closed while playing is gone.
TEST_F(ServiceTest, ASoundPlayedToItsEndIsHeardWholeAndStopsAtItsLastSample) {
    Run("open \"bell.wav\" alias A0 type mpegvideo; play A0");
    for (std::int64_t at = 0; at < 97 * 1000; at += 1000) {  // in stretches that are no whole number of blocks
        const auto stretch = Render(1000);
        for (std::int64_t f = at; f < at + 1000; ++f)
            for (int c : {0, 1}) ASSERT_EQ(stretch[(f - at) * 2 + c], Expected(c, f, f < 2 * kRate)) << f;
    }
    Run("status A0 mode => stopped; status A0 position => 2000; play A0; status A0 mode => stopped; seek A0 to end; "
        "play A0; status A0 mode => stopped; seek A0 to 1990; play A0; close A0; status A0 mode -> 263");
    for (float x : Render(512)) ASSERT_EQ(x, 0.0f);
}

}  // namespace
