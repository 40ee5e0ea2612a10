// The slot list file: its exact bytes, how a list is read back (also a damaged or hostile
// one), its encodings, finding it whatever the case of its name, and writing it safely.
#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <vector>

#include "../../fuzz/fuzz_targets.h"
#include "board/slot_list_file.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace board {
void PrintTo(const SlotRecord& r, std::ostream* os) {
    *os << "{" << r.index << ", \"" << r.key.toStdString() << "\", \"" << r.name.toStdString() << "\", \""
        << r.file.toStdString() << "\", " << r.start << ", " << r.volume << ", " << r.fade << ", " << r.exclusive
        << ", read " << r.fieldsRead << "}";
}
}  // namespace board

using namespace board;
using Records = std::vector<SlotRecord>;

namespace {

const QString kDefaultKeys = QStringLiteral("0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUV");

SlotRecord Record(int index, QString key, QString name = {}, QString file = {}, double start = 0, int volume = 0,
                  int fade = 0, int exclusive = 0, int fieldsRead = 8) {
    return SlotRecord{index, key, name, file, start, volume, fade, exclusive, fieldsRead};
}

Records EmptyBoard() {
    Records records;
    for (int i = 0; i < 38; ++i) records.push_back(Record(i, kDefaultKeys.mid(i, 1)));
    return records;
}

// A board that exercises every field: odd names, quotes, Japanese, the full-width tilde.
Records FullBoard() {
    auto records = EmptyBoard();
    records[0] = Record(0, "0", "ベル", "効果音\\ベル.wav", 0.5, 800, 1, 0);
    records[1] = Record(1, "\"", "say \"hi\" now", "C:\\a\"b.wav", 12.25, 1000, 0, 1);
    records[2] = Record(2, "2", "  leading, comma", " a,b ,c.mp3", 3600.125, 0, 1, 1);
    records[3] = Record(3, "-", "ends with quote\"", "x.ogg", 1e-5, 999, 0, 0);
    records[12] = Record(12, "-", "Bell", "C:\\Sounds\\bell.wav", 0, 800, 1, 0);
    records[37] = Record(37, "V", "～", "", -2.5, 2000, 1, 0);
    return records;
}

QByteArray Cp932(const QString& text) { return QStringEncoder("windows-31j").encode(text); }

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(SlotListFile, WritesTheExactBytesAndReadsThemBack) {
    QByteArray empty;
    for (int i = 0; i < 38; ++i)
        empty += " " + QByteArray::number(i) + " ,\"" + kDefaultKeys.mid(i, 1).toLatin1() +
                 "\",\"\",\"\", 0 , 0 , 0 , 0 \r\n";
    EXPECT_EQ(FormatSlotList(EmptyBoard()), empty);

    const QList<QByteArray> lines = FormatSlotList(FullBoard()).split('\n');
    ASSERT_EQ(lines.size(), 39);  // 38 lines, each ending in CR LF
    EXPECT_EQ(lines[0], " 0 ,\"0\"," + Cp932("\"ベル\",\"効果音\\ベル.wav\"") + ", .5 , 800 , 1 , 0 \r");
    EXPECT_EQ(lines[1], " 1 ,\"\"\"\",\"say \"\"hi\"\" now\",\"C:\\a\"\"b.wav\", 12.25 , 1000 , 0 , 1 \r");
    EXPECT_EQ(lines[12], " 12 ,\"-\",\"Bell\",\"C:\\Sounds\\bell.wav\", 0 , 800 , 1 , 0 \r");
    EXPECT_EQ(lines[3], " 3 ,\"-\",\"ends with quote\"\"\",\"x.ogg\", 1E-05 , 999 , 0 , 0 \r");
    EXPECT_EQ(lines[37], " 37 ,\"V\"," + Cp932("\"～\"") + ",\"\",-2.5 , 2000 , 1 , 0 \r");
    EXPECT_EQ(lines[38], "");
    for (const auto& records : {EmptyBoard(), FullBoard()}) EXPECT_EQ(ParseSlotList(FormatSlotList(records)), records);
}

// Names and paths that CP932 cannot hold make the whole list UTF-8, without a byte-order
// mark, never a substitute character; the reader takes either, and skips a byte-order mark.
TEST(SlotListFile, FallsBackToUtf8AndReadsEitherEncoding) {
    for (const QString path : {"/home/u/café.wav", "a – b.mp3", "🔔.wav", "¥100.wav", "〜.wav"}) {
        auto records = FullBoard();
        records[5].file = path;
        const QByteArray bytes = FormatSlotList(records);
        EXPECT_TRUE(bytes.contains(path.toUtf8())) << qPrintable(path);
        EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
        EXPECT_EQ(ParseSlotList(bytes), records) << qPrintable(path);
    }
    const QString line = QStringLiteral(" 0 ,\"あ\",\"ベル\",\"効果音\\ベル.wav\", 0 , 800 , 0 , 0 \r\n");
    for (const QByteArray& bytes : {Cp932(line), line.toUtf8(), "\xEF\xBB\xBF" + line.toUtf8()})
        EXPECT_EQ(ParseSlotList(bytes), Records{Record(0, "あ", "ベル", "効果音\\ベル.wav", 0, 800)});
}

TEST(SlotListFile, ReadsFieldsInSequence) {
    const auto full = FullBoard();
    const struct {
        const char* what;
        QByteArray bytes;
        Records expected;
    } cases[] = {
        {"empty file", "", {}},
        {"only blank lines", "\r\n  \r\n", {}},
        {"five lines", FormatSlotList(full).split('\n').mid(0, 5).join('\n') + '\n',
         Records(full.begin(), full.begin() + 5)},
        {"at most 38 records", FormatSlotList(EmptyBoard()) + FormatSlotList(EmptyBoard()), EmptyBoard()},
        {"indexes out of order",
         " 3 ,\"3\",\"c\",\"c.wav\", 0 , 800 , 0 , 0 \r\n 0 ,\"0\",\"a\",\"a.wav\", 0 , 700 , 0 , 0 \r\n",
         {Record(3, "3", "c", "c.wav", 0, 800), Record(0, "0", "a", "a.wav", 0, 700)}},
        {"no blanks, LF only, 0.5 and .5", "1,\"k\",\"n\",\"f\",0.5,800,1,0\n2,\"j\",\"m\",\"g\",.5,-3,0,1",
         {Record(1, "k", "n", "f", 0.5, 800, 1, 0), Record(2, "j", "m", "g", 0.5, -3, 0, 1)}},
        {"fields across lines", "0\r\n\"k\",\"n\"\r\n\"f\", 1 , 2\r\n3,4", {Record(0, "k", "n", "f", 1, 2, 3, 4)}},
        {"unquoted text", "0, k , my name ,f.wav,0,800,0,0", {Record(0, "k", "my name", "f.wav", 0, 800)}},
        {"blanks around quoted texts", "0,  \"k\" ,\t\"n\"  , \"f\" ,0,1,0,0", {Record(0, "k", "n", "f", 0, 1)}},
        {"volume beyond the bar", "0,\"k\",\"n\",\"f\",0,2000,0,0", {Record(0, "k", "n", "f", 0, 2000)}},
        // Lists from before quotes were doubled: a quote ends a text only before a separator.
        {"quote as the key", "0,\"\"\",\"n\",\"f\",0,1,0,0", {Record(0, "\"", "n", "f", 0, 1)}},
        {"quotes in a name", "0,\"k\",\"say \"hi\" now\",\"f\",0,1,0,0", {Record(0, "k", "say \"hi\" now", "f", 0, 1)}},
        {"only quotes", "0,\"k\",\"\"\"\"\",\"f\",0,1,0,0", {Record(0, "k", "\"\"\"", "f", 0, 1)}},
        {"doubled quote reads as one", "0,\"k\",\"a\"\"b\",\"f\",0,1,0,0", {Record(0, "k", "a\"b", "f", 0, 1)}},
        // Damage ends reading; what was read before it is kept.
        {"a record cut in the middle", " 0 ,\"0\",\"a\",\"a.wav\", 0 , 800 , 0 , 0 \r\n 1 ,\"1\",\"b\"",
         {Record(0, "0", "a", "a.wav", 0, 800), Record(1, "1", "b", {}, 0, 0, 0, 0, 3)}},
        {"a letter where a number stands", "0,\"k\",\"n\",\"f\",abc,800,0,0\r\n1,\"k\",\"n\",\"f\",0,800,0,0",
         {Record(0, "k", "n", "f", 0, 0, 0, 0, 4)}},
        {"a number with trailing letters", "0,\"k\",\"n\",\"f\",0,800x,0,0", {Record(0, "k", "n", "f", 0, 0, 0, 0, 5)}},
        {"a volume beyond 16 bits", "0,\"k\",\"n\",\"f\",0,40000,0,0", {Record(0, "k", "n", "f", 0, 0, 0, 0, 5)}},
        {"a quoted text without its end", "0,\"k\",\"never closed, 0 , 800 , 0 , 0 \r\n",
         {Record(0, "k", {}, {}, 0, 0, 0, 0, 2)}},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseSlotList(c.bytes), c.expected) << c.what;
}

// Any key, name or path survives the list in its own record and leaves the others alone:
// quotes anywhere, separators, line ends, blanks, characters beyond Shift-JIS, the longest
// name the details dialog takes.
TEST(SlotListFile, AnyTextSurvivesTheListInItsOwnRecord) {
    QStringList texts = {"Hi\", he said", "\"", "\"\"", "\",", " \" , \"\r\n", QString(32767, u'"'),
                         QString(32767, u'あ') + "é", QString(kMaxTextLength, u'x')};
    const QStringList pieces = {"\"", "\"\"", ",", " ", "\t", "\r", "\n", "a", "あ", "é", "🔔"};
    std::mt19937 random(10);
    while (texts.size() < 3000) {
        QString text;
        for (auto n = random() % 12; n > 0; --n) text += pieces[int(random() % pieces.size())];
        texts << text;
    }
    for (int i = 0; i < int(texts.size()); ++i) {
        const QString &key = texts[i], &name = texts[(i + 1) % texts.size()], &file = texts[(i + 2) % texts.size()];
        EXPECT_EQ(fuzzing::CheckTextsRoundTrip(key, name, file, i % 38), "")
            << (key + "|" + name + "|" + file).left(80).toStdString();
    }
}

// A hostile list never exhausts memory: a text beyond 32 K characters, or a file passing
// 8 MiB before 38 records are complete, ends reading as damage does, also when the cut falls
// between two records.
TEST(SlotListFile, BoundsWhatItReads) {
    const QByteArray line = " 1 ,\"1\",\"a\",\"a.wav\", 0 , 800 , 0 , 0 \r\n";
    auto withName = [](int length) { return " 2 ,\"1\",\"" + QByteArray(length, 'x') + "\",\"f\",0,1,0,0\r\n"; };
    EXPECT_EQ(ParseSlotList(withName(32 * 1024)), Records{Record(2, "1", QString(32 * 1024, 'x'), "f", 0, 1)});
    EXPECT_EQ(ParseSlotList(line + withName(32 * 1024 + 1) + line),
              (Records{Record(1, "1", "a", "a.wav", 0, 800), Record(2, "1", {}, {}, 0, 0, 0, 0, 2)}));

    for (const int lineSize : {300000, 256 * 1024}) {  // the cut inside a record, and after one
        const QByteArray padded = line.left(line.size() - 2) + QByteArray(lineSize - line.size(), ' ') + "\r\n";
        const auto records = ParseSlotList(padded.repeated(38));
        const int fitting = int(kMaxListBytes / lineSize);
        ASSERT_EQ(int(records.size()), fitting + 1) << lineSize;
        EXPECT_EQ(records[size_t(fitting) - 1].fieldsRead, 8);
        EXPECT_LT(records.back().fieldsRead, 8);
    }

    // What follows 38 complete records does not count.
    EXPECT_EQ(ParseSlotList(FormatSlotList(EmptyBoard()) + QByteArray(2 * 1024 * 1024, ' ')), EmptyBoard());
}

TEST(SlotListFile, FindsReadsAndWritesTheListWhateverTheCaseOfItsName) {
    QTemporaryDir dir;
    const QDir folder(dir.path());
    EXPECT_TRUE(ReadSlotList(dir.path()).empty());
    EXPECT_EQ(FindSlotListFile(dir.path()), folder.filePath("SoundList.csv"));
    QString error;
    ASSERT_TRUE(WriteSlotList(dir.path(), FullBoard(), &error)) << qPrintable(error);
    EXPECT_EQ(ReadAll(folder.filePath("SoundList.csv")), FormatSlotList(FullBoard()));

    // Writing goes over the list that was found, so the folder keeps one list and no leftovers.
    ASSERT_TRUE(QFile::rename(folder.filePath("SoundList.csv"), folder.filePath("soundLIST.CSV")));
    EXPECT_EQ(ReadSlotList(dir.path()), FullBoard());
    ASSERT_TRUE(WriteSlotList(dir.path(), EmptyBoard(), &error)) << qPrintable(error);
    EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden), QStringList{"soundLIST.CSV"});
    EXPECT_EQ(ReadSlotList(dir.path()), EmptyBoard());
    ASSERT_TRUE(QFile::copy(folder.filePath("soundLIST.CSV"), folder.filePath("SoundList.csv")));
    EXPECT_EQ(FindSlotListFile(dir.path()), folder.filePath("SoundList.csv"));  // the exact name first
}

// A write that fails on the way (here a file size limit, which stops even root) leaves the
// old list whole and no temporary file behind, and says why; so does a missing folder.
TEST(SlotListFile, AFailedWriteLeavesTheOldListWholeAndSaysWhy) {
    QTemporaryDir dir;
    const QString list = QDir(dir.path()).filePath("SoundList.csv");
    QString error;
    ASSERT_TRUE(WriteSlotList(dir.path(), FullBoard(), &error));
    const QByteArray old = ReadAll(list);
#ifdef Q_OS_UNIX
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = WriteSlotList(dir.path(), EmptyBoard(), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ReadAll(list), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"SoundList.csv"});
    if (geteuid() != 0) {  // root writes into read-only folders
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_FALSE(WriteSlotList(dir.path(), EmptyBoard(), &error));
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_EQ(ReadAll(list), old);
    }
#endif
    error.clear();
    EXPECT_FALSE(WriteSlotList(QDir(dir.path()).filePath("no/such/folder"), EmptyBoard(), &error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
