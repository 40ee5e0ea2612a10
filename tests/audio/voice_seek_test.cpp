// A sound moved again and again faster than its fades are heard out runs out of takes. The seek
// that finds none returns at once with nothing changed (the sound plays on where it was) and the
// service says so with a code of its own; an open with every voice in use gets its own code too.
// Nothing renders here, so no take ever comes free by itself: a seek that waited for one would
// wait in vain.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "audio/engine.h"
#include "mci/mci_errors.h"
#include "mci/mci_service.h"
#include "test_media.h"

namespace {

using audio::Engine;
using Clock = std::chrono::steady_clock;

class VoiceSeekTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::filesystem::current_path(testmedia::Dir());
        testmedia::WriteWav("seek.wav", 48000, 2, 48000 * 4);
    }
    // Plays the voice and moves it `times` times, each move heard from a new take.
    static std::vector<bool> PlayAndMove(Engine& engine, Engine::VoiceId id, int times) {
        std::vector<bool> moved;
        engine.play(id);
        for (int n = 0; n < times; ++n) {
            moved.push_back(engine.seek(id, 1000 + 100 * n));
            engine.play(id);
        }
        return moved;
    }
};

TEST_F(VoiceSeekTest, WithEveryTakeStillSoundingASeekChangesNothingAndReturnsAtOnce) {
    Engine engine(Engine::OutputKind::Caller);
    Engine::VoiceId id = -1;
    ASSERT_EQ(engine.open("seek.wav", id), audio::OpenResult::Ok);
    // Four takes: the first and three moves; the fourth move finds none free.
    EXPECT_EQ(PlayAndMove(engine, id, 4), (std::vector<bool>{true, true, true, false}));
    EXPECT_TRUE(engine.isPlaying(id));
    EXPECT_EQ(engine.positionMs(id), 1200);  // where the last move that was made put it
    // Many refused moves in a row: none waits for a take that nothing will free.
    const auto start = Clock::now();
    for (int n = 0; n < 50; ++n) EXPECT_FALSE(engine.seek(id, 0));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(engine.isPlaying(id));
    EXPECT_EQ(engine.positionMs(id), 1200);
    // Once the fades are rendered and heard, the takes are free again.
    std::vector<float> block(256 * 2);
    for (int n = 0; n < 8; ++n) {
        engine.render(block.data(), 256);
        engine.commit(engine.position());
    }
    EXPECT_TRUE(engine.seek(id, 0));
    EXPECT_EQ(engine.positionMs(id), 0);
}

TEST_F(VoiceSeekTest, TheServiceNamesASeekThatCannotBeMadeAndAnOpenWithNoVoiceLeft) {
    mci::Service service(std::make_unique<Engine>(Engine::OutputKind::Caller));
    const auto send = [&](const std::string& command) { return service.send(command.c_str(), nullptr, 0); };
    ASSERT_EQ(send("open \"seek.wav\" alias A0 type mpegvideo"), mci::kOk);
    ASSERT_EQ(send("play A0"), mci::kOk);
    for (int n = 0; n < 3; ++n) {
        ASSERT_EQ(send("seek A0 to 1000"), mci::kOk);
        ASSERT_EQ(send("play A0"), mci::kOk);
    }
    EXPECT_EQ(send("seek A0 to 0"), mci::kErrNoFreeTake);
    char mode[16] = {};
    EXPECT_EQ(service.send("status A0 mode", mode, sizeof mode), mci::kOk);
    EXPECT_STREQ(mode, "playing");

    for (int n = 1; n < Engine::kMaxVoices; ++n)
        ASSERT_EQ(send("open \"seek.wav\" alias A" + std::to_string(n) + " type mpegvideo"), mci::kOk) << n;
    EXPECT_EQ(send("open \"seek.wav\" alias B0 type mpegvideo"), mci::kErrNoFreeVoice);

    // Each has its own text, and the open's says why.
    char text[256] = {};
    ASSERT_TRUE(service.errorText(mci::kErrNoFreeTake, text, sizeof text));
    EXPECT_STREQ(text, "The device cannot move yet: it is still ending the sound where it was; try again");
    ASSERT_TRUE(service.errorText(mci::kErrNoFreeVoice, text, sizeof text));
    EXPECT_STREQ(text, "Every device is in use: close one first: all 128 voices are in use");
    ASSERT_TRUE(service.errorText(mci::kErrInternal, text, sizeof text));
    EXPECT_STREQ(text, "The file holds no sound that can be played");
}

}  // namespace
