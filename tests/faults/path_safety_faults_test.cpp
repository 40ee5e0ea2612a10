// Paths from the slot list and from drops name files and nothing else: no web address,
// protocol, device, pipe or folder is ever opened, nothing runs a shell, and a pipe without a
// writer cannot hold up the board. A real file whose name merely looks like a protocol opens.
#if defined(__unix__)
#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "board/slot_list_file.h"
#include "fault_fixture.h"

namespace {

#if defined(__unix__)
// A hang ends the test program (SIGALRM) instead of stalling the run.
void LimitHang(unsigned seconds) { alarm(seconds); }
#else
void LimitHang(unsigned) {}
#endif

class PathSafety : public BoardOnRealService {};

TEST_F(PathSafety, ListAndDropsOpenOnlyFilesAndNeverHang) {
    WriteTone(pathOf("a.wav"), 0.2);
    WriteTone(pathOf("live: take 1.wav"), 0.2);
    WriteBytes(pathOf("playlist.mp3"), "ffconcat version 1.0\nfile 'a.wav'\nfile 'a.wav'\n");
    QDir().mkpath(pathOf("folder.wav"));
    QStringList local = {"/dev/zero", "/dev/urandom", "folder.wav", "playlist.mp3"};  // what a drop can name
    QStringList names = {"concat:a.wav|a.wav", "subfile,,start,0,end,0,,:a.wav", "file:a.wav", "pipe:0",
                         "a.wav; touch pwned", "$(touch pwned).wav", "`touch pwned`.wav"};
#if defined(__unix__)
    ASSERT_EQ(mkfifo(pathOf("pipe.wav").toLocal8Bit().constData(), 0600), 0);
    local << "pipe.wav";
    // A local listener that would see any connection the service tried to make.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ASSERT_TRUE(listener >= 0 && bind(listener, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                listen(listener, 4) == 0 && getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0);
    names << QStringLiteral("http://127.0.0.1:%1/a.mp3").arg(ntohs(address.sin_port))
          << QStringLiteral("tcp://127.0.0.1:%1").arg(ntohs(address.sin_port));
#endif
    names << local << "live: take 1.wav";
    std::vector<board::SlotRecord> records(std::size_t(names.size()));
    for (int i = 0; i < names.size(); ++i) {
        board::SlotRecord& r = records[std::size_t(i)];
        r.key = "K", r.name = r.file = names[i], r.volume = 800, r.fieldsRead = 8;
    }
    WriteBytes(pathOf("SoundList.csv"), board::FormatSlotList(records));

    LimitHang(20), loadBoard(), LimitHang(0);
    const int live = int(names.size()) - 1;
    for (int i = 0; i < live; ++i) EXPECT_FALSE(assigned(i)) << names[i].toStdString() << " was opened";
    ASSERT_TRUE(assigned(live)) << "a file whose name holds a colon is still a file";
    EXPECT_TRUE(messages.isEmpty()) << "start-up shows no message";

    for (const QString& name : local) {
        const QString path = QDir(folder.path()).absoluteFilePath(name);
        messages.clear();
        LimitHang(20), drop(live, path), LimitHang(0);
        ASSERT_EQ(messages.size(), 1) << path.toStdString();
        EXPECT_TRUE(messages[0].endsWith(QStringLiteral("は扱えません"))) << messages[0].toStdString();
        EXPECT_EQ(board->Slots.SlotFile[live], "live: take 1.wav") << "the slot keeps the sound it held";
    }
    EXPECT_FALSE(QFileInfo::exists(pathOf("pwned"))) << "a shell ran";
#if defined(__unix__)
    EXPECT_LT(accept(listener, nullptr, nullptr), 0) << "a network connection was made";
    close(listener);
#endif
}

}  // namespace
