// The two dialogs, opened from the slot pop-up as the user opens them: what each shows, what
// typing and each way of closing keep, what the board then shows, and the command strings the
// details dialog sends.
#include <QLineEdit>
#include <tuple>

#include "board_fixture.h"
#include "dialogs/details/details_dialog.h"
#include "dialogs/hotkey/hotkey_dialog.h"

namespace {

using namespace dialogs;

// Types each character on the dialog's window, as the keyboard delivers it.
void Type(QWidget* dialog, const QString& characters) {
    for (const QChar c : characters) {
        Qt::Key key = Qt::Key_unknown;
        if (c == u'\r') key = Qt::Key_Return;
        if (c == u'\t') key = Qt::Key_Tab;
        if (c == u'\b') key = Qt::Key_Backspace;
        if (c == u'\x1b') key = Qt::Key_Escape;
        QTest::sendKeyEvent(QTest::Click, dialog->windowHandle(), key, QString(c), {});
    }
}

// Does what a user does in a dialog, step by step: a button's caption clicks that button,
// "close box" closes the window, "Text2=2.5" selects all in that box of the details dialog and
// types over it, and anything else is typed on the window ("\x1b" is Escape).
void Use(QWidget* dialog, const QStringList& steps) {
    auto* details = qobject_cast<Form3*>(dialog);
    for (const QString& step : steps) {
        const QString box = step.section(u'=', 0, 0);
        QPushButton* button = nullptr;
        for (QPushButton* b : dialog->findChildren<QPushButton*>())
            if (b->text() == step) button = b;
        if (button) {
            button->click();
        } else if (step == "close box") {
            dialog->close();
        } else if (details && box.startsWith("Text")) {
            QLineEdit* text = box == "Text1" ? details->Text1 : box == "Text2" ? details->Text2 : details->Text3;
            text->selectAll();
            QTest::keyClick(text, Qt::Key_Delete);
            QTest::keyClicks(text, step.mid(box.size() + 1));
        } else {
            Type(dialog, step);
        }
    }
}

const QString kDefaults = QString::fromLatin1(kDefaultKeys);
const QString kWarning = QStringLiteral("その文字は既に設定されています");

QString WithKey(QString keys, int slot, char key) {
    keys[slot] = QLatin1Char(key);
    return keys;
}

// What the hotkey dialog captures and refuses, what it warns of, and what each way of closing
// stores. However it closed, the board's 38 key labels show HotKey again.
TEST_F(BoardTest, TheHotkeyDialogCapturesOneKeyAndEachWayOfClosingStoresWhatItShould) {
    const QString changed = WithKey(WithKey(kDefaults, 0, 'Q'), 37, 'Z');
    // What, the slot, HotKey before, the steps, Label2 once closed, whether the last key typed is
    // some slot's key (a warning), the beeps, HotKey after.
    const std::tuple<const char*, int, QString, QStringList, QString, bool, int, QString> cases[] = {
        // clang-format off
        {"y folds to Y, nobody's key", 5, kDefaults, {"y", "決定"}, "Y", false, 0, WithKey(kDefaults, 5, 'Y')},
        {"the slot's own key warns", 15, kDefaults, {"a", "決定"}, "A", true, 1, kDefaults},
        {"another slot's key warns; 決定 stores it all the same", 0, kDefaults, {"5", "決定"}, "5", true, 1,
         WithKey(kDefaults, 0, '5')},
        {"a free key after a warning clears it", 15, kDefaults, {"ax", "決定"}, "X", false, 1,
         WithKey(kDefaults, 15, 'X')},
        {"the blank, Enter, Tab and Backspace are not captured", 3, kDefaults, {"y \r\t\b", "決定"}, "Y", false, 0,
         WithKey(kDefaults, 3, 'Y')},
        {"keys outside the defaults, the quote too; the last typed counts", 37, kDefaults, {"!$\"", "決定"}, "\"",
         false, 0, WithKey(kDefaults, 37, '"')},
        {"characters that are not one byte in CP932 are refused", 2, kDefaults, {QStringLiteral("zあé"), "決定"}, "Z",
         false, 0, WithKey(kDefaults, 2, 'Z')},
        {"nothing typed: 決定 keeps the slot's key", 0, changed, {"決定"}, "Q", false, 0, changed},
        {"標準 puts every default back, the captured key dropped", 4, changed, {"y", "標準"}, "Y", false, 0, kDefaults},
        {"中止 stores nothing", 4, kDefaults, {"y", "中止"}, "Y", false, 0, kDefaults},
        {"Escape stores nothing and is not captured", 4, kDefaults, {"y", "\x1b"}, "Y", false, 0, kDefaults},
        {"the close box stores nothing", 4, kDefaults, {"y", "close box"}, "Y", false, 0, kDefaults},
        // clang-format on
    };
    // The beep comes after the warning and the red, and says what the dialog showed then.
    Form2* dialog = nullptr;
    toolkit::SetBeepHook([&] {
        events.push_back("beep over " + dialog->Label4->text().toStdString() +
                         QString::asprintf(" on %06x", toolkit::BackColor(dialog->Label2)).toStdString());
    });
    for (const auto& [what, slot, before, steps, shown, warned, beeps, after] : cases) {
        SCOPED_TRACE(what);
        f->HotKey = before;
        for (SlotLabel* label : f->Label4) label->setText(QStringLiteral("?"));  // not yet redrawn
        f->Slots.SelectedSlot = SlotIndex(slot);
        events.clear();
        QString title;
        QString listed;
        ModalAnswer answer([&](QWidget* w) {
            dialog = qobject_cast<Form2*>(w);
            title = dialog->Label1->text();
            listed = dialog->Label3->text();
            Use(dialog, steps);
            EXPECT_FALSE(dialog->isVisible()) << "still open";
            EXPECT_EQ(dialog->Label2->text(), shown);
            EXPECT_EQ(dialog->Label4->text(), warned ? kWarning : QString());
            EXPECT_EQ(toolkit::BackColor(dialog->Label2), warned ? 0x0000FFu : kWhite);
        });
        f->mnuHotkey_Click();
        ASSERT_TRUE(answer.shown);
        EXPECT_EQ(title, QStringLiteral("No. %1 操作キーの設定").arg(slot));
        QString inUse = QStringLiteral("既設定済  ");
        for (const QChar key : before) inUse += QString(key) + u' ';
        EXPECT_EQ(listed, inUse);
        EXPECT_EQ(events, Commands(std::size_t(beeps), "beep over " + kWarning.toStdString() + " on 0000ff"));
        EXPECT_EQ(f->HotKey, after);
        QString labels;
        for (const SlotLabel* label : f->Label4) labels += label->text();
        EXPECT_EQ(labels, after);
    }
}

// The details dialog of slot 3 (fx/bell.wav as "bell", 123.456 s long, start -1.5, volume 500,
// exclusive) shows the slot as stored, numbers as the board writes them. What the user does in it
// while slot 5 plays: what is stored, what the board then shows, and the commands sent. On a slot
// without a sound the menu item opens nothing.
TEST_F(BoardTest, TheDetailsDialogStoresOnlyWhenAppliedAndPlaysWithoutTouchingOtherSlots) {
    const struct {
        const char* what;
        QStringList steps;
        Commands sent;
        double start;
        int volume;
        QString name = "bell";
        std::set<int> playing = {5};
    } cases[] = {
        // clang-format off
        {"the name as typed; .25", {"Text1=  Hi\", he said ", "Text2=.25", "Text3=300", "決定"},
         {"stop A3", "setaudio A3 volume to  300"}, 0.25, 300, "  Hi\", he said "},
        {"an empty name; 0.25; 1000.4 rounds to 1000", {"Text1=", "Text2=0.25", "Text3=1000.4", "決定"},
         {"stop A3", "setaudio A3 volume to  1000"}, 0.25, 1000, ""},
        {"12abc reads 12; 1000.5 halves to 1000", {"Text2=12abc", "Text3=1000.5", "決定"},
         {"stop A3", "setaudio A3 volume to  1000"}, 12, 1000},
        {"abc reads 0; 1000.6 rounds to 1001, dropped", {"Text2=abc", "Text3=1000.6", "決定"}, {"stop A3"}, 0, 500},
        {"a negative start kept; -0.4 rounds to 0", {"Text2=-2", "Text3=-0.4", "決定"},
         {"stop A3", "setaudio A3 volume to  0"}, -2, 0},
        {"-0.5 halves to 0", {"Text3=-0.5", "決定"}, {"stop A3", "setaudio A3 volume to  0"}, -1.5, 0},
        {"2.5 halves to 2", {"Text3=2.5", "決定"}, {"stop A3", "setaudio A3 volume to  2"}, -1.5, 2},
        {"-1 dropped", {"Text3=-1", "決定"}, {"stop A3"}, -1.5, 500},
        {"1E10 dropped", {"Text3=1E10", "決定"}, {"stop A3"}, -1.5, 500},
        {"an empty volume reads 0", {"Text3=", "決定"}, {"stop A3", "setaudio A3 volume to  0"}, -1.5, 0},
        {"Play from 0; 閉じる stores and stops nothing", {"Play", "Text1=x", "Text2=7", "Text3=300", "閉じる"},
         {"seek A3 to  0", "play A3"}, -1.5, 500, "bell", {3, 5}},
        {"Test from the start typed, not stored", {"Text2=2.5", "Test", "Stop", "閉じる"},
         {"seek A3 to  2500", "play A3", "stop A3"}, -1.5, 500},
        {"Test, then 決定 stops it and stores the start", {"Text2=2.5", "Test", "決定"},
         {"seek A3 to  2500", "play A3", "stop A3"}, 2.5, 500},
        {"the close box stores nothing", {"Text1=x", "Text3=300", "close box"}, {}, -1.5, 500},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        f = std::make_unique<Form1>();
        drop(3, "/home/u/board/fx/bell.wav");
        drop(5, "/home/u/board/fx/horn.wav");
        fake.length[3] = "123456";
        f->Slots.SlotStart[3] = -1.5;
        f->HScroll1[3]->setValue(500);
        f->Check2[3]->setChecked(true);
        f->Command1[5]->click();
        fake.calls.clear();
        f->Slots.SelectedSlot = 3;
        ModalAnswer answer([&](QWidget* w) {
            auto* d = qobject_cast<Form3*>(w);
            EXPECT_EQ(d->Text1->text(), "bell");
            EXPECT_EQ(d->Label7->text(), "fx/bell.wav");
            EXPECT_EQ(d->Label4->text(), " 123.456");
            EXPECT_EQ(d->Text2->text(), " -1.5");
            EXPECT_EQ(d->Text3->text(), " 500");
            Use(w, c.steps);
        });
        f->mnuSoundFile_Click();
        EXPECT_TRUE(answer.shown);
        EXPECT_EQ(fake.actions(), c.sent);
        EXPECT_EQ(f->Slots.SlotName[3], c.name);
        EXPECT_EQ(f->Slots.SlotStart[3], c.start);
        EXPECT_EQ(f->Slots.SlotVolume[3], c.volume);
        EXPECT_EQ(f->Text1[3]->text(), c.name);
        EXPECT_EQ(bar(3), c.volume);
        EXPECT_EQ(fake.volume[3], c.volume);
        EXPECT_EQ(fake.playing, c.playing);
    }
    fake.calls.clear();
    f->Slots.SelectedSlot = 4;
    ModalAnswer none([](QWidget* w) { w->close(); });
    f->mnuSoundFile_Click();
    EXPECT_FALSE(none.shown);
    EXPECT_EQ(fake.calls, Commands{});
}

}  // namespace
