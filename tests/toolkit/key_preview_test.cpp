// Key preview: each typed character reaches the board's handler once, before the focused
// control, and only when it was typed into the board's own window.
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

#include "toolkit/key_preview.h"

namespace {

struct Board {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QLineEdit* edit = new QLineEdit(window.get());
    QString seen;            // characters the handler got, in order
    QString editTextAtCall;  // what the focused box held when the handler ran
    bool consume = false;
    toolkit::KeyPreview* preview = new toolkit::KeyPreview(window.get(), [this](QChar c) {
        seen += c;
        editTextAtCall = edit->text();
        return consume;
    });

    Board() {
        new QVBoxLayout(window.get());
        window->layout()->addWidget(edit);
        preview->setEnabled(true);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        edit->setFocus();
    }
};

}  // namespace

TEST(KeyPreview, SeesEachTypedCharacterOnceBeforeTheFocusedControl) {
    // text: what the key types, when not its own. Compared: what the handler saw | the box's text
    // when the handler ran (empty: it ran first) | the box's text after.
    const struct { Qt::Key key; QString text; bool consume; QString seen, editText; } cases[] = {
        {Qt::Key_A, {}, false, "a", "a"},  // the box still gets it, after the handler
        {Qt::Key_B, {}, true, "b", ""},    // consumed: it never reaches the box
        {Qt::Key_Escape, {}, true, QString(QChar(27)), ""},
        {Qt::Key_F1, {}, true, {}, ""},
        {Qt::Key_Right, {}, true, {}, ""},
        {Qt::Key_Tab, {}, true, {}, ""},
        {Qt::Key_Asterisk, "*", true, "*", ""},
        {Qt::Key_unknown, QStringLiteral("あ"), true, QStringLiteral("あ"), ""},
    };
    for (const auto& c : cases) {
        Board board;
        board.consume = c.consume;
        if (c.text.isEmpty())
            QTest::keyClick(board.window->windowHandle(), c.key, Qt::NoModifier);
        else
            QTest::sendKeyEvent(QTest::Click, board.window->windowHandle(), c.key, c.text, {});
        EXPECT_EQ(board.seen + "|" + board.editTextAtCall + "|" + board.edit->text(), c.seen + "||" + c.editText)
            << int(c.key);
    }
}

TEST(KeyPreview, AutoRepeatedPressesAreEachOneCharacter) {
    Board board;
    for (int i = 0; i < 3; ++i)
        QTest::simulateEvent(board.window->windowHandle(), true, Qt::Key_C, {}, "c", i > 0);
    QTest::simulateEvent(board.window->windowHandle(), false, Qt::Key_C, {}, "c", false);
    EXPECT_EQ(board.seen, "ccc");
}

TEST(KeyPreview, IgnoresOtherWindowsAndTheDisabledState) {
    Board board;
    QWidget dialog;
    auto* dialogEdit = new QLineEdit(&dialog);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialogEdit->setFocus();
    QTest::keyClick(dialog.windowHandle(), Qt::Key_D, Qt::NoModifier);
    EXPECT_EQ(board.seen, "");
    EXPECT_EQ(dialogEdit->text(), "d");

    board.preview->setEnabled(false);
    QTest::keyClick(board.window->windowHandle(), Qt::Key_E, Qt::NoModifier);
    EXPECT_EQ(board.seen, "");
    EXPECT_EQ(board.edit->text(), "e");
}
