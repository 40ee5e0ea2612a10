// The sound device goes away while slots play (the sound server dies): the service carries on
// on the null output, so the sounds keep their time, the key labels keep telling which slots
// play, and the controls keep working; when the server comes back the sound moves back to it
// and plays on from where it was. A private PulseAudio server plays the device.
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include "fault_fixture.h"

namespace {

class DeviceLoss : public BoardOnRealService {
protected:
    DeviceLoss() : BoardOnRealService(mci::Service::Device) {}

    void SetUp() override {
        if (QStandardPaths::findExecutable("pulseaudio").isEmpty()) GTEST_SKIP() << "no PulseAudio server to lose";
        if (!startServer()) GTEST_SKIP() << "PulseAudio does not start here";
        savedServer = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", ("unix:" + socket()).toLocal8Bit());
        BoardOnRealService::SetUp();
        if (outputName() != "pulseaudio") GTEST_SKIP() << "the service did not open the PulseAudio server";
    }

    QString socket() const { return runtime.filePath("native"); }

    bool startServer() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH"}) env.insert(name, runtime.path());
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

    void TearDown() override {
        if (servicePtr) BoardOnRealService::TearDown();
        pulse.kill();
        pulse.waitForFinished(3000);
        qputenv("PULSE_SERVER", savedServer);
    }

    std::string outputName() { return service().engine().outputName(); }

    // Lets real time pass with the board's timer ticking.
    void waitMs(int ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            QThread::msleep(100);
            board->FadeTick();
        }
    }

    QTemporaryDir runtime;
    QProcess pulse;
    QByteArray savedServer;
};

TEST_F(DeviceLoss, SoundsCarryOnOnTheNullOutputAndTheLabelsTellTheTruth) {
    WriteTone(pathOf("long.wav"), 4.0);
    WriteTone(pathOf("longer.wav"), 30.0);
    loadBoard();
    drop(0, pathOf("long.wav"));
    drop(1, pathOf("longer.wav"));
    board->PlaySlot(0);
    board->PlaySlot(1);
    waitMs(800);
    ASSERT_EQ(state(0), kPlaying);

    pulse.kill();
    pulse.waitForFinished(3000);
    for (int waited = 0; outputName() != "null" && waited < 5000; waited += 100) waitMs(100);
    ASSERT_EQ(outputName(), "null") << "the lost device was not replaced";

    // Both slots still play, their positions move on in real time, and slot 0 ends when its
    // four seconds are up; the controls still act.
    EXPECT_EQ(state(0), kPlaying);
    const std::int64_t before = positionMs(1);
    waitMs(500);
    EXPECT_NEAR(double(positionMs(1) - before), 500.0, 250.0);
    EXPECT_EQ(state(1), kPlaying);
    waitMs(4000);
    EXPECT_EQ(state(0), kIdle);
    board->StopSlot(1);
    waitMs(200);
    EXPECT_EQ(state(1), kIdle);
    board->PlaySlot(0);
    waitMs(200);
    EXPECT_EQ(state(0), kPlaying);

    // The server comes back: within a second the sound is there again, from where it was.
    ASSERT_TRUE(startServer());
    QElapsedTimer back;
    back.start();
    const std::int64_t beforeReturn = positionMs(0);
    while (outputName() != "pulseaudio" && back.elapsed() < 3000) waitMs(50);
    EXPECT_EQ(outputName(), "pulseaudio");
    EXPECT_LT(back.elapsed(), 1000);
    waitMs(300);
    EXPECT_EQ(state(0), kPlaying);
    EXPECT_NEAR(double(positionMs(0) - beforeReturn), double(back.elapsed()), 250.0);
    EXPECT_TRUE(messages.isEmpty());
}

}  // namespace
