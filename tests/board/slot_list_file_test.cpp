// The slot list file: its exact bytes, how a list is read back (also a damaged or hostile
// one), its encodings, finding it whatever the case of its name, and writing it safely.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>
#include <vector>

#include "board/slot_list_file.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace board {
// Readable records in failure messages.
void PrintTo(const SlotRecord& r, std::ostream* os) {
    *os << "{" << r.index << ", \"" << r.key.toStdString() << "\", \"" << r.name.toStdString() << "\", \""
        << r.file.toStdString() << "\", " << r.start << ", " << r.volume << ", " << r.fade << ", "
        << r.exclusive << ", read " << r.fieldsRead << "}";
}
}  // namespace board

using board::FindSlotListFile;
using board::FormatSlotList;
using board::ParseSlotList;
using board::ReadSlotList;
using board::SlotRecord;
using board::WriteSlotList;

namespace {

const QString kDefaultKeys = QStringLiteral("0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUV");

SlotRecord Record(int index, QString key, QString name = {}, QString file = {}, double start = 0,
                  int volume = 0, int fade = 0, int exclusive = 0) {
    return SlotRecord{index, key, name, file, start, volume, fade, exclusive, 8};
}

std::vector<SlotRecord> EmptyBoard() {
    std::vector<SlotRecord> records;
    for (int i = 0; i < 38; ++i) records.push_back(Record(i, kDefaultKeys.mid(i, 1)));
    return records;
}

// A board that exercises every field: odd names, quotes, Japanese, non-CP932 characters.
std::vector<SlotRecord> FullBoard() {
    auto records = EmptyBoard();
    records[0] = Record(0, "0", "ベル", "効果音\\ベル.wav", 0.5, 800, 1, 0);
    records[1] = Record(1, "\"", "say \"hi\" now", "C:\\a\"b.wav", 12.25, 1000, 0, 1);
    records[2] = Record(2, "2", "  leading, comma", " a,b ,c.mp3", 3600.125, 0, 1, 1);
    records[3] = Record(3, "-", "ends with quote\"", "x.ogg", 1e-5, 999, 0, 0);
    records[12] = Record(12, "-", "Bell", "C:\\Sounds\\bell.wav", 0, 800, 1, 0);
    records[37] = Record(37, "V", "～", "", -2.5, 2000, 1, 0);
    return records;
}

QByteArray Cp932(const QString& text) {
    QStringEncoder encoder("windows-31j");
    return encoder.encode(text);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

TEST(SlotListFile, WritesTheExactBytes) {
    QByteArray empty;
    for (int i = 0; i < 38; ++i)
        empty += " " + QByteArray::number(i) + " ,\"" + kDefaultKeys.mid(i, 1).toLatin1() +
                 "\",\"\",\"\", 0 , 0 , 0 , 0 \r\n";
    EXPECT_EQ(FormatSlotList(EmptyBoard()), empty);

    const QList<QByteArray> lines = FormatSlotList(FullBoard()).split('\n');
    ASSERT_EQ(lines.size(), 39);  // 38 lines, each ending in CR LF
    EXPECT_EQ(lines[12], " 12 ,\"-\",\"Bell\",\"C:\\Sounds\\bell.wav\", 0 , 800 , 1 , 0 \r");
    EXPECT_EQ(lines[0], " 0 ,\"0\"," + Cp932("\"ベル\",\"効果音\\ベル.wav\"") + ", .5 , 800 , 1 , 0 \r");
    EXPECT_EQ(lines[1], " 1 ,\"\"\",\"say \"hi\" now\",\"C:\\a\"b.wav\", 12.25 , 1000 , 0 , 1 \r");
    EXPECT_EQ(lines[3], " 3 ,\"-\",\"ends with quote\"\",\"x.ogg\", 1E-05 , 999 , 0 , 0 \r");
    EXPECT_EQ(lines[37], " 37 ,\"V\"," + Cp932("\"～\"") + ",\"\",-2.5 , 2000 , 1 , 0 \r");
    EXPECT_EQ(lines[38], "");
}

TEST(SlotListFile, ReadsBackWhatItWrote) {
    for (const auto& board : {EmptyBoard(), FullBoard()}) EXPECT_EQ(ParseSlotList(FormatSlotList(board)), board);
}

// Names and paths the Shift-JIS code page cannot hold make the whole list UTF-8, so they
// are kept, never replaced by a substitute character.
TEST(SlotListFile, FallsBackToUtf8ForWhatShiftJisCannotHold) {
    for (const QString& path : {QStringLiteral("/home/u/café.wav"), QStringLiteral("a – b.mp3"),
                                QStringLiteral("🔔.wav"), QStringLiteral("¥100.wav"),
                                QStringLiteral("〜.wav")}) {  // the wave dash CP932 only approximates
        auto board = FullBoard();
        board[5].file = path;
        const QByteArray bytes = FormatSlotList(board);
        EXPECT_TRUE(bytes.contains(path.toUtf8())) << qPrintable(path);
        EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
        EXPECT_EQ(ParseSlotList(bytes), board) << qPrintable(path);
    }
}

TEST(SlotListFile, ReadsEitherEncoding) {
    const QString line = QStringLiteral(" 0 ,\"あ\",\"ベル\",\"効果音\\ベル.wav\", 0 , 800 , 0 , 0 \r\n");
    const auto expected = std::vector<SlotRecord>{Record(0, "あ", "ベル", "効果音\\ベル.wav", 0, 800)};
    EXPECT_EQ(ParseSlotList(Cp932(line)), expected);
    EXPECT_EQ(ParseSlotList(line.toUtf8()), expected);
    EXPECT_EQ(ParseSlotList("\xEF\xBB\xBF" + line.toUtf8()), expected);
}

TEST(SlotListFile, ReadsFieldsInSequence) {
    const auto full = FullBoard();
    const QByteArray five = FormatSlotList(full).split('\n').mid(0, 5).join('\n') + '\n';
    const struct {
        const char* name;
        QByteArray bytes;
        std::vector<SlotRecord> expected;
    } cases[] = {
        {"empty file", "", {}},
        {"only blank lines", "\r\n  \r\n", {}},
        {"five lines", five, std::vector<SlotRecord>(full.begin(), full.begin() + 5)},
        {"indexes out of order",
         " 3 ,\"3\",\"c\",\"c.wav\", 0 , 800 , 0 , 0 \r\n 0 ,\"0\",\"a\",\"a.wav\", 0 , 700 , 0 , 0 \r\n",
         {Record(3, "3", "c", "c.wav", 0, 800), Record(0, "0", "a", "a.wav", 0, 700)}},
        {"no blanks, LF only, 0.5 and .5",
         "1,\"k\",\"n\",\"f\",0.5,800,1,0\n2,\"j\",\"m\",\"g\",.5,-3,0,1",
         {Record(1, "k", "n", "f", 0.5, 800, 1, 0), Record(2, "j", "m", "g", 0.5, -3, 0, 1)}},
        {"fields across lines", "0\r\n\"k\",\"n\"\r\n\"f\", 1 , 2\r\n3,4",
         {Record(0, "k", "n", "f", 1, 2, 3, 4)}},
        {"unquoted text", "0, k , my name ,f.wav,0,800,0,0",
         {Record(0, "k", "my name", "f.wav", 0, 800, 0, 0)}},
        {"blanks before quoted texts", "0,  \"k\" ,\t\"n\" , \"f\" ,0,1,0,0",
         {Record(0, "k", "n", "f", 0, 1, 0, 0)}},
        {"volume beyond the bar is still read", "0,\"k\",\"n\",\"f\",0,2000,0,0",
         {Record(0, "k", "n", "f", 0, 2000, 0, 0)}},
        {"a record cut in the middle", " 0 ,\"0\",\"a\",\"a.wav\", 0 , 800 , 0 , 0 \r\n 1 ,\"1\",\"b\"",
         {Record(0, "0", "a", "a.wav", 0, 800), SlotRecord{1, "1", "b", {}, 0, 0, 0, 0, 3}}},
        {"a letter where a number stands", "0,\"k\",\"n\",\"f\",abc,800,0,0\r\n1,\"k\",\"n\",\"f\",0,800,0,0",
         {SlotRecord{0, "k", "n", "f", 0, 0, 0, 0, 4}}},
        {"a number with trailing letters", "0,\"k\",\"n\",\"f\",0,800x,0,0",
         {SlotRecord{0, "k", "n", "f", 0, 0, 0, 0, 5}}},
        {"a volume beyond 16 bits", "0,\"k\",\"n\",\"f\",0,40000,0,0",
         {SlotRecord{0, "k", "n", "f", 0, 0, 0, 0, 5}}},
        {"a quoted text without its end", "0,\"k\",\"never closed, 0 , 800 , 0 , 0 \r\n",
         {SlotRecord{0, "k", {}, {}, 0, 0, 0, 0, 2}}},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseSlotList(c.bytes), c.expected) << c.name;
}

TEST(SlotListFile, ReadsAtMost38Records) {
    QByteArray bytes = FormatSlotList(EmptyBoard());
    bytes += bytes;
    EXPECT_EQ(ParseSlotList(bytes), EmptyBoard());
}

// A quote inside a quoted text ends it only before a separator, so keys and names that
// hold quotes come back whole, and lists without such quotes read as before.
TEST(SlotListFile, QuotesEndATextOnlyBeforeASeparator) {
    const struct {
        QByteArray bytes;
        QString key, name;
    } cases[] = {
        {"0,\"\"\",\"n\",\"f\",0,1,0,0", "\"", "n"},
        {"0,\"k\",\"say \"hi\" now\",\"f\",0,1,0,0", "k", "say \"hi\" now"},
        {"0,\"k\",\"\"\"\"\",\"f\",0,1,0,0", "k", "\"\"\""},
        {"0,\"k\",\"a\"\"b\",\"f\",0,1,0,0", "k", "a\"\"b"},
        {"0,\"k\" , \"n\"  ,\"f\",0,1,0,0", "k", "n"},
    };
    for (const auto& c : cases) {
        const auto records = ParseSlotList(c.bytes);
        ASSERT_EQ(records.size(), 1u) << c.bytes.constData();
        EXPECT_EQ(records[0], Record(0, c.key, c.name, "f", 0, 1)) << c.bytes.constData();
    }
}

TEST(SlotListFile, BoundsWhatItReads) {
    const QByteArray line = " 1 ,\"1\",\"a\",\"a.wav\", 0 , 800 , 0 , 0 \r\n";
    const SlotRecord whole = Record(1, "1", "a", "a.wav", 0, 800);

    QByteArray longest = " 1 ,\"1\",\"" + QByteArray(32 * 1024, 'x') + "\",\"f\",0,1,0,0\r\n";
    auto records = ParseSlotList(longest);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].name.size(), 32 * 1024);
    EXPECT_EQ(records[0].fieldsRead, 8);

    QByteArray tooLong = line + " 2 ,\"1\",\"" + QByteArray(32 * 1024 + 1, 'x') + "\",\"f\",0,1,0,0\r\n" + line;
    records = ParseSlotList(tooLong);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], whole);
    EXPECT_EQ(records[1].fieldsRead, 2);

    // Records of 60 KB each: the list passes 1 MiB in its 18th record.
    const QByteArray big = " 1 ,\"1\",\"" + QByteArray(30000, 'n') + "\",\"" + QByteArray(30000, 'f') +
                           "\", 0 , 800 , 0 , 0 \r\n";
    QByteArray huge;
    for (int i = 0; i < 38; ++i) huge += big;
    const int fitting = int((1024 * 1024) / big.size());
    records = ParseSlotList(huge);
    ASSERT_EQ(int(records.size()), fitting + 1);
    EXPECT_EQ(records[size_t(fitting) - 1].fieldsRead, 8);
    EXPECT_LT(records.back().fieldsRead, 8);

    // What follows 38 complete records does not count.
    QByteArray padded = FormatSlotList(EmptyBoard()) + QByteArray(2 * 1024 * 1024, ' ');
    EXPECT_EQ(ParseSlotList(padded), EmptyBoard());
}

TEST(SlotListFile, FindsTheListWhateverTheCaseOfItsName) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDir folder(dir.path());
    EXPECT_EQ(FindSlotListFile(dir.path()), folder.filePath("SoundList.csv"));  // nothing yet

    WriteAll(folder.filePath("soundLIST.CSV"), FormatSlotList(FullBoard()));
    EXPECT_EQ(FindSlotListFile(dir.path()), folder.filePath("soundLIST.CSV"));
    EXPECT_EQ(ReadSlotList(dir.path()), FullBoard());

    // Writing goes over the list that was found, so the folder keeps one list.
    QString error;
    ASSERT_TRUE(WriteSlotList(dir.path(), EmptyBoard(), &error)) << qPrintable(error);
    EXPECT_EQ(folder.entryList(QDir::Files), QStringList{"soundLIST.CSV"});
    EXPECT_EQ(ReadSlotList(dir.path()), EmptyBoard());

    WriteAll(folder.filePath("SoundList.csv"), FormatSlotList(FullBoard()));
    EXPECT_EQ(FindSlotListFile(dir.path()), folder.filePath("SoundList.csv"));  // the exact name first
}

TEST(SlotListFile, ReadingAMissingOrUnreadableListGivesNoRecords) {
    QTemporaryDir dir;
    EXPECT_TRUE(ReadSlotList(dir.path()).empty());
    ASSERT_TRUE(QDir(dir.path()).mkdir("SoundList.csv"));
    EXPECT_TRUE(ReadSlotList(dir.path()).empty());
}

TEST(SlotListFile, WritesAndReadsThroughTheFolder) {
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(WriteSlotList(dir.path(), FullBoard(), &error)) << qPrintable(error);
    EXPECT_EQ(ReadAll(QDir(dir.path()).filePath("SoundList.csv")), FormatSlotList(FullBoard()));
    EXPECT_EQ(ReadSlotList(dir.path()), FullBoard());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"SoundList.csv"});
}

TEST(SlotListFile, AFailedWriteLeavesTheOldListWhole) {
    QTemporaryDir dir;
    const QDir folder(dir.path());
    const QString list = folder.filePath("SoundList.csv");
    QString error;
    ASSERT_TRUE(WriteSlotList(dir.path(), FullBoard(), &error));
    const QByteArray old = ReadAll(list);

#ifdef Q_OS_UNIX
    // A file size limit makes the write itself fail, even for root.
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
    EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden), QStringList{"SoundList.csv"});  // no leftovers

    if (geteuid() != 0) {  // root writes into read-only folders
        error.clear();
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_FALSE(WriteSlotList(dir.path(), EmptyBoard(), &error));
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(ReadAll(list), old);
    }
#endif

    // A folder in the list's place cannot be replaced.
    QTemporaryDir other;
    ASSERT_TRUE(QDir(other.path()).mkpath("SoundList.csv/keep"));
    error.clear();
    EXPECT_FALSE(WriteSlotList(other.path(), EmptyBoard(), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(QDir(other.path()).filePath("SoundList.csv/keep")).isDir());

    error.clear();
    EXPECT_FALSE(WriteSlotList(folder.filePath("no/such/folder"), EmptyBoard(), &error));
    EXPECT_FALSE(error.isEmpty());
}
