// The seven channel operations: exact command strings, in order, with their reply sizes,
// and how replies are read.
#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "channels/mci_channels.h"
#include "recording_mci.h"

using namespace channels;

namespace {

using Calls = std::vector<std::pair<std::string, std::uint32_t>>;

// A service that answers every command with one scripted reply, cut to fit as the real one
// does, and keeps what the reply buffer held when it arrived.
std::string g_reply, g_bufferOnArrival;
std::uint32_t ScriptedSend(const char*, char* buffer, std::uint32_t size, void*) {
    g_bufferOnArrival.assign(buffer, size);
    const std::size_t n = std::min<std::size_t>(g_reply.size(), size - 1);
    std::memcpy(buffer, g_reply.data(), n);
    buffer[n] = '\0';
    return 0;
}

}  // namespace

TEST(Channels, SendTheExactCommands) {
    const struct { std::function<void()> operation; Calls expected; } cases[] = {
        {[] { MciOpenSound(0, "bell.wav"); }, {{"open \"bell.wav\" alias A0 type mpegvideo", 0}}},
        {[] { MciOpenSound(37, "C:\\Sounds\\a b,c.mp3"); },
         {{"open \"C:\\Sounds\\a b,c.mp3\" alias A37 type mpegvideo", 0}}},
        {[] { MciOpenSound(100, "/tmp/x.wav"); }, {{"open \"/tmp/x.wav\" alias A100 type mpegvideo", 0}}},
        {[] { MciOpenSound(4, QStringLiteral("/home/u/効果音/café – 1.wav")); },  // UTF-8, unchanged
         {{"open \"/home/u/効果音/café – 1.wav\" alias A4 type mpegvideo", 0}}},
        {[] { MciPlayFrom(3, 0.25); }, {{"seek A3 to  250", 0}, {"play A3", 0}}},
        {[] { MciPlayFrom(3, 0); }, {{"seek A3 to  0", 0}, {"play A3", 0}}},
        {[] { MciPlayFrom(3, -0.25); }, {{"seek A3 to -250", 0}, {"play A3", 0}}},
        {[] { MciPlayFrom(1, 0.0015); }, {{"seek A1 to  2", 0}, {"play A1", 0}}},  // 1.5 -> 2
        {[] { MciPlayFrom(1, 0.0025); }, {{"seek A1 to  2", 0}, {"play A1", 0}}},  // 2.5 -> 2
        {[] { MciPlayFrom(1, 3600.0004); }, {{"seek A1 to  3600000", 0}, {"play A1", 0}}},
        {[] { MciStopSound(7); }, {{"stop A7", 0}}},
        {[] { MciCloseSound(-1); }, {{"close A-1", 0}}},
        {[] { MciIsPlaying(5); }, {{"status A5 mode", 3}}},
        {[] { MciGetLength(5); }, {{"status A5 length", 20}}},
        {[] { MciSetVolume(2, 800); }, {{"setaudio A2 volume to  800", 0}}},
        {[] { MciSetVolume(2, 0); }, {{"setaudio A2 volume to  0", 0}}},
        {[] { MciSetVolume(2, 1000); }, {{"setaudio A2 volume to  1000", 0}}},
        {[] { MciSetVolume(2, -1); }, {}},
        {[] { MciSetVolume(2, 1001); }, {}},
    };
    for (const auto& c : cases) {
        RecordingMci mci;
        c.operation();
        Calls sent;
        for (const auto& call : mci.calls) sent.emplace_back(call.command, call.replySize);
        EXPECT_EQ(sent, c.expected) << (c.expected.empty() ? "" : c.expected[0].first);
    }
}

// Positions whose milliseconds do not fit a 32-bit count are held at its ends, and one that
// is not a number seeks to the beginning, instead of sending garbage or crashing.
TEST(Channels, KeepUnusablePositionsInRange) {
    const struct { double seconds; const char* seek; } cases[] = {
        {2147483.647, "seek A0 to  2147483647"}, {1e12, "seek A0 to  2147483647"},
        {-1e12, "seek A0 to -2147483648"},       {INFINITY, "seek A0 to  2147483647"},
        {-INFINITY, "seek A0 to -2147483648"},   {NAN, "seek A0 to  0"},
    };
    for (const auto& c : cases) {
        RecordingMci mci;
        MciPlayFrom(0, c.seconds);
        EXPECT_EQ(mci.commands(), (std::vector<std::string>{c.seek, "play A0"})) << c.seconds;
    }
}

TEST(Channels, ReadTheModeFromThreeCharactersAndTheLengthFromLeadingDigits) {
    SetMciSendFunction(&ScriptedSend);
    const struct { const char* reply; bool playing; } modes[] = {
        {"playing", true}, {"pl", true}, {"paused", false}, {"stopped", false},
        {"Playing", false}, {"seeking", false}, {"not ready", false}, {"", false}};
    for (const auto& c : modes) {
        g_reply = c.reply;
        EXPECT_EQ(MciIsPlaying(9), c.playing) << c.reply;
        EXPECT_EQ(g_bufferOnArrival, "   ");  // three blanks
    }
    const struct { const char* reply; double seconds; } lengths[] = {
        {"123456", 123.456}, {"0", 0}, {"", 0}, {"abc", 0}, {"1500ms", 1.5},
        {"1234567890123456789012345", 1234567890123456789.0 / 1000}};  // cut to 19 digits
    for (const auto& c : lengths) {
        g_reply = c.reply;
        EXPECT_DOUBLE_EQ(MciGetLength(9), c.seconds) << c.reply;
        EXPECT_EQ(g_bufferOnArrival, std::string(20, '\0'));
    }
    SetMciSendFunction(nullptr);
}

TEST(Channels, OpenSucceedsOnlyOnCodeZeroAndWithoutAServiceEverythingFails) {
    {
        RecordingMci mci;
        mci.unopenable.insert("missing.wav");
        EXPECT_TRUE(MciOpenSound(1, "a.wav"));
        EXPECT_FALSE(MciOpenSound(1, "a.wav"));  // alias already open
        EXPECT_FALSE(MciOpenSound(2, "missing.wav"));
    }
    EXPECT_FALSE(MciOpenSound(0, "a.wav"));
    EXPECT_FALSE(MciIsPlaying(0));
    EXPECT_EQ(MciGetLength(0), 0);
    MciPlayFrom(0, 1);  // none of these may touch a missing service
    MciSetVolume(0, 500);
    MciStopSound(0);
    MciCloseSound(0);
}
