#pragma once
// A board on the real media service, run in a private folder that is both the current directory
// and the program folder, with message boxes recorded and answered OK. Drops and key colours are
// the board tests' own; sound files come from the shared test media.
#include <cmath>

#include "../board/board_fixture.h"
#include "channels/mci_channels.h"
#include "mci/mci_service.h"
#include "test_media.h"

// 16-bit stereo 48 kHz, a steady 440 Hz tone at a quarter of full scale.
inline void WriteTone(const QString& path, double seconds) {
    testmedia::WriteWav(path.toStdString(), 48000, 2, std::int64_t(seconds * 48000),
                        [](int, std::int64_t f) { return float(0.25 * std::sin(f * 2 * M_PI * 440 / 48000)); });
}
inline void WriteBytes(const QString& path, const QByteArray& bytes) {
    testmedia::WriteText(path.toStdString(), bytes.toStdString());
}
inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whether a slot's channel plays, next to the colour its key label shows: the two must agree.
using SlotState = std::pair<bool, std::uint32_t>;
inline const SlotState kPlaying{true, kLit}, kIdle{false, kWhite};

class BoardOnRealService : public ::testing::Test {
protected:
    explicit BoardOnRealService(mci::Service::OutputChoice output = mci::Service::Offline) : output(output) {}

    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        servicePtr = std::make_unique<mci::Service>(output);
        previousDir = QDir::currentPath();
        QDir::setCurrent(folder.path());
        toolkit::SetProgramFolderForTests(folder.path());
        toolkit::SetMsgBoxHook([this](const QString& text, int) { messages << text; return 1; });
        toolkit::SetBeepHook([] {});
        mci::InstallService(servicePtr.get());
        channels::SetMciSendFunction(&mci::SendString);
    }
    void TearDown() override {
        board.reset();
        mci::SendString("close all", nullptr, 0, nullptr);
        channels::SetMciSendFunction(nullptr), mci::InstallService(nullptr), servicePtr.reset();
        toolkit::SetMsgBoxHook(nullptr), toolkit::SetBeepHook(nullptr), toolkit::SetProgramFolderForTests({});
        QDir::setCurrent(previousDir);
    }

    QString pathOf(const QString& name) const { return folder.filePath(name); }
    void loadBoard() {
        board = std::make_unique<Form1>();
        board->Form_Load();
    }
    void drop(int i, const QString& path) { DropFiles(*board, i, {path}); }
    bool assigned(int i) const { return !board->Slots.SlotFile[i].isEmpty() && board->Command1[i]->isEnabled(); }
    SlotState state(int i) const { return {channels::MciIsPlaying(i), toolkit::BackColor(board->Label4[i])}; }
    std::int64_t positionMs(int channel) const {
        char reply[32] = {};
        mci::SendString(("status A" + std::to_string(channel) + " position").c_str(), reply, sizeof reply, nullptr);
        return std::atoll(reply);
    }
    mci::Service& service() { return *servicePtr; }

    QTemporaryDir folder;
    QString previousDir;
    const mci::Service::OutputChoice output;
    std::unique_ptr<mci::Service> servicePtr;  // made in SetUp, so a test can prepare the device first
    std::unique_ptr<Form1> board;
    QStringList messages;
};
