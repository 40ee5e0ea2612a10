// An output that keeps audio queued may, while nothing sounds, queue far more silence than it
// could render again, or have its server play silence it never rendered (skipQuiet); a command
// must still land where it is heard. Whatever the quiet stretches, the commands that sound
// nothing inside them and the commands that start sound, what such an output finally sends equals
// what an engine rendering block by block sends with each command landing where it was heard.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/engine.h"
#include "test_media.h"

namespace {

using audio::Engine;

constexpr int kBlock = 64;
constexpr int kAhead = 8 * kBlock;         // queued while something sounds
constexpr int kQuietAhead = 300 * kBlock;  // queued while nothing does: more than the engine remembers

enum class Step { Hear, Play, Stop, Quieter, Seek };

class QuietRenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::filesystem::current_path(testmedia::Dir());
        testmedia::WriteWav("quiet.wav", 48000, 2, 48000);
    }

    // Runs `script` (each step with a count: blocks heard, or the position of a seek in ms) on a
    // reference engine and on one that renders ahead (or skips quiet stretches) and goes back.
    static void Check(const std::vector<std::pair<Step, int>>& script, bool skip) {
        Engine reference(Engine::OutputKind::Offline), queued(Engine::OutputKind::Offline);
        Engine::VoiceId r = -1, q = -1;
        ASSERT_EQ(reference.open("quiet.wav", r), audio::OpenResult::Ok);
        ASSERT_EQ(queued.open("quiet.wav", q), audio::OpenResult::Ok);
        std::vector<float> expected, sent, block(kBlock * 2);
        std::int64_t heard = 0;
        const auto queue = [&] {
            const bool quiet = queued.quietFrom() >= 0 && queued.quietFrom() <= heard;
            const std::int64_t until = heard + (quiet ? kQuietAhead : kAhead);
            sent.resize(std::size_t(until + kBlock) * 2, 0.0f);
            if (quiet && skip) {
                const std::int64_t from = queued.position();
                if (until > from) {
                    ASSERT_TRUE(queued.skipQuiet(until - from));
                }
                std::fill(sent.begin() + from * 2, sent.begin() + until * 2, 0.0f);  // the server's silence
            }
            while (queued.position() < until) {
                queued.prefetchOffline();
                queued.render(&sent[std::size_t(queued.position()) * 2], kBlock);
            }
        };
        queue();
        for (const auto& [step, count] : script) {
            if (step == Step::Hear) {
                for (int n = 0; n < count; ++n, heard += kBlock) {
                    reference.renderOffline(block.data(), kBlock);
                    expected.insert(expected.end(), block.begin(), block.end());
                    queued.commit(heard);
                    queue();
                }
                continue;
            }
            for (auto [engine, id] : {std::pair{&reference, r}, std::pair{&queued, q}}) {
                if (step == Step::Play) engine->play(id);
                if (step == Step::Stop) engine->stop(id);
                if (step == Step::Quieter) engine->setVolume(id, 400);  // nothing sounds different for it
                if (step == Step::Seek) engine->seek(id, count);
            }
            queued.commit(heard);
            ASSERT_EQ(queued.rewind(heard), heard);
            queue();
        }
        sent.resize(expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(sent[i], expected[i]) << "frame " << i / 2;
    }
};

TEST_F(QuietRenderTest, ACommandAfterAQuietStretchLandsWhereItIsHeard) {
    using S = Step;
    const std::vector<std::pair<std::string, std::vector<std::pair<Step, int>>>> scripts = {
        {"played after a long quiet", {{S::Hear, 400}, {S::Play, 0}, {S::Hear, 40}}},
        {"a silent command inside the quiet, then play",
         {{S::Hear, 50}, {S::Quieter, 0}, {S::Hear, 30}, {S::Seek, 300}, {S::Hear, 5}, {S::Play, 0}, {S::Hear, 40}}},
        {"stopped, quiet, played again from elsewhere",
         {{S::Play, 0}, {S::Hear, 30}, {S::Stop, 0}, {S::Hear, 350}, {S::Seek, 100}, {S::Play, 0}, {S::Hear, 30}}},
        {"commands in quick succession after the quiet",
         {{S::Hear, 320}, {S::Play, 0}, {S::Hear, 1}, {S::Stop, 0}, {S::Hear, 2}, {S::Play, 0}, {S::Hear, 50}}},
        {"played to its end, then quiet, then again",
         {{S::Play, 0}, {S::Hear, 800}, {S::Seek, 0}, {S::Play, 0}, {S::Hear, 20}}},
    };
    for (bool skip : {false, true}) {
        for (const auto& [name, script] : scripts) {
            SCOPED_TRACE(name + (skip ? ", quiet skipped" : ", quiet rendered"));
            Check(script, skip);
        }
    }
}

}  // namespace
