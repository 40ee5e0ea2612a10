// The toolkit the board is built from: number text, key preview, message boxes.
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <cmath>

#include "board_fixture.h"
#include "toolkit/key_preview.h"
#include "toolkit/number_text.h"

using toolkit::NumberText;
using toolkit::ReadNumber;

// Every number the board shows or stores goes through these: a leading blank for the sign, no
// leading zero, 15 significant digits, the exponent form beyond, whatever the locale.
TEST(NumberText, WritesTheBoardsFormAndReadsItBack) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const struct { double value; const char* text; } cases[] = {
        {0, " 0"}, {-0.0, " 0"}, {800, " 800"}, {-2.5, "-2.5"}, {0.5, " .5"}, {-0.5, "-.5"}, {0.1 + 0.2, " .3"},
        {123456789012345, " 123456789012345"}, {1e15, " 1E+15"}, {0.0001, " .0001"}, {0.00001, " 1E-05"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NumberText(c.value), QString::fromLatin1(c.text)) << c.text;
        EXPECT_EQ(ReadNumber(NumberText(c.value)), c.value == 0.1 + 0.2 ? 0.3 : c.value) << c.text;
    }
    const struct { const char* text; double value; } reads[] = {
        {"12abc", 12}, {"abc", 0}, {"", 0}, {"5.", 5}, {" - 1 2 . 5 ", -12.5}, {"1.5E-2", 0.015}, {"2E+x", 2},
        {"1.2.3", 1.2}, {"--5", 0}, {"12,5", 12}, {"1e999", 1.7976931348623157e308}, {"1e-999", 0},
    };
    for (const auto& c : reads) EXPECT_DOUBLE_EQ(ReadNumber(QString::fromLatin1(c.text)), c.value) << c.text;
    for (const auto& [value, rounded] : {std::pair{2.5, 2.0}, {3.5, 4.0}, {-2.5, -2.0}, {2.5001, 3.0}, {-0.4, 0.0}})
        EXPECT_EQ(toolkit::RoundHalfEven(value), rounded) << value;
    QLocale::setDefault(QLocale::c());
}

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
    for (bool repeat : {false, true, true}) QTest::simulateEvent(window.windowHandle(), true, Qt::Key_C, {}, "c", repeat);
    consume = true;
    for (Qt::Key key : {Qt::Key_B, Qt::Key_Escape, Qt::Key_F1, Qt::Key_Tab}) QTest::keyClick(window.windowHandle(), key);
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
    const struct { int style; std::function<void(MB*)> answer; MB::Icon icon; int buttons, result; } cases[] = {
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
