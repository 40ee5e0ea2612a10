// The two dialogs, opened from the slot pop-up as the user opens them, and what the board keeps
// of what was typed into them.
#include <QLineEdit>

#include "board_fixture.h"
#include "dialogs/details/details_dialog.h"
#include "dialogs/hotkey/hotkey_dialog.h"

namespace {

// A name with a quote before a comma, typed into the details dialog, and the key " typed into
// the hotkey dialog (a blank after it is no key) come back run after run and move no other record.
TEST_F(BoardTest, QuotesTypedIntoTheDialogsSurviveTheList) {
    const QByteArray others = EmptyLines(1, 5) + ListLine(5, "5", "b", "b.wav", "0", "700", "1") + EmptyLines(6);
    write(listPath(), ListLine(0, "0", "a", "a.wav", "0", "800") + others);
    start();
    f->Slots.SelectedSlot = 0;
    ModalAnswer details([](QWidget* w) {
        qobject_cast<Form3*>(w)->Text1->setText(QStringLiteral("Hi\", he said"));
        qobject_cast<Form3*>(w)->Command1->click();
    });
    f->mnuSoundFile_Click();
    ModalAnswer hotkey([](QWidget* w) {
        for (const char* key : {"\"", " "})
            QTest::sendKeyEvent(QTest::Click, w->windowHandle(), Qt::Key_unknown, key, {});
        qobject_cast<Form2*>(w)->Command1->click();
    });
    f->mnuHotkey_Click();
    f->close();
    const QByteArray list = ListLine(0, "\"\"", "Hi\"\", he said", "a.wav", "0", "800") + others;
    EXPECT_EQ(read(listPath()), list);
    for (int run = 0; run < 2; ++run) {
        start();
        EXPECT_EQ(f->Text1[0]->text() + f->Label4[0]->text(), QStringLiteral("Hi\", he said\""));
        f->close();
        EXPECT_EQ(read(listPath()), list);
    }
}

}  // namespace
