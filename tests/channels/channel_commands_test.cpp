// The seven channel operations: their exact command strings with the reply sizes they offer.
// How replies are read shows in every board test, where the recording service answers.
#include <gtest/gtest.h>
#include <cmath>
#include <functional>

#include "channels/mci_channels.h"
#include "recording_mci.h"

using namespace channels;

namespace {

using Calls = std::vector<std::pair<std::string, std::uint32_t>>;

TEST(Channels, SendTheExactCommands) {
    const struct {
        std::function<void()> operation;
        Calls expected;
    } cases[] = {
        {[] { MciOpenSound(37, QStringLiteral("/home/u/効果音/a b,c.mp3")); },  // UTF-8, unchanged
         {{"open \"/home/u/効果音/a b,c.mp3\" alias A37 type mpegvideo", 0}}},
        {[] { MciPlayFrom(3, -0.25); }, {{"seek A3 to -250", 0}, {"play A3", 0}}},
        // Milliseconds halve to even, are held in 32 bits, and a position that is no number seeks to 0.
        {[] { MciPlayFrom(1, 0.0025), MciPlayFrom(1, 1e12), MciPlayFrom(1, -INFINITY), MciPlayFrom(1, NAN); },
         {{"seek A1 to  2", 0},
          {"play A1", 0},
          {"seek A1 to  2147483647", 0},
          {"play A1", 0},
          {"seek A1 to -2147483648", 0},
          {"play A1", 0},
          {"seek A1 to  0", 0},
          {"play A1", 0}}},
        {[] { MciStopSound(7), MciCloseSound(100); }, {{"stop A7", 0}, {"close A100", 0}}},
        {[] { MciIsPlaying(5), MciGetLength(5); }, {{"status A5 mode", 3}, {"status A5 length", 20}}},
        {[] { MciSetVolume(2, 0), MciSetVolume(2, 1000), MciSetVolume(2, -1), MciSetVolume(2, 1001); },
         {{"setaudio A2 volume to  0", 0}, {"setaudio A2 volume to  1000", 0}}},
    };
    for (const auto& c : cases) {
        RecordingMci fake;
        c.operation();
        Calls sent;
        for (const auto& call : fake.calls) sent.emplace_back(call.command, call.replySize);
        EXPECT_EQ(sent, c.expected);
    }
}

// Without a service every command fails as one to a channel that is not open, and none crashes.
TEST(Channels, FailQuietlyWithoutAService) {
    EXPECT_FALSE(MciOpenSound(0, "a.wav"));
    EXPECT_FALSE(MciIsPlaying(0));
    EXPECT_EQ(MciGetLength(0), 0);
    MciPlayFrom(0, 1), MciSetVolume(0, 500), MciStopSound(0), MciCloseSound(0);
}

}  // namespace
