// The toolkit the board is built from: key preview and message boxes. Number text is pinned by
// the command strings and the list's bytes.
#include <QLineEdit>
#include <QMessageBox>

#include "board_fixture.h"
#include "toolkit/key_preview.h"

// The board sees each typed character once, before the focused control, which still gets it
// unless the board takes it; keys typed into another window or while disabled pass it by.
TEST_F(BoardTest, KeyPreviewSeesEachCharacterOnceBeforeTheFocusedControl) {
    QWidget window;
    auto* edit = new QLineEdit(&window);
    QString seen, textAtCall;
    bool consume = false;
    auto* preview = new toolkit::KeyPreview(&window, [&](QChar c) {
        seen += c, textAtCall += edit->text() + "|";  // what the box held when the board saw it
        return consume;
    });
    preview->setEnabled(true);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    edit->setFocus();
    QTest::keyClick(window.windowHandle(), Qt::Key_A);
    for (bool repeat : {false, true, true})
        QTest::simulateEvent(window.windowHandle(), true, Qt::Key_C, {}, "c", repeat);
    consume = true;
    for (Qt::Key key : {Qt::Key_B, Qt::Key_Escape, Qt::Key_F1, Qt::Key_Tab})
        QTest::keyClick(window.windowHandle(), key);
    EXPECT_EQ(seen, QString("acccb") + QChar(27));
    EXPECT_EQ(textAtCall, "|a|ac|acc|accc|accc|");
    EXPECT_EQ(edit->text(), "accc");

    QWidget other;
    auto* otherEdit = new QLineEdit(&other);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    otherEdit->setFocus();
    QTest::keyClick(other.windowHandle(), Qt::Key_D);
    preview->setEnabled(false);
    QTest::keyClick(window.windowHandle(), Qt::Key_E);
    EXPECT_EQ(seen, QString("acccb") + QChar(27));
    EXPECT_EQ(otherEdit->text() + edit->text(), "daccce");
}

// The board's two box styles; names and paths in a box are text, never markup; closing a
// question any way but OK counts as Cancel.
TEST(MsgBox, ShowsPlainTextInTheBoardsTwoStyles) {
    using MB = QMessageBox;
    const QString text = QStringLiteral("<b>x</b>.wavは扱えません");
    const struct {
        int style;
        std::function<void(MB*)> answer;
        MB::Icon icon;
        int buttons, result;
    } cases[] = {
        {toolkit::kStyleStop, [](MB* b) { b->button(MB::Ok)->click(); }, MB::Critical, 1, toolkit::kAnswerOk},
        {toolkit::kStyleQuestion, [](MB* b) { b->button(MB::Ok)->click(); }, MB::Question, 2, toolkit::kAnswerOk},
        {toolkit::kStyleQuestion, [](MB* b) { b->reject(); }, MB::Question, 2, toolkit::kAnswerCancel},
        {toolkit::kStyleQuestion, [](MB* b) { b->close(); }, MB::Question, 2, toolkit::kAnswerCancel},
    };
    for (const auto& c : cases) {
        std::optional<std::tuple<QString, QString, Qt::TextFormat, MB::Icon, qsizetype>> seen;
        ModalAnswer answer([&](QWidget* w) {
            auto* box = qobject_cast<MB*>(w);
            seen.emplace(box->windowTitle(), box->text(), box->textFormat(), box->icon(), box->buttons().size());
            if (c.style == toolkit::kStyleQuestion) {
                EXPECT_EQ(box->defaultButton(), box->button(MB::Cancel));
            }
            c.answer(box);
        });
        EXPECT_EQ(toolkit::MsgBox(nullptr, text, c.style), c.result);
        EXPECT_EQ(seen, std::tuple("Sorvane", text, Qt::PlainText, c.icon, qsizetype(c.buttons)));
    }
}
