#pragma once
// A fresh board on the recording media service, with helpers that give a slot a sound the
// way start-up does (file, volume on the bar, the two boxes) without touching a real file.
#include <QCheckBox>
#include <QPushButton>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "board/slot_table.h"
#include "board/window/form1.h"
#include "board/window/slot_label.h"
#include "recording_mci.h"
#include "toolkit/colors.h"

class PlaybackBoard : public ::testing::Test
{
protected:
    using Commands = std::vector<std::string>;

    void SetUp() override {
        ResetSlotTable();
        board = std::make_unique<Form1>();
        mci.clear();
        mci.playing.clear();
        board->HotKey = board->HotKey0 = QStringLiteral("0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUVW");
    }
    void TearDown() override { board.reset(); }

    // Gives slot i a sound and its controls the assigned look; forgets the commands it sent.
    void Assign(int i, int volume = 800, bool fade = false, bool exclusive = false,
                double start = 0) {
        SlotFile(i) = QStringLiteral("tone%1.wav").arg(i);
        SlotName(i) = QStringLiteral("tone%1").arg(i);
        SlotStart(i) = start;
        SlotVolume(i) = static_cast<std::int16_t>(volume);
        board->Command1[i]->setEnabled(true);
        board->Command2[i]->setEnabled(true);
        board->Check1[i]->setChecked(fade);
        board->Check2[i]->setChecked(exclusive);
        board->Check1[i]->setEnabled(true);
        board->Check2[i]->setEnabled(true);
        board->HScroll1[i]->setEnabled(true);
        board->HScroll1[i]->setValue(volume);
        mci.clear();
    }

    int Bar(int i) const { return board->HScroll1[i]->value(); }
    std::uint32_t KeyColor(int i) const { return toolkit::BackColor(board->Label4[i]); }

    // The volumes sent to channel i, in order.
    std::vector<int> VolumesSent(int i) const {
        const std::string prefix = "setaudio A" + std::to_string(i) + " volume to ";
        std::vector<int> out;
        for (const auto& c : mci.commands())
            if (c.rfind(prefix, 0) == 0) out.push_back(std::stoi(c.substr(prefix.size())));
        return out;
    }

    RecordingMci mci;  // outlives the board
    std::unique_ptr<Form1> board;
};
