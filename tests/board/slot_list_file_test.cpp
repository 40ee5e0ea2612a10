// The slot list file: its bytes, the lists it reads (older, hand-edited, damaged, hostile), that
// any text survives it in its own record, and where it is found.
#include <QStringEncoder>
#include <random>

#include "board_fixture.h"
#include "fuzz_checks.h"

using namespace slots;
using Records = std::vector<SlotRecord>;

namespace {

SlotRecord Record(int index, QString key, QString name = {}, QString file = {}, double start = 0, int volume = 0,
                  int fade = 0, int exclusive = 0, int fieldsRead = kFieldCount) {
    // clang-format off
    return {.index = index, .key = key, .name = name, .file = file, .start = start, .volume = volume, .fade = fade,
            .exclusive = exclusive, .fieldsRead = fieldsRead};
    // clang-format on
}

// One table of lists and the records they hold. Rows the board writes itself ("written") show
// its bytes: blanks around numbers, quotes doubled, Shift-JIS unless a character needs UTF-8.
// The others are older lists (quotes undoubled), hand-edited ones and damage, which ends the
// list after what was read; a text or a file beyond the reader's bounds is damage too.
TEST(SlotListFile, ReadsEachListAsItsRecordsAndWritesTheBoardsOwnBytes) {
    const QByteArray line = " 0 ,\"1\",\"a\",\"a.wav\", 0 , 800 , 0 , 0 \r\n";
    const struct {
        const char* what;
        QByteArray bytes;
        Records records;
        bool written = false;
    } cases[] = {
        {"Shift-JIS",
         " 0 ,\"0\"," +
             QByteArray(QStringEncoder("windows-31j").encode(QStringLiteral("\"ベル\",\"効果音\\ベル.wav\""))) +
             ", .5 , 800 , 1 , 0 \r\n",
         {Record(0, "0", "ベル", "効果音\\ベル.wav", 0.5, 800, 1)},
         true},
        {"quotes doubled",
         " 0 ,\"\"\"\",\"say \"\"hi\"\"\",\"C:\\a\"\"b.wav\", 12.25 , 1000 , 0 , 1 \r\n",
         {Record(0, "\"", "say \"hi\"", "C:\\a\"b.wav", 12.25, 1000, 0, 1)},
         true},
        {"UTF-8",
         " 0 ,\"-\",\"x\",\"café – 🔔.wav\", 1E-05 ,-3 , 0 , 0 \r\n",
         {Record(0, "-", "x", "café – 🔔.wav", 1e-5, -3)},
         true},
        {"LF, no blanks, fields across lines",
         "1,\"k\",\"n\",\"f\",0.5,800,1,0\n2,\"j\"\r\n\"m\",\"g\",.5,-3,0,1",
         {Record(1, "k", "n", "f", 0.5, 800, 1), Record(2, "j", "m", "g", 0.5, -3, 0, 1)}},
        {"unquoted texts trimmed", "0, k , my name ,f.wav,0,800,0,0", {Record(0, "k", "my name", "f.wav", 0, 800)}},
        {"undoubled quotes",
         "0,\"\"\",\"say \"hi\" now\",\"\"\"\"\",0,1,0,0",
         {Record(0, "\"", "say \"hi\" now", "\"\"\"", 0, 1)}},
        {"a record cut short",
         line + " 1 ,\"1\",\"b\"",
         {Record(0, "1", "a", "a.wav", 0, 800), Record(1, "1", "b", {}, 0, 0, 0, 0, 3)}},
        {"a letter in a number", "0,\"k\",\"n\",\"f\",0,800x,0,0", {Record(0, "k", "n", "f", 0, 0, 0, 0, 5)}},
        {"a volume beyond 16 bits", "0,\"k\",\"n\",\"f\",0,40000,0,0", {Record(0, "k", "n", "f", 0, 0, 0, 0, 5)}},
        {"a text never closed",
         "0,\"k\",\"never closed, 0 , 800 , 0 , 0 \r\n",
         {Record(0, "k", {}, {}, 0, 0, 0, 0, 2)}},
        {"a text past 32 K characters",
         "2,\"1\",\"" + QByteArray(kMaxTextLength + 1, 'x') + "\",\"f\",0,1,0,0",
         {Record(2, "1", {}, {}, 0, 0, 0, 0, 2)}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseSlotList(c.bytes), c.records) << c.what;
        if (c.written) EXPECT_TRUE(FormatSlotList(c.records).startsWith(c.bytes)) << c.what;
    }
    // A file past 8 MiB: the cut falls inside record 28.
    const Records cut =
        ParseSlotList((line.left(line.size() - 2) + QByteArray(300000, ' ') + "\r\n").repeated(kSlotCount));
    EXPECT_EQ(cut.size(), size_t(kMaxListBytes / (line.size() + 300000) + 1));
    EXPECT_LT(cut.back().fieldsRead, kFieldCount);
}

// Any key, name or path survives the list in its own record and leaves the others alone: quotes
// anywhere, separators, line ends, blanks, characters beyond Shift-JIS, the longest name.
TEST(SlotListFile, AnyTextSurvivesTheListInItsOwnRecord) {
    QStringList texts = {"Hi\", he said", "\"", "\",", " \" , \"\r\n", QString(32767, u'"'), QString(32767, u'あ')};
    const QStringList pieces = {"\"", "\"\"", ",", " ", "\t", "\r", "\n", "a", "あ", "é", "🔔"};
    std::mt19937 random(10);
    while (texts.size() < 3000) {
        QString text;
        for (auto n = random() % 12; n > 0; --n) text += pieces[int(random() % pieces.size())];
        texts << text;
    }
    for (int i = 0; i < int(texts.size()); ++i) {
        const QString& key = texts[i];
        const QString& name = texts[(i + 1) % texts.size()];
        const QString& file = texts[(i + 2) % texts.size()];
        EXPECT_EQ(fuzzing::CheckTextsRoundTrip(key, name, file, i % kSlotCount), "")
            << (key + "|" + name).left(80).toStdString();
    }
}

// A list copied from another system may have its name in any case; it is read there and
// written over there, so the folder keeps one list.
TEST_F(BoardTest, TheListIsFoundAndWrittenOverWhateverTheCaseOfItsName) {
    write(path("soundLIST.CSV"), ListLine(0, "Q", "a", "a.wav") + EmptyLines(1));
    EXPECT_EQ(ReadSlotList(QDir::currentPath()).front().name, "a");
    QString error;
    ASSERT_TRUE(WriteSlotList(QDir::currentPath(), {}, &error));
    EXPECT_EQ(QDir::current().entryList(QDir::Files | QDir::Hidden), QStringList{"soundLIST.CSV"});
    EXPECT_EQ(read(path("soundLIST.CSV")), FormatSlotList({}));
}

}  // namespace
