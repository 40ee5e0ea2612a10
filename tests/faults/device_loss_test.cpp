// The sound server dies while two slots play: the service carries on on the null output, so the
// sounds keep their time, the key labels keep telling which slots play and the controls work;
// when the server comes back the sound moves back to it within a second, from where it was.
// A private PulseAudio server plays the device.
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include "board_fixture.h"
#include "skip_outside_ci.h"
#include "test_media.h"

namespace {

class DeviceLoss : public BoardTest {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("pulseaudio").isEmpty()) {
            SKIP_OUTSIDE_CI("pulseaudio is not installed (make deps installs it)");
        }
        if (!startServer()) SKIP_OUTSIDE_CI("the private PulseAudio server did not start");
        m_savedServer = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", ("unix:" + socket()).toLocal8Bit());
        BoardTest::SetUp();
        toolkit::SetBoardFolderForTests(QDir::currentPath());
        service = &useRealService(::mci::Service::Device);
        // The server is there and answers: any other output is the engine's choice, and wrong.
        ASSERT_EQ(output(), "pulseaudio") << "the service did not open the PulseAudio server it was given";
    }
    void TearDown() override {
        BoardTest::TearDown();
        pulse.kill();
        pulse.waitForFinished(3000);
        qputenv("PULSE_SERVER", m_savedServer);
    }
    QString socket() const { return m_runtime.filePath("native"); }
    bool startServer() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH"}) env.insert(name, m_runtime.path());
        pulse.setProcessEnvironment(env);
        pulse.setStandardErrorFile(QProcess::nullDevice());
        QFile::remove(socket());
        pulse.start(QStandardPaths::findExecutable("pulseaudio"),
                    {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
                     "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket(),
                     "--load=module-null-sink sink_name=lost"});
        if (!pulse.waitForStarted(5000)) return false;
        for (int waited = 0; !QFileInfo::exists(socket()) && waited < 5000; waited += 20) QThread::msleep(20);
        return QFileInfo::exists(socket());
    }
    std::string output() { return service ? service->engine().outputName() : ""; }
    void waitMs(int ms) {  // real time passing with the board's timer ticking
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            QThread::msleep(100);
            f->FadeTick();
        }
    }
    // Whether the slot's channel plays, next to whether its key label says so: the two agree.
    std::pair<bool, bool> state(int i) const { return {channels::MciIsPlaying(i), keyColor(i) == kLit}; }
    static std::int64_t positionMs(int channel) {
        char reply[32] = {};
        ::mci::SendString(("status A" + std::to_string(channel) + " position").c_str(), reply, sizeof reply, nullptr);
        return std::atoll(reply);
    }
    const std::pair<bool, bool> kPlaying{true, true}, kIdle{false, false};
    ::mci::Service* service = nullptr;
    QProcess pulse;

private:
    QTemporaryDir m_runtime;
    QByteArray m_savedServer;
};

TEST_F(DeviceLoss, SoundsCarryOnWithoutTheServerAndGoBackToItFromWhereTheyWere) {
    for (const auto& [name, seconds] : {std::pair{"long.wav", 4.0}, {"longer.wav", 30.0}})
        testmedia::WriteWav(path(name).toStdString(), 48000, 2, std::int64_t(seconds * 48000),
                            [](int, std::int64_t n) { return float(0.25 * std::sin(n * 2 * M_PI * 440 / 48000)); });
    start();
    drop(0, path("long.wav"));
    drop(1, path("longer.wav"));
    f->PlaySlot(0);
    f->PlaySlot(1);
    waitMs(800);
    ASSERT_EQ(state(0), kPlaying);

    pulse.kill();
    pulse.waitForFinished(3000);
    for (int waited = 0; output() != "null" && waited < 5000; waited += 100) waitMs(100);
    ASSERT_EQ(output(), "null") << "the lost device was not replaced";
    EXPECT_EQ(state(0), kPlaying);
    const std::int64_t before = positionMs(1);
    waitMs(500);
    EXPECT_NEAR(double(positionMs(1) - before), 500.0, 250.0);
    waitMs(4000);
    EXPECT_EQ(state(0), kIdle) << "four seconds are up";
    f->StopSlot(1);  // the controls still act
    f->PlaySlot(0);
    waitMs(200);
    EXPECT_EQ(std::pair(state(0), state(1)), std::pair(kPlaying, kIdle));

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

}  // namespace
