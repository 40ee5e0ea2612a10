#pragma once
// Shared by the fault tests: a private working folder (the board's current directory and
// program folder), sound files made on the spot, a board on the real media service, and
// message boxes captured instead of shown.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "board/slot_table.h"
#include "board/window/form1.h"
#include "board/window/slot_label.h"
#include "channels/mci_channels.h"
#include "mci/mci_service.h"
#include "toolkit/app_info.h"
#include "toolkit/message_box.h"

namespace faults {

// 16-bit stereo 48 kHz PCM, a steady tone at a quarter of full scale.
inline QByteArray ToneWav(double seconds) {
    const int frames = int(seconds * 48000);
    QByteArray bytes;
    const auto put16 = [&](int v) { bytes.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); };
    const auto put32 = [&](unsigned v) { put16(int(v & 0xffff)); put16(int(v >> 16)); };
    const unsigned dataBytes = unsigned(frames) * 4;
    bytes.append("RIFF"); put32(36 + dataBytes); bytes.append("WAVEfmt ");
    put32(16); put16(1); put16(2); put32(48000); put32(48000 * 4); put16(4); put16(16);
    bytes.append("data"); put32(dataBytes);
    for (int f = 0; f < frames; ++f) {
        const int v = int(8192 * std::sin(f * 2 * M_PI * 440 / 48000));
        put16(v); put16(v);
    }
    return bytes;
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Largest absolute sample in `frames` frames rendered from an offline service.
inline float RenderPeak(mci::Service& service, int frames) {
    std::vector<float> block(256 * 2);
    float peak = 0;
    for (int done = 0; done < frames; done += 256) {
        service.renderOffline(block.data(), 256);
        for (float x : block) {
            EXPECT_TRUE(std::isfinite(x));
            peak = std::max(peak, std::fabs(x));
        }
    }
    return peak;
}

// A board whose channels reach a real media service, run in a private folder that is both
// the current directory and the program folder. Message boxes are recorded and answered OK.
class BoardOnRealService : public ::testing::Test {
protected:
    explicit BoardOnRealService(mci::Service::OutputChoice output = mci::Service::Offline) : output(output) {}

    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        servicePtr = std::make_unique<mci::Service>(output);
        previousDir = QDir::currentPath();
        QDir::setCurrent(folder.path());
        toolkit::SetProgramFolderForTests(folder.path());
        toolkit::SetMsgBoxHook([this](const QString& text, int) {
            messages << text;
            return 1;  // OK
        });
        toolkit::SetBeepHook([] {});
        mci::InstallService(servicePtr.get());
        channels::SetMciSendFunction(&mci::SendString);
        ResetSlotTable();
    }

    void TearDown() override {
        board.reset();
        mci::SendString("close all", nullptr, 0, nullptr);
        channels::SetMciSendFunction(nullptr);
        mci::InstallService(nullptr);
        servicePtr.reset();
        toolkit::SetMsgBoxHook(nullptr);
        toolkit::SetBeepHook(nullptr);
        toolkit::SetProgramFolderForTests(QString());
        QDir::setCurrent(previousDir);
    }

    QString pathOf(const QString& name) const { return folder.filePath(name); }

    Form1& loadBoard() {
        board = std::make_unique<Form1>();
        board->Form_Load();
        return *board;
    }

    // Drops one file on slot i's name box, as a file manager does.
    void drop(int i, const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        board->DropOnNameBox(std::int16_t(i), &data);
    }

    bool assigned(int i) const { return !SlotFile(i).isEmpty() && board->Command1[i]->isEnabled(); }

    QTemporaryDir folder;
    QString previousDir;
    const mci::Service::OutputChoice output;
    std::unique_ptr<mci::Service> servicePtr;  // made in SetUp, so a test can prepare the device first
    mci::Service& service() { return *servicePtr; }
    std::unique_ptr<Form1> board;
    QStringList messages;
};

}  // namespace faults
