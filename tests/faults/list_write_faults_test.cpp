// The slot list cannot be written at exit: a folder where the list should be, a read-only
// folder, a full disk, or an old list that cannot be replaced (the new one is written beside it,
// then the rename fails). The old list stays whole, no temporary file is left, the board is kept
// in the state folder ($XDG_STATE_HOME/sorvane), and the user is told once why and where it is.
#include <unistd.h>
#include <QProcess>

#include "board/slot_list_file.h"
#include "board_fixture.h"

namespace {

bool RunTool(const QString& program, const QStringList& args) {
    return QProcess::execute(program, args) == 0;
}

class ListWriteFault : public BoardTest, public ::testing::WithParamInterface<const char*> {
protected:
    void TearDown() override {
        if (!m_locked.isEmpty()) RunTool("chattr", {"-i", m_locked});
        QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        BoardTest::TearDown();  // leaves the list folder before it is unmounted
        if (m_mounted) RunTool("umount", {"-l", m_folder});
    }
    QString m_folder, m_locked;
    bool m_mounted = false;
};

TEST_P(ListWriteFault, TheOldListStaysWholeAndTheBoardIsKeptInTheStateFolder) {
    const std::string obstacle = GetParam();
    // A small memory file system when this system lets us mount one (the only way to make a
    // folder read-only or full for root), else a plain folder.
    m_folder = path("list");
    QDir().mkpath(m_folder);
    m_mounted = RunTool("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", m_folder});
    if (!m_mounted && (obstacle == "FullDisk" || (obstacle == "ReadOnlyFolder" && geteuid() == 0)))
        GTEST_SKIP() << "no small file system to fill up or make read-only";
    const QByteArray oldList = ListLine(0, "Q", "old", "old.wav", "0", "700") + EmptyLines(1);
    const QString list = m_folder + "/SoundList.csv", old = obstacle == "ListIsFolder" ? list + "/old" : list;
    QDir().mkpath(QFileInfo(old).path());
    write(old, oldList);
    QDir::setCurrent(m_folder);
    start();
    drop(1, "/srv/new.wav");
    if (obstacle == "ReadOnlyFolder") {
        if (m_mounted)
            ASSERT_TRUE(RunTool("mount", {"-o", "remount,ro", m_folder}));
        else
            QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::ExeOwner);
    } else if (obstacle == "FullDisk") {
        QFile filler(m_folder + "/filler");
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        for (const QByteArray& chunk : {QByteArray(512, 'x'), QByteArray(1, 'x')})  // up to the last byte
            while (filler.write(chunk) == chunk.size()) {}
    } else if (obstacle == "ListCannotBeReplaced") {
        if (!RunTool("chattr", {"+i", list})) GTEST_SKIP() << "files cannot be made immutable here";
        m_locked = list;
    }
    const auto entries = [&] {
        return QDir(m_folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    };
    const QStringList before = entries();
    f->Form_Unload();
    EXPECT_EQ(read(old), oldList);
    EXPECT_EQ(entries(), before) << "a temporary file was left in the list folder";
    const QFileInfoList kept = QDir(path("state/sorvane")).entryInfoList({"SoundList-*.csv"}, QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(board::ParseSlotList(read(kept[0].filePath())).at(1).file, "/srv/new.wav");
    ASSERT_EQ(events.size(), 1u);
    const QString box = QString::fromStdString(events[0]),
                  head = "box 16 " + QDir::toNativeSeparators(list) + "を保存できません\n",
                  tail = "\n代わりに" + QDir::toNativeSeparators(kept[0].filePath()) + "に保存しました";
    // The system's reason stands between the two.
    EXPECT_TRUE(box.startsWith(head) && box.endsWith(tail) && box.size() > head.size() + tail.size()) << events[0];
}

INSTANTIATE_TEST_SUITE_P(Exit, ListWriteFault,
                         ::testing::Values("ListIsFolder", "ReadOnlyFolder", "FullDisk", "ListCannotBeReplaced"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
