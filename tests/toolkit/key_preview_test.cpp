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
    QString seen;               // characters the handler got, in order
    QString editTextAtCall;     // what the focused box held when the handler ran
    bool consume = false;
    toolkit::KeyPreview* preview = nullptr;

    Board() {
        new QVBoxLayout(window.get());
        window->layout()->addWidget(edit);
        preview = new toolkit::KeyPreview(window.get(), [this](QChar c) {
            seen += c;
            editTextAtCall = edit->text();
            return consume;
        });
        preview->setEnabled(true);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        edit->setFocus();
    }
};

}  // namespace

TEST(KeyPreview, SeesEachCharacterOnceBeforeTheFocusedControl) {
    Board board;
    QTest::keyClick(board.window->windowHandle(), Qt::Key_A, Qt::NoModifier);
    EXPECT_EQ(board.seen, "a");
    EXPECT_EQ(board.editTextAtCall, "");  // the handler ran first
    EXPECT_EQ(board.edit->text(), "a");   // and the box still got the key
}

TEST(KeyPreview, ConsumedCharactersNeverReachTheControl) {
    Board board;
    board.consume = true;
    QTest::keyClick(board.window->windowHandle(), Qt::Key_B, Qt::NoModifier);
    EXPECT_EQ(board.seen, "b");
    EXPECT_EQ(board.edit->text(), "");
}

TEST(KeyPreview, ReportsTypedCharactersOnly) {
    const struct {
        Qt::Key key;
        QString text;
        QString expected;
    } cases[] = {
        {Qt::Key_Escape, QString(), QString(QChar(27))},
        {Qt::Key_F1, QString(), QString()},
        {Qt::Key_Right, QString(), QString()},
        {Qt::Key_Tab, QString(), QString()},
        {Qt::Key_Asterisk, "*", "*"},
        {Qt::Key_unknown, QStringLiteral("あ"), QStringLiteral("あ")},
    };
    for (const auto& c : cases) {
        Board board;
        board.consume = true;
        if (c.text.isEmpty())
            QTest::keyClick(board.window->windowHandle(), c.key, Qt::NoModifier);
        else
            QTest::sendKeyEvent(QTest::Click, board.window->windowHandle(), c.key, c.text, {});
        EXPECT_EQ(board.seen, c.expected) << int(c.key);
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
