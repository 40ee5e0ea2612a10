// The slot list cannot be written at exit: a read-only folder, a full disk, a file size limit,
// a directory standing where the list goes, or an old list that cannot be replaced (the new
// one is written beside it, then the rename fails). In every case the old list stays whole, no
// stray temporary file is left behind, and the user is told once.
#include <QProcess>
#include <csignal>
#if defined(__unix__)
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "board/slot_list_file.h"
#include "fault_fixture.h"

namespace faults {
namespace {

enum class Obstacle { ReadOnlyFolder, FullDisk, FileSizeLimit, ListIsDirectory, ListCannotBeReplaced };

struct Case {
    const char* name;
    Obstacle obstacle;
};
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }


bool RunTool(const QString& program, const QStringList& args) { return QProcess::execute(program, args) == 0; }

class ListWriteFault : public BoardOnRealService, public ::testing::WithParamInterface<Case> {
protected:
    void TearDown() override {
        restoreLimit();
        if (!lockedList.isEmpty()) RunTool("chattr", {"-i", lockedList});
        BoardOnRealService::TearDown();  // leaves the list folder before it is unmounted
        if (mounted) RunTool("umount", {"-l", listFolder});
    }

    // A list folder of its own: a small memory file system when this system lets us mount one
    // (the only way to make a folder read-only or full for root), else a plain folder.
    bool mountSmallFileSystem() {
        listFolder = pathOf("list");
        QDir().mkpath(listFolder);
#if defined(__linux__)
        mounted = RunTool("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", listFolder});
#endif
        return mounted;
    }

    // Fills the list's file system up to the last byte.
    void fillUp() {
        QFile filler(listFolder + "/filler");
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray chunk(512, 'x');
        while (filler.write(chunk) == chunk.size()) {}
        const QByteArray byte(1, 'x');
        while (filler.write(byte) == 1) {}
    }

    void limitFileSize(long bytes) {
#if defined(__unix__)
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails instead of killing us
        getrlimit(RLIMIT_FSIZE, &savedLimit);
        rlimit limit = savedLimit;
        limit.rlim_cur = rlim_t(bytes);
        limited = setrlimit(RLIMIT_FSIZE, &limit) == 0;
#else
        (void)bytes;
#endif
    }

    void restoreLimit() {
#if defined(__unix__)
        if (limited) setrlimit(RLIMIT_FSIZE, &savedLimit);
        limited = false;
#endif
    }

    QString listFolder;
    QString lockedList;  // made immutable: the new list is written but cannot be renamed over it
    bool mounted = false;
    bool limited = false;
#if defined(__unix__)
    rlimit savedLimit{};
#endif
};

TEST_P(ListWriteFault, OldListStaysWholeAndTheUserIsTold) {
    const Obstacle obstacle = GetParam().obstacle;
    const bool needsMount = obstacle == Obstacle::ReadOnlyFolder || obstacle == Obstacle::FullDisk;
    if (!mountSmallFileSystem() && needsMount && geteuid() == 0)
        GTEST_SKIP() << "mounting a small file system is not permitted here, and permissions do not stop root";

    // The board the old list describes, and a sound kept outside the list folder to change it.
    board::SlotRecord old;
    old.index = 0, old.key = "Q", old.name = "old", old.file = "old.wav", old.volume = 700;
    old.fieldsRead = 8;
    const QByteArray oldList = board::FormatSlotList({old});
    const QString listPath = listFolder + "/SoundList.csv";
    if (obstacle == Obstacle::ListIsDirectory) {
        QDir().mkpath(listPath);
        WriteFile(listPath + "/inside.txt", "kept");
    } else {
        WriteFile(listPath, oldList);
    }
    WriteFile(pathOf("new.wav"), ToneWav(0.2));
    // The board runs from the list folder; the sound outside it is stored by its full path.
    QDir::setCurrent(listFolder);
    toolkit::SetProgramFolderForTests(listFolder);

    loadBoard();
    drop(1, pathOf("new.wav"));
    ASSERT_TRUE(assigned(1));
    ASSERT_TRUE(messages.isEmpty());

    switch (obstacle) {
    case Obstacle::ReadOnlyFolder:
        if (mounted) {
            ASSERT_TRUE(RunTool("mount", {"-o", "remount,ro", listFolder}));
        } else {
            QFile::setPermissions(listFolder, QFile::ReadOwner | QFile::ExeOwner);
        }
        break;
    case Obstacle::FullDisk: fillUp(); break;
    case Obstacle::FileSizeLimit: limitFileSize(256); break;
    case Obstacle::ListIsDirectory: break;
    case Obstacle::ListCannotBeReplaced:
        if (!RunTool("chattr", {"+i", listPath})) GTEST_SKIP() << "files cannot be made immutable here";
        lockedList = listPath;
        break;
    }
    const QStringList before = QDir(listFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

    board->Form_Unload();
    restoreLimit();

    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("を保存できません"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("SoundList.csv"))) << messages[0].toStdString();
    if (obstacle == Obstacle::ListIsDirectory) {
        EXPECT_TRUE(QFileInfo(listPath).isDir());
        EXPECT_EQ(ReadFile(listPath + "/inside.txt"), "kept");
    } else {
        EXPECT_EQ(ReadFile(listPath), oldList);
    }
    EXPECT_EQ(QDir(listFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before)
        << "a temporary file was left in the list folder";
    QFile::setPermissions(listFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

INSTANTIATE_TEST_SUITE_P(
    Exit, ListWriteFault,
    ::testing::Values(Case{"ReadOnlyFolder", Obstacle::ReadOnlyFolder}, Case{"FullDisk", Obstacle::FullDisk},
                      Case{"FileSizeLimit", Obstacle::FileSizeLimit},
                      Case{"ListIsDirectory", Obstacle::ListIsDirectory},
                      Case{"ListCannotBeReplaced", Obstacle::ListCannotBeReplaced}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace faults
