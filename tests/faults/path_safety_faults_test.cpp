// Paths from the slot list and from drops name files and nothing else: no web address,
// protocol, device, pipe or folder is ever opened, nothing runs a shell, and a pipe without a
// writer cannot hold up start-up. A real file whose name merely looks like a protocol opens.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#if defined(__unix__)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "board/slot_list_file.h"
#include "fault_fixture.h"

namespace faults {
namespace {

// Runs `work`, ending the whole test program if it takes over 20 s: a hang is reported as a
// failure instead of stalling the run.
template <class Work> void WithoutHanging(Work work) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([done] {
        for (int tenths = 0; tenths < 200; ++tenths, std::this_thread::sleep_for(std::chrono::milliseconds(100)))
            if (*done) return;
        std::fprintf(stderr, "watchdog: the board hung\n");
        std::_Exit(3);
    }).detach();
    work();
    *done = true;
}

class PathSafety : public BoardOnRealService {
protected:
    void SetUp() override {
        BoardOnRealService::SetUp();
        WriteTone(pathOf("a.wav"), 0.2);
        WriteTone(pathOf("live: take 1.wav"), 0.2);
        testmedia::WriteText(pathOf("playlist.mp3").toStdString(), "ffconcat version 1.0\nfile 'a.wav'\nfile 'a.wav'\n");
        QDir().mkpath(pathOf("folder.wav"));
#if defined(__unix__)
        ASSERT_EQ(mkfifo(pathOf("pipe.wav").toLocal8Bit().constData(), 0600), 0);
        // A local listener that would see any connection the service tried to make.
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ASSERT_TRUE(listener >= 0 && bind(listener, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                    listen(listener, 4) == 0 &&
                    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0);
        port = ntohs(address.sin_port);
#endif
    }
    void TearDown() override {
#if defined(__unix__)
        if (listener >= 0) close(listener);
#endif
        BoardOnRealService::TearDown();
    }

    // Names that must never open, as they would appear in a list or a drop.
    QStringList hostileNames() const {
        QStringList names = {"concat:a.wav|a.wav", "subfile,,start,0,end,0,,:a.wav", "file:a.wav", "pipe:0",
                             "/dev/zero", "/dev/urandom", "folder.wav", "playlist.mp3", "a.wav; touch pwned",
                             "$(touch pwned).wav", "`touch pwned`.wav"};
#if defined(__unix__)
        names << "pipe.wav" << QStringLiteral("http://127.0.0.1:%1/a.mp3").arg(port)
              << QStringLiteral("tcp://127.0.0.1:%1").arg(port);
#endif
        return names;
    }

    void expectNothingReachedOutside() {
        EXPECT_FALSE(QFileInfo::exists(pathOf("pwned"))) << "a shell ran";
#if defined(__unix__)
        const int client = accept(listener, nullptr, nullptr);
        EXPECT_LT(client, 0) << "a network connection was made";
        if (client >= 0) close(client);
#endif
    }

    int listener = -1;
    int port = 0;
};

TEST_F(PathSafety, StartUpOpensOnlyFilesAndNeverHangs) {
    const QStringList names = QStringList(hostileNames()) << "live: take 1.wav";
    std::vector<board::SlotRecord> records(names.size());
    for (int i = 0; i < names.size(); ++i) {
        board::SlotRecord& r = records[std::size_t(i)];
        r.key = "K", r.name = r.file = names[i], r.volume = 800, r.fieldsRead = 8;
    }
    testmedia::WriteText(pathOf("SoundList.csv").toStdString(), board::FormatSlotList(records).toStdString());

    WithoutHanging([&] { loadBoard(); });
    for (int i = 0; i + 1 < names.size(); ++i) EXPECT_FALSE(assigned(i)) << names[i].toStdString() << " was opened";
    EXPECT_TRUE(assigned(int(names.size()) - 1)) << "a file whose name holds a colon is still a file";
    EXPECT_TRUE(messages.isEmpty()) << "start-up shows no message";
    expectNothingReachedOutside();
}

TEST_F(PathSafety, DroppedDevicesPipesFoldersAndPlaylistsAreRefused) {
    loadBoard();
    drop(0, pathOf("a.wav"));
    ASSERT_TRUE(assigned(0));
    QStringList dropped = {"/dev/zero", "/dev/urandom", pathOf("folder.wav"), pathOf("playlist.mp3")};
#if defined(__unix__)
    dropped << pathOf("pipe.wav");
#endif
    for (const QString& path : dropped) {
        messages.clear();
        WithoutHanging([&] { drop(0, path); });
        ASSERT_EQ(messages.size(), 1) << path.toStdString();
        EXPECT_TRUE(messages[0].endsWith(QStringLiteral("は扱えません"))) << messages[0].toStdString();
        EXPECT_EQ(SlotFile(0), "a.wav") << "the slot keeps the sound it held";
    }
    expectNothingReachedOutside();
}

}  // namespace
}  // namespace faults
