// The mode query the board sends for every slot ten times a second is answered on a path of its
// own; whatever its spelling, it answers as every other command is read: keywords and aliases
// in any case, any blanks between words, a quoted alias, and the errors of a command that is
// not quite that query.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "mci/mci_errors.h"
#include "mci/mci_service.h"
#include "test_media.h"

namespace {

TEST(ModeQueryTest, AnswersAsTheCommandReadsInAnySpelling) {
    std::filesystem::current_path(testmedia::Dir());
    testmedia::WriteWav("mode.wav", 48000, 2, 48000);
    mci::Service service(mci::Service::Offline);
    ASSERT_EQ(service.send("open \"mode.wav\" alias A0 type mpegvideo", nullptr, 0), mci::kOk);
    ASSERT_EQ(service.send("play A0", nullptr, 0), mci::kOk);
    struct Case {
        const char* command;
        std::uint32_t replySize;
        std::uint32_t code;
        const char* reply;
    };
    const Case cases[] = {
        {"status A0 mode", 16, mci::kOk, "playing"},
        {"Status a0 MODE", 16, mci::kOk, "playing"},
        {" \tstatus  A0\r\nmode \t", 16, mci::kOk, "playing"},
        {"status \"A0\" mode", 16, mci::kOk, "playing"},
        {"status A0 mode", 3, mci::kOk, "pl"},  // cut to fit, with its terminator
        {"status A0 mode now", 16, mci::kErrUnrecognizedKeyword, ""},
        {"status A0 \"mode\"", 16, mci::kErrUnrecognizedKeyword, ""},
        {"status A0 modes", 16, mci::kErrUnrecognizedKeyword, ""},
        {"status A0 mode\"", 16, mci::kErrUnrecognizedKeyword, ""},
        {"status A0", 16, mci::kErrMissingParameter, ""},
        {"status A1 mode", 16, mci::kErrInvalidDeviceName, ""},
        {"status A\"0 mode", 16, mci::kErrInvalidDeviceName, ""},
        {"statusA0 mode", 16, mci::kErrUnrecognizedCommand, ""},
        {"status \"A0 mode", 16, mci::kErrNoClosingQuote, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        char reply[16] = "untouched";
        EXPECT_EQ(service.send(c.command, reply, c.replySize), c.code);
        EXPECT_STREQ(reply, c.reply);
    }
    ASSERT_EQ(service.send("stop A0", nullptr, 0), mci::kOk);
    char reply[16] = {};
    EXPECT_EQ(service.send("status A0 mode", reply, sizeof reply), mci::kOk);
    EXPECT_STREQ(reply, "stopped");
}

}  // namespace
