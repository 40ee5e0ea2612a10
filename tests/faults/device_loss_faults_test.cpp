// The sound device goes away while slots play (the sound server dies): the service carries on
// on the null output, so the sounds keep their time, the key labels keep telling which slots
// play, and the controls keep working. A private PulseAudio server plays the device.
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
        const QString server = QStandardPaths::findExecutable("pulseaudio");
        if (server.isEmpty()) GTEST_SKIP() << "no PulseAudio server to lose";
        const QString socket = runtime.filePath("native");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH"}) env.insert(name, runtime.path());
        pulse.setProcessEnvironment(env);
        pulse.setStandardErrorFile(QProcess::nullDevice());
        pulse.start(server, {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
                             "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket,
                             "--load=module-null-sink sink_name=lost"});
        if (!pulse.waitForStarted(5000)) GTEST_SKIP() << "PulseAudio does not start here";
        for (int waited = 0; !QFileInfo::exists(socket) && waited < 5000; waited += 20) QThread::msleep(20);
        if (!QFileInfo::exists(socket)) GTEST_SKIP() << "PulseAudio did not open its socket";
        QThread::msleep(200);

        savedDriver = qgetenv("SDL_AUDIODRIVER");
        qputenv("SDL_AUDIODRIVER", "pulseaudio");
        qputenv("PULSE_SERVER", ("unix:" + socket).toLocal8Bit());
        BoardOnRealService::SetUp();
        if (outputName() != "device") GTEST_SKIP() << "the service did not open the PulseAudio device";
    }

    void TearDown() override {
        if (servicePtr) BoardOnRealService::TearDown();
        pulse.kill();
        pulse.waitForFinished(3000);
        qputenv("SDL_AUDIODRIVER", savedDriver);
        qunsetenv("PULSE_SERVER");
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
    QByteArray savedDriver;
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
    EXPECT_TRUE(messages.isEmpty());
}

}  // namespace
