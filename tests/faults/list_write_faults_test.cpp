// The slot list cannot be written at exit: a folder where the list should be, a read-only
// folder, a full disk, or an old list that cannot be replaced (the new one is written beside it,
// then the rename fails). The old list stays whole, no temporary file is left, the board is kept
// in the state folder ($XDG_STATE_HOME/sorvane), else in the temporary folder, and the user is
// told once why and where it is, or that it could be kept nowhere.
#include <unistd.h>
#include <QProcess>

#include "board_fixture.h"
#include "skip_outside_ci.h"
#include "slots/slot_list_file.h"

namespace {

bool RunTool(const QString& program, const QStringList& args) {
    return QProcess::execute(program, args) == 0;
}

enum class KeptIn { StateFolder, TemporaryFolder, Nowhere };

struct WriteFault {
    const char* name;
    const char* obstacle;  // what keeps the list from being written
    KeptIn keptIn;         // where the board can go instead
};

class ListWriteFault : public BoardTest, public ::testing::WithParamInterface<WriteFault> {
protected:
    void TearDown() override {
        if (!m_locked.isEmpty()) RunTool("chattr", {"-i", m_locked});
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (m_hadTmpDir) {
            qputenv("TMPDIR", m_savedTmpDir);
        } else {
            qunsetenv("TMPDIR");
        }
        BoardTest::TearDown();  // leaves the list folder before it is unmounted
        if (m_mounted) RunTool("umount", {"-l", m_folder});
    }
    QString m_folder;
    QString m_locked;
    bool m_mounted = false;
    const QByteArray m_savedTmpDir = qgetenv("TMPDIR");
    const bool m_hadTmpDir = qEnvironmentVariableIsSet("TMPDIR");
};

TEST_P(ListWriteFault, TheOldListStaysWholeAndTheBoardIsKeptElsewhere) {
    const std::string obstacle = GetParam().obstacle;
    const KeptIn keptIn = GetParam().keptIn;
    // A small memory file system when this system lets us mount one (the only way to make a
    // folder read-only or full for root), else a plain folder.
    m_folder = path("list");
    QDir().mkpath(m_folder);
    m_mounted = RunTool("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", m_folder});
    if (!m_mounted && (obstacle == "FullDisk" || (obstacle == "ReadOnlyFolder" && geteuid() == 0)))
        SKIP_OUTSIDE_CI("no small file system to fill up or make read-only (mount -t tmpfs failed)");
    const QByteArray oldList = ListLine(0, "Q", "old", "old.wav", "0", "700") + EmptyLines(1);
    const QString list = m_folder + "/SoundList.csv";
    const QString old = obstacle == "ListIsFolder" ? list + "/old" : list;
    QDir().mkpath(QFileInfo(old).path());
    write(old, oldList);
    QDir::setCurrent(m_folder);
    start();
    drop(1, "/srv/new.wav");
    if (obstacle == "ReadOnlyFolder" && m_mounted) {
        ASSERT_TRUE(RunTool("mount", {"-o", "remount,ro", m_folder}));
    } else if (obstacle == "ReadOnlyFolder") {
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::ExeOwner);
    } else if (obstacle == "FullDisk") {
        QFile filler(m_folder + "/filler");
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        for (const QByteArray& chunk : {QByteArray(512, 'x'), QByteArray(1, 'x')})  // up to the last byte
            while (filler.write(chunk) == chunk.size()) {}
    } else if (obstacle == "ListCannotBeReplaced") {
        if (!RunTool("chattr", {"+i", list})) SKIP_OUTSIDE_CI("files cannot be made immutable here (chattr +i failed)");
        m_locked = list;
    }
    // A regular file where a folder should be stops even root from making the folder.
    const QString notAFolder = path("not-a-folder");
    write(notAFolder, "x");
    const QString folders[] = {path("state/sorvane"), path("tmp")};  // as KeptIn counts them
    QDir().mkpath(folders[1]);
    if (keptIn != KeptIn::StateFolder) qputenv("XDG_STATE_HOME", notAFolder.toLocal8Bit());
    qputenv("TMPDIR", (keptIn == KeptIn::Nowhere ? notAFolder : folders[1]).toLocal8Bit());
    const auto entries = [&] {
        return QDir(m_folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    };
    const QStringList before = entries();
    f->Form_Unload();
    EXPECT_EQ(read(old), oldList);
    EXPECT_EQ(entries(), before) << "a temporary file was left in the list folder";
    QFileInfoList kept;
    for (int in = 0; in < 2; ++in) {
        const QFileInfoList found = QDir(folders[in]).entryInfoList({"SoundList-*.csv"}, QDir::Files);
        EXPECT_EQ(found.size(), in == int(keptIn) ? 1 : 0) << qPrintable(folders[in]);
        kept += found;
    }
    QString tail = QStringLiteral("\nほかの場所にも保存できません");
    if (keptIn != KeptIn::Nowhere) {
        ASSERT_EQ(kept.size(), 1);
        EXPECT_EQ(slots::ParseSlotList(read(kept[0].filePath())).at(1).file, "/srv/new.wav");
        tail = "\n代わりに" + QDir::toNativeSeparators(kept[0].filePath()) + "に保存しました";
    }
    ASSERT_EQ(events.size(), 1u);
    const QString box = QString::fromStdString(events[0]);
    const QString head = "box 16 " + QDir::toNativeSeparators(list) + "を保存できません\n";
    EXPECT_TRUE(box.startsWith(head)) << events[0];
    EXPECT_TRUE(box.endsWith(tail)) << events[0];
    EXPECT_GT(box.size(), head.size() + tail.size()) << "the system's reason stands between the two: " << events[0];
}

INSTANTIATE_TEST_SUITE_P(Exit, ListWriteFault,
                         ::testing::Values(WriteFault{"ListIsFolder", "ListIsFolder", KeptIn::StateFolder},
                                           WriteFault{"ReadOnlyFolder", "ReadOnlyFolder", KeptIn::StateFolder},
                                           WriteFault{"FullDisk", "FullDisk", KeptIn::StateFolder},
                                           WriteFault{"ListCannotBeReplaced", "ListCannotBeReplaced",
                                                      KeptIn::StateFolder},
                                           WriteFault{"StateFolderUnusable", "ListIsFolder", KeptIn::TemporaryFolder},
                                           WriteFault{"NothingWritable", "ListIsFolder", KeptIn::Nowhere}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
