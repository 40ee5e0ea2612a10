// The slot list cannot be written at exit: a read-only folder, a full disk, a directory where
// the list goes, or an old list that cannot be replaced (the new one is written beside it, then
// the rename fails). The old list stays whole, no temporary file is left, the board is kept in
// the state folder, and the user is told once, with where it is.
#include <QProcess>
#if defined(__unix__)
#include <unistd.h>
#endif

#include "board/slot_list_file.h"
#include "fault_fixture.h"

namespace {

enum class Obstacle { ReadOnlyFolder, FullDisk, ListIsDirectory, ListCannotBeReplaced };
const char* const kObstacleNames[] = {"ReadOnlyFolder", "FullDisk", "ListIsDirectory", "ListCannotBeReplaced"};

bool RunTool(const QString& program, const QStringList& args) { return QProcess::execute(program, args) == 0; }

class ListWriteFault : public BoardOnRealService, public ::testing::WithParamInterface<Obstacle> {
protected:
    void TearDown() override {
        if (!lockedList.isEmpty()) RunTool("chattr", {"-i", lockedList});
        QFile::setPermissions(listFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        BoardOnRealService::TearDown();  // leaves the list folder before it is unmounted
        if (mounted) RunTool("umount", {"-l", listFolder});
    }

    QString listFolder;
    QString lockedList;  // made immutable: the new list is written but cannot be renamed over it
    bool mounted = false;
};

TEST_P(ListWriteFault, OldListStaysWholeAndTheUserIsTold) {
    const Obstacle obstacle = GetParam();
    // A list folder of its own: a small memory file system when this system lets us mount one
    // (the only way to make a folder read-only or full for root), else a plain folder.
    listFolder = pathOf("list");
    QDir().mkpath(listFolder);
#if defined(__linux__)
    mounted = RunTool("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", listFolder});
#endif
    if (!mounted && obstacle == Obstacle::FullDisk) GTEST_SKIP() << "no small file system to fill up";
    if (!mounted && obstacle == Obstacle::ReadOnlyFolder && geteuid() == 0)
        GTEST_SKIP() << "no small file system to make read-only, and permissions do not stop root";

    // The old list, or a file inside the folder standing in its place; the board runs from the
    // list folder, and the sound dropped to change it lies outside, stored by its full path.
    board::SlotRecord old;
    old.index = 0, old.key = "Q", old.name = "old", old.file = "old.wav", old.volume = 700, old.fieldsRead = 8;
    const QByteArray oldList = board::FormatSlotList({old});
    const QString listPath = listFolder + "/SoundList.csv";
    const QString kept = obstacle == Obstacle::ListIsDirectory ? listPath + "/inside.txt" : listPath;
    QDir().mkpath(QFileInfo(kept).path());
    WriteBytes(kept, oldList);
    WriteTone(pathOf("new.wav"), 0.2);
    QDir::setCurrent(listFolder);
    toolkit::SetProgramFolderForTests(listFolder);
    loadBoard();
    drop(1, pathOf("new.wav"));
    ASSERT_TRUE(assigned(1));
    ASSERT_TRUE(messages.isEmpty());

    switch (obstacle) {
    case Obstacle::ReadOnlyFolder:
        if (mounted) ASSERT_TRUE(RunTool("mount", {"-o", "remount,ro", listFolder}));
        else QFile::setPermissions(listFolder, QFile::ReadOwner | QFile::ExeOwner);
        break;
    case Obstacle::FullDisk: {
        QFile filler(listFolder + "/filler");
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        for (const QByteArray& chunk : {QByteArray(512, 'x'), QByteArray(1, 'x')})  // up to the last byte
            while (filler.write(chunk) == chunk.size()) {}
        break;
    }
    case Obstacle::ListIsDirectory: break;
    case Obstacle::ListCannotBeReplaced:
        if (!RunTool("chattr", {"+i", listPath})) GTEST_SKIP() << "files cannot be made immutable here";
        lockedList = listPath;
        break;
    }
    const auto entries = [&] {
        return QDir(listFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    };
    const QStringList before = entries();
    const QString state = pathOf("state");
    qputenv("XDG_STATE_HOME", state.toLocal8Bit());

    board->Form_Unload();

    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("を保存できません"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("SoundList.csv"))) << messages[0].toStdString();
    EXPECT_EQ(ReadFile(kept), oldList);
    EXPECT_EQ(entries(), before) << "a temporary file was left in the list folder";
    const QFileInfoList rescued = QDir(state + "/sorvane").entryInfoList({"SoundList-*.csv"}, QDir::Files);
    ASSERT_EQ(rescued.size(), 1);
    EXPECT_TRUE(messages[0].contains(QDir::toNativeSeparators(rescued[0].filePath()))) << messages[0].toStdString();
    const auto records = board::ParseSlotList(ReadFile(rescued[0].filePath()));
    ASSERT_EQ(records.size(), 38u);
    EXPECT_EQ(records[1].file, pathOf("new.wav"));
}

INSTANTIATE_TEST_SUITE_P(Exit, ListWriteFault,
                         ::testing::Values(Obstacle::ReadOnlyFolder, Obstacle::FullDisk, Obstacle::ListIsDirectory,
                                           Obstacle::ListCannotBeReplaced),
                         [](const auto& info) { return std::string(kObstacleNames[int(info.param)]); });

}  // namespace
