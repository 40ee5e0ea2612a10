// Paths from the slot list and from drops name files and nothing else: no web address,
// protocol, device, pipe or folder is ever opened, nothing runs a shell, and a pipe without a
// writer cannot hold up start-up. A real file whose name merely looks like a protocol opens.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#if defined(__unix__)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "board/slot_list_file.h"
#include "fault_fixture.h"

namespace faults {
namespace {

// Fails the whole test binary if `work` has not finished in time, so a hang is reported as a
// failure instead of stalling the run.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit) : m_thread([this, limit] {
        std::unique_lock lock(m_mutex);
        if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
            std::fprintf(stderr, "watchdog: the board hung\n");
            std::_Exit(3);
        }
    }) {}
    ~Watchdog() {
        { std::lock_guard lock(m_mutex); m_finished = true; }
        m_done.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

#if defined(__unix__)
// A local listener that would see any connection the board's service tried to make.
class Listener {
public:
    Listener() {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(m_fd, 4) != 0 ||
            getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        m_port = ntohs(address.sin_port);
    }
    ~Listener() { if (m_fd >= 0) close(m_fd); }
    int port() const { return m_port; }
    bool someoneConnected() const {
        const int client = accept(m_fd, nullptr, nullptr);
        if (client >= 0) close(client);
        return client >= 0;
    }

private:
    int m_fd = -1;
    int m_port = 0;
};
#endif

class PathSafety : public BoardOnRealService {
protected:
    void SetUp() override {
        BoardOnRealService::SetUp();
        WriteFile(pathOf("a.wav"), ToneWav(0.2));
        WriteFile(pathOf("live: take 1.wav"), ToneWav(0.2));
        WriteFile(pathOf("playlist.mp3"), "ffconcat version 1.0\nfile 'a.wav'\nfile 'a.wav'\n");
        QDir().mkpath(pathOf("folder.wav"));
#if defined(__unix__)
        ASSERT_EQ(mkfifo(pathOf("pipe.wav").toLocal8Bit().constData(), 0600), 0);
#endif
    }

    // Names that must never open, as they would appear in a list or a drop.
    QStringList hostileNames() const {
        QStringList names = {
            "concat:a.wav|a.wav",
            "subfile,,start,0,end,0,,:a.wav",
            "file:a.wav",
            "pipe:0",
            "/dev/zero",
            "/dev/urandom",
            "folder.wav",
            "playlist.mp3",
            "a.wav; touch pwned",
            "$(touch pwned).wav",
            "`touch pwned`.wav",
        };
#if defined(__unix__)
        names << "pipe.wav" << QStringLiteral("http://127.0.0.1:%1/a.mp3").arg(listener.port())
              << QStringLiteral("tcp://127.0.0.1:%1").arg(listener.port());
#endif
        return names;
    }

    void expectNothingReachedOutside() {
        EXPECT_FALSE(QFileInfo::exists(pathOf("pwned"))) << "a shell ran";
#if defined(__unix__)
        EXPECT_FALSE(listener.someoneConnected()) << "a network connection was made";
#endif
    }

#if defined(__unix__)
    Listener listener;
#endif
};

TEST_F(PathSafety, StartUpOpensOnlyFilesAndNeverHangs) {
    const QStringList names = hostileNames();
    std::vector<board::SlotRecord> records;
    for (const QString& name : names) {
        board::SlotRecord r;
        r.key = "K", r.name = name, r.file = name, r.volume = 800, r.fieldsRead = 8;
        records.push_back(r);
    }
    board::SlotRecord real;
    real.key = "L", real.name = "live", real.file = "live: take 1.wav", real.volume = 800, real.fieldsRead = 8;
    records.push_back(real);
    WriteFile(pathOf("SoundList.csv"), board::FormatSlotList(records));

    {
        Watchdog watchdog(std::chrono::seconds(20));
        loadBoard();
    }
    for (int i = 0; i < names.size(); ++i)
        EXPECT_FALSE(assigned(i)) << names[i].toStdString() << " was opened";
    EXPECT_TRUE(assigned(int(names.size()))) << "a file whose name holds a colon is still a file";
    EXPECT_TRUE(messages.isEmpty()) << "start-up shows no message";
    expectNothingReachedOutside();
}

TEST_F(PathSafety, DroppedDevicesPipesFoldersAndPlaylistsAreRefused) {
    loadBoard();
    drop(0, pathOf("a.wav"));
    ASSERT_TRUE(assigned(0));
    const QStringList dropped = {"/dev/zero", "/dev/urandom", pathOf("folder.wav"), pathOf("playlist.mp3")
#if defined(__unix__)
                                 , pathOf("pipe.wav")
#endif
    };
    for (const QString& path : dropped) {
        messages.clear();
        {
            Watchdog watchdog(std::chrono::seconds(20));
            drop(0, path);
        }
        ASSERT_EQ(messages.size(), 1) << path.toStdString();
        EXPECT_TRUE(messages[0].endsWith(QStringLiteral("は扱えません"))) << messages[0].toStdString();
        EXPECT_EQ(SlotFile(0), "a.wav") << "the slot keeps the sound it held";
    }
    expectNothingReachedOutside();
}

}  // namespace
}  // namespace faults
