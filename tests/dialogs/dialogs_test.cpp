// The two dialogs, opened from the slot pop-up as the user opens them: what they show, what
// each way of closing stores, and what the board does with it at once.
#include <QLabel>
#include <QLineEdit>

#include "board_fixture.h"
#include "dialogs/details/details_dialog.h"
#include "dialogs/hotkey/hotkey_dialog.h"

namespace {

void TypeText(QWidget* dialog, const QString& text) {
    QTest::sendKeyEvent(QTest::Click, dialog->windowHandle(), Qt::Key_unknown, text, {});
}

// Slot 3 holds "bell" at volume 500 and plays. Type a name, start and volume, click one button
// (none: Escape), close with 閉じる if still open; then the commands sent and what the board
// shows. 決定 stores all three, a volume outside 0..1000 after rounding halves to even is dropped.
TEST_F(BoardTest, TheDetailsDialogShowsTheSlotAndEachButtonDoesItsPart) {
    const auto apply = &Form3::Command1;
    const Commands stop{"stop A3"};
    const struct {
        const char* what;
        QPushButton* Form3::*button;
        QString start, volume;
        Commands sent;
        double storedStart;
        int volumeAfter;
    } cases[] = {
        {"決定", apply, " 1.5", "300", {"stop A3", "setaudio A3 volume to  300"}, 1.5, 300},
        {"a half goes to the even one", apply, "12abc", "1000.5", {"stop A3", "setaudio A3 volume to  1000"}, 12, 1000},
        {"above the range is dropped", apply, "-2", "1000.6", stop, -2, 500},
        {"Play from the very beginning", &Form3::Command3, "1.5", "100", {"seek A3 to  0", "play A3"}, 0.25, 500},
        {"Test from the typed start", &Form3::Command5, "1.5", "100", {"seek A3 to  1500", "play A3"}, 0.25, 500},
        {"Stop", &Form3::Command4, "1.5", "100", stop, 0.25, 500},
        {"Escape", nullptr, "1.5", "100", {}, 0.25, 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        f = std::make_unique<Form1>();
        fake.open = {3}, fake.lengthReply = {{3, "123456"}};
        f->Slots.SlotFile[3] = "bell.wav", f->Slots.SlotName[3] = "bell", f->Slots.SlotStart[3] = 0.25;
        f->HScroll1[3]->setValue(500);
        f->Slots.SelectedSlot = 3;
        fake.calls.clear();
        QStringList shown;
        ModalAnswer answer([&](QWidget* w) {
            auto* d = qobject_cast<Form3*>(w);
            shown = {d->windowTitle(), d->Text1->text(), d->Label7->text(),
                     d->Text3->text(), d->Text2->text(), d->Label4->text()};
            d->Text1->setText("chime"), d->Text2->setText(c.start), d->Text3->setText(c.volume);
            c.button ? (d->*c.button)->click() : QTest::keyClick(w->windowHandle(), Qt::Key_Escape);
            if (d->isVisible()) d->Command2->click();
        });
        f->mnuSoundFile_Click();
        EXPECT_EQ(shown, (QStringList{"サウンドファイルの詳細", "bell", "bell.wav", " 500", " .25", " 123.456"}));
        EXPECT_EQ(fake.actions(), c.sent);
        EXPECT_EQ(f->Slots.SlotStart[3], c.storedStart);
        EXPECT_EQ(f->Text1[3]->text(), c.button == apply ? "chime" : "bell");
        EXPECT_EQ(f->HScroll1[3]->value(), c.volumeAfter);
    }
    f->Slots.SelectedSlot = 4;  // an empty slot has no details
    ModalAnswer none([](QWidget* w) { w->close(); });
    f->mnuSoundFile_Click();
    EXPECT_FALSE(none.shown);
}

// The hotkey dialog on slot 0, which has a sound, opened from the pop-up: it captures one
// single-byte character of the code page, folded to upper case, wherever the focus is; a key in
// use warns in red with a beep; nothing typed closes it. Only 決定 stores the key and 標準 the
// defaults; the key labels show the keys at once, and slot 0's key plays it.
TEST_F(BoardTest, TheHotkeyDialogCapturesSingleByteKeysAndOnlyItsButtonsStoreThem) {
    const QString defaults = QString::fromLatin1(kDefaultKeys), before = "0!" + defaults.mid(2);
    const auto with = [&](QChar key) { return QString(before).replace(0, 1, key); };
    const auto ok = [](Form2* d) { d->Command1->click(); };
    const struct {
        QStringList typed;
        QString shown;
        bool warned;
        int beeps;
        std::function<void(Form2*)> close;
        QString after;
    } cases[] = {
        {{"z"}, "Z", false, 0, ok, with('Z')},
        {{"q"}, "Q", true, 1, ok, with('Q')},
        {{"a", "x"}, "X", false, 1, ok, with('X')},
        {{QStringLiteral("ｱ")}, QStringLiteral("ｱ"), false, 0, ok, with(QChar(0xFF71))},
        {{" ", "\r", QStringLiteral("あ"), QStringLiteral("é")}, "0", false, 0, ok, before},
        {{"x"}, "X", false, 0, [](Form2* d) { d->Command2->click(); }, before},  // 中止
        {{"x"}, "X", false, 0, [](Form2* d) { QTest::keyClick(d->windowHandle(), Qt::Key_Escape); }, before},
        {{"x"}, "X", false, 0, [](Form2* d) { d->Command3->click(); }, defaults},  // 標準
    };
    f->Slots.SlotFile[0] = "bell.wav", fake.open = {0};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.join("+").toStdString());
        f->HotKey = before, f->Slots.SelectedSlot = 0, events.clear();
        QStringList shown;
        ModalAnswer answer([&](QWidget* w) {
            auto* d = qobject_cast<Form2*>(w);
            for (const QString& t : c.typed)
                t == "\r" ? QTest::keyClick(w->windowHandle(), Qt::Key_Return) : TypeText(w, t);
            shown = {d->Label1->text(), d->Label2->text(), d->Label4->text(),
                     QString::number(toolkit::BackColor(d->Label2), 16)};
            EXPECT_TRUE(d->isVisible()) << "no typed key may close the dialog";
            c.close(d);
        });
        f->mnuHotkey_Click();
        EXPECT_EQ(shown, (QStringList{"No. 0 操作キーの設定", c.shown, c.warned ? "その文字は既に設定されています" : "",
                                      c.warned ? "ff" : "ffffff"}));
        EXPECT_EQ(int(events.size()), c.beeps) << "a beep with each warning";
        EXPECT_EQ(f->HotKey, c.after);
        QString labels;
        for (int i = 0; i < kSlotCount; ++i) labels += f->Label4[i]->text();
        EXPECT_EQ(labels, c.after);
        fake.calls.clear(), fake.playing.clear();
        f->BoardKeyPress(c.after[0].toLower().unicode());
        EXPECT_EQ(fake.actions(), (Commands{"seek A0 to  0", "play A0"}));
    }
}

}  // namespace
