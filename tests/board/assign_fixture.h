#pragma once
// Shared by the drop and menu tests: a fresh board on a recording media service, the
// program folder fixed, and message boxes and beeps answered and logged in one event list
// so that their order can be checked.
#include <QCheckBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QUrl>
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "board/window/form1.h"
#include "board/window/slot_label.h"
#include "recording_mci.h"
#include "toolkit/app_info.h"
#include "toolkit/colors.h"
#include "toolkit/message_box.h"

namespace assign_tests {

inline constexpr char kProgramFolder[] = "/home/u/board";

// Sends a drag-enter and a drop of `data` to slot i's name box, as a file manager's drop
// arrives. Returns whether the drop was accepted.
inline bool SendDrop(Form1& f, int i, const QMimeData& data) {
    const QPoint inside(5, 5);
    QDragEnterEvent enter(inside, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.Text1[i], &enter);
    QDropEvent drop(QPointF(inside), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(f.Text1[i], &drop);
    return drop.isAccepted();
}

inline void DropFiles(Form1& f, int i, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    data.setUrls(urls);
    SendDrop(f, i, data);
}

class BoardFixture : public ::testing::Test
{
protected:
    void SetUp() override {
        ResetSlotTable();
        toolkit::SetProgramFolderForTests(QString::fromLatin1(kProgramFolder));
        toolkit::SetBeepHook([this] { events.push_back("beep"); });
        toolkit::SetMsgBoxHook([this](const QString& text, int style) {
            events.push_back("box " + std::to_string(style) + " " + text.toStdString());
            if (answers.empty()) return toolkit::kAnswerCancel;
            const int a = answers.front();
            answers.pop_front();
            return a;
        });
        toolkit::SetOpenFolderHook([this](const QString& folder) {
            events.push_back("open folder " + folder.toStdString());
            return openFolderSucceeds;
        });
        f = std::make_unique<Form1>();
    }

    void TearDown() override {
        f.reset();
        toolkit::SetMsgBoxHook({});
        toolkit::SetBeepHook({});
        toolkit::SetOpenFolderHook({});
        toolkit::SetProgramFolderForTests({});
        ResetSlotTable();
    }

    // A fresh board and service between the cases of a table-driven test.
    void Restart() {
        TearDown();
        mci.clear();
        mci.open.clear();
        mci.playing.clear();
        mci.unopenable.clear();
        events.clear();
        answers.clear();
        openFolderSucceeds = true;
        SetUp();
    }

    // Gives slot i a sound the ordinary way, then forgets the commands and boxes it caused.
    void Assign(int i, const QString& path) {
        DropFiles(*f, i, {path});
        ASSERT_EQ(SlotFile(i).isEmpty(), false) << "could not assign " << path.toStdString();
        mci.clear();
        events.clear();
    }

    RecordingMci mci;
    std::unique_ptr<Form1> f;
    std::vector<std::string> events;  // "beep", "box <style> <text>", "open folder <path>"
    std::deque<int> answers;          // scripted answers to the boxes; Cancel when empty
    bool openFolderSucceeds = true;
};

// What a slot's controls show, for comparing a slot before and after.
struct SlotLooks {
    QString file, name, caption;
    std::uint32_t nameColor, keyColor;
    QString key;
    bool play, stop, fade, exclusive, bar;
    bool fadeTicked, exclusiveTicked;
    int barValue, volume;
    double start;
    bool operator==(const SlotLooks&) const = default;
};

inline SlotLooks LooksOf(const Form1& f, int i) {
    return {SlotFile(i), SlotName(i), f.Text1[i]->text(),
            toolkit::BackColor(f.Text1[i]), toolkit::BackColor(f.Label4[i]), f.Label4[i]->text(),
            f.Command1[i]->isEnabled(), f.Command2[i]->isEnabled(),
            f.Check1[i]->isEnabled(), f.Check2[i]->isEnabled(), f.HScroll1[i]->isEnabled(),
            f.Check1[i]->isChecked(), f.Check2[i]->isChecked(),
            f.HScroll1[i]->value(), SlotVolume(i), SlotStart(i)};
}

inline std::ostream& operator<<(std::ostream& os, const SlotLooks& l) {
    return os << "{file=" << l.file.toStdString() << " name=" << l.name.toStdString()
              << " caption=" << l.caption.toStdString() << std::hex << " nameColor=" << l.nameColor
              << " keyColor=" << l.keyColor << std::dec << " key=" << l.key.toStdString()
              << " enabled=" << l.play << l.stop << l.fade << l.exclusive << l.bar
              << " ticks=" << l.fadeTicked << l.exclusiveTicked << " bar=" << l.barValue
              << " volume=" << l.volume << " start=" << l.start << "}";
}

}  // namespace assign_tests
