// The board on the real media service when the world misbehaves: the sound device goes away
// and comes back, a sound file is damaged while it plays, a list or a drop names something that
// is not a sound file.
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <random>

#include "board/slot_list_file.h"
#include "board_fixture.h"
#include "test_media.h"

#if defined(__unix__)
#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// 16-bit stereo 48 kHz, a steady 440 Hz tone at a quarter of full scale.
void WriteTone(const QString& path, double seconds) {
    testmedia::WriteWav(path.toStdString(), 48000, 2, std::int64_t(seconds * 48000),
                        [](int, std::int64_t f) { return float(0.25 * std::sin(f * 2 * M_PI * 440 / 48000)); });
}

class RealService : public BoardTest
{
protected:
    void SetUp() override {
        BoardTest::SetUp();
        toolkit::SetProgramFolderForTests(QDir::currentPath());
    }
    // Whether the slot's channel plays, next to whether its key label says so: the two agree.
    std::pair<bool, bool> state(int i) const { return {channels::MciIsPlaying(i), keyColor(i) == kLit}; }
    static std::int64_t positionMs(int channel) {
        char reply[32] = {};
        ::mci::SendString(("status A" + std::to_string(channel) + " position").c_str(), reply, sizeof reply, nullptr);
        return std::atoll(reply);
    }
    bool assigned(int i) const { return f->Slots.HasSound(i) && f->Command1[i]->isEnabled(); }
    const std::pair<bool, bool> kPlaying{true, true}, kIdle{false, false};
};

// The sound server dies while two slots play: the service carries on on the null output, so the
// sounds keep their time, the labels keep telling which slots play and the controls work; when
// the server comes back the sound moves back to it within a second, from where it was.
class DeviceLoss : public RealService
{
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("pulseaudio").isEmpty()) GTEST_SKIP() << "no PulseAudio server to lose";
        if (!startServer()) GTEST_SKIP() << "PulseAudio does not start here";
        m_savedServer = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", ("unix:" + socket()).toLocal8Bit());
        RealService::SetUp();
        service = &useRealService(::mci::Service::Device);
        if (output() != "pulseaudio") GTEST_SKIP() << "the service did not open the PulseAudio server";
    }
    void TearDown() override {
        RealService::TearDown();
        m_pulse.kill(), m_pulse.waitForFinished(3000);
        qputenv("PULSE_SERVER", m_savedServer);
    }
    QString socket() const { return m_runtime.filePath("native"); }
    bool startServer() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH"}) env.insert(name, m_runtime.path());
        m_pulse.setProcessEnvironment(env);
        m_pulse.setStandardErrorFile(QProcess::nullDevice());
        QFile::remove(socket());
        m_pulse.start(QStandardPaths::findExecutable("pulseaudio"),
                      {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
                       "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket(),
                       "--load=module-null-sink sink_name=lost"});
        if (!m_pulse.waitForStarted(5000)) return false;
        for (int waited = 0; !QFileInfo::exists(socket()) && waited < 5000; waited += 20) QThread::msleep(20);
        return QFileInfo::exists(socket());
    }
    std::string output() { return service ? service->engine().outputName() : ""; }
    void waitMs(int ms) {  // real time passing with the board's timer ticking
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) QThread::msleep(100), f->FadeTick();
    }
    ::mci::Service* service = nullptr;
    QTemporaryDir m_runtime;
    QProcess m_pulse;
    QByteArray m_savedServer;
};

TEST_F(DeviceLoss, SoundsCarryOnWithoutTheServerAndGoBackToItFromWhereTheyWere) {
    WriteTone(path("long.wav"), 4.0), WriteTone(path("longer.wav"), 30.0);
    start();
    drop(0, path("long.wav")), drop(1, path("longer.wav"));
    f->PlaySlot(0), f->PlaySlot(1);
    waitMs(800);
    ASSERT_EQ(state(0), kPlaying);

    m_pulse.kill(), m_pulse.waitForFinished(3000);
    for (int waited = 0; output() != "null" && waited < 5000; waited += 100) waitMs(100);
    ASSERT_EQ(output(), "null") << "the lost device was not replaced";
    EXPECT_EQ(state(0), kPlaying);
    const std::int64_t before = positionMs(1);
    waitMs(500);
    EXPECT_NEAR(double(positionMs(1) - before), 500.0, 250.0);
    waitMs(4000);
    EXPECT_EQ(state(0), kIdle) << "four seconds are up";
    EXPECT_EQ(state(1), kPlaying);
    f->StopSlot(1), f->PlaySlot(0);
    waitMs(200);
    EXPECT_EQ(state(1), kIdle);
    EXPECT_EQ(state(0), kPlaying);

    ASSERT_TRUE(startServer());
    QElapsedTimer back;
    back.start();
    const std::int64_t beforeReturn = positionMs(0);
    while (output() != "pulseaudio" && back.elapsed() < 3000) waitMs(50);
    EXPECT_EQ(output(), "pulseaudio");
    EXPECT_LT(back.elapsed(), 1000);
    waitMs(300);
    EXPECT_EQ(state(0), kPlaying);
    EXPECT_NEAR(double(positionMs(0) - beforeReturn), double(back.elapsed()), 250.0);
    EXPECT_TRUE(events.empty());
}

// A sound file deleted, cut short or replaced while its slot plays, as a WAV (read as it plays)
// and an MP3 (decoded as it plays): that slot plays what it can and stops, and the slot beside it
// plays on without losing time; the damaged slot keeps its sound and Play on it is harmless.
TEST_F(RealService, ASoundDamagedWhilePlayingStopsAloneAndTheBoardCarriesOn) {
    const std::pair<const char*, std::function<void(const QString&)>> damages[] = {
        {"deleted", [](const QString& p) { QFile::remove(p); }},
        {"cut to the header", [](const QString& p) { QFile::resize(p, 44 + 100); }},
        {"cut to nothing", [](const QString& p) { QFile::resize(p, 0); }},
        {"overwritten in place with noise",
         [](const QString& p) {
             QByteArray noise(int(QFileInfo(p).size()), '\0');
             std::mt19937 random(7);
             for (char& c : noise) c = char(random());
             write(p, noise);
         }},
        {"replaced by a rename",
         [](const QString& p) { WriteTone(p + ".new", 0.1), std::rename(qPrintable(p + ".new"), qPrintable(p)); }},
    };
    ::mci::Service& service = useRealService();
    const auto playFor = [&](int ms) {  // in the board's 100 ms ticks
        std::vector<float> block(4800 * 2);
        for (int t = 0; t < ms; t += 100) {
            service.renderOffline(block.data(), 4800);
            ASSERT_TRUE(std::all_of(block.begin(), block.end(), [](float x) { return std::isfinite(x); }));
            f->FadeTick();
        }
    };
    const bool mp3 = !QStandardPaths::findExecutable("ffmpeg").isEmpty();
    for (const char* format : {"wav", "mp3"}) {
        for (const auto& [what, damage] : damages) {
            SCOPED_TRACE(std::string(format) + ", " + what);
            if (format == std::string("mp3") && !mp3) continue;
            const QString victim = path(QStringLiteral("victim.") + format);
            WriteTone(path("victim.wav"), 3.0), WriteTone(path("neighbour.wav"), 6.0);
            if (victim.endsWith("mp3")) {
                ASSERT_TRUE(testmedia::Convert(path("victim.wav").toStdString(), "", victim.toStdString()));
            }
            QFile::remove(listPath());
            start();
            drop(0, victim), drop(1, path("neighbour.wav"));
            f->PlaySlot(0), f->PlaySlot(1);
            playFor(500);
            ASSERT_EQ(state(0), kPlaying);
            damage(victim);
            const std::int64_t neighbourBefore = positionMs(1);
            playFor(1000);
            EXPECT_NEAR(double(positionMs(1) - neighbourBefore), 1000.0, 50.0) << "the neighbour lost time";
            playFor(3000);
            EXPECT_EQ(state(0), kIdle);
            EXPECT_EQ(state(1), kPlaying);
            f->PlaySlot(0);
            playFor(3000);
            EXPECT_EQ(state(0), kIdle);
            EXPECT_TRUE(assigned(0));
            EXPECT_TRUE(events.empty());
            f->close();
        }
    }
}

// Paths from the list and from drops name files and nothing else: no web address, protocol,
// device, pipe or folder is opened, nothing runs a shell, and a pipe without a writer cannot
// hold up the board. A real file whose name merely looks like a protocol opens.
TEST_F(RealService, ListsAndDropsOpenOnlyFilesAndNeverHang) {
    useRealService();
    WriteTone(path("a.wav"), 0.2), WriteTone(path("live: take 1.wav"), 0.2);
    write(path("playlist.mp3"), "ffconcat version 1.0\nfile 'a.wav'\nfile 'a.wav'\n");
    QDir().mkpath(path("folder.wav"));
    QStringList local = {"/dev/zero", "/dev/urandom", "folder.wav", "playlist.mp3"};  // what a drop can name
    QStringList names = {"concat:a.wav|a.wav", "subfile,,start,0,end,0,,:a.wav", "file:a.wav", "pipe:0",
                         "a.wav; touch pwned", "$(touch pwned).wav", "`touch pwned`.wav"};
#if defined(__unix__)
    ASSERT_EQ(mkfifo(path("pipe.wav").toLocal8Bit().constData(), 0600), 0);
    local << "pipe.wav";
    sockaddr_in address{};  // a local listener that would see any connection the service made
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ASSERT_TRUE(listener >= 0 && bind(listener, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                listen(listener, 4) == 0 && getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0);
    names << QStringLiteral("http://127.0.0.1:%1/a.mp3").arg(ntohs(address.sin_port))
          << QStringLiteral("tcp://127.0.0.1:%1").arg(ntohs(address.sin_port));
    alarm(60);  // a hang ends the test program instead of stalling the run
#endif
    names << local << "live: take 1.wav";
    std::vector<board::SlotRecord> records(std::size_t(names.size()));
    for (int i = 0; i < names.size(); ++i) {
        board::SlotRecord& r = records[std::size_t(i)];
        r.key = "K", r.name = r.file = names[i], r.volume = 800, r.fieldsRead = 8;
    }
    write(listPath(), board::FormatSlotList(records));
    start();
    const int live = int(names.size()) - 1;
    for (int i = 0; i < live; ++i) EXPECT_FALSE(assigned(i)) << names[i].toStdString() << " was opened";
    ASSERT_TRUE(assigned(live)) << "a file whose name holds a colon is still a file";
    EXPECT_TRUE(events.empty()) << "start-up shows no message";
    for (const QString& name : local) {
        events.clear();
        DropFiles(*f, live, {QDir::current().absoluteFilePath(name)});
        EXPECT_EQ(events.size(), 1u) << name.toStdString();
        EXPECT_EQ(f->Slots.SlotFile[live], "live: take 1.wav") << "the slot keeps the sound it held";
    }
    EXPECT_FALSE(QFileInfo::exists(path("pwned"))) << "a shell ran";
#if defined(__unix__)
    alarm(0);
    EXPECT_LT(accept(listener, nullptr, nullptr), 0) << "a network connection was made";
    close(listener);
#endif
}

}  // namespace
