// Message boxes: the board's two styles, the title, the answers, and text shown as typed.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

#include "toolkit/message_box.h"

namespace {

using MB = QMessageBox;

struct Looks {
    QString title, text;
    Qt::TextFormat format;
    MB::Icon icon;
    QList<int> buttons;  // standard buttons, sorted
    int defaultButton;
    bool operator==(const Looks&) const = default;
};

Looks LooksOf(QMessageBox* box) {
    Looks looks{box->windowTitle(), box->text(), box->textFormat(), box->icon(), {},
                box->standardButton(box->defaultButton())};
    for (QAbstractButton* b : box->buttons()) looks.buttons << box->standardButton(b);
    std::sort(looks.buttons.begin(), looks.buttons.end());
    return looks;
}

// Runs `answer` on the box once it is up; a fallback closes any box left open so that a
// failing test cannot hang.
int ShowAndAnswer(const QString& text, int style, std::function<void(QMessageBox*)> answer) {
    QTimer::singleShot(0, [answer] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) answer(box);
    });
    QObject fallbackScope;
    QTimer::singleShot(3000, &fallbackScope, [] {
        if (QWidget* w = QApplication::activeModalWidget()) w->close();
    });
    return toolkit::MsgBox(nullptr, text, style);
}

}  // namespace

TEST(MsgBox, ShowsTheBoardsTwoStylesAndClosingAQuestionCountsAsCancel) {
    const QString text = QStringLiteral("<b>x</b>.wavは扱えません");  // a file name, never markup
    const Looks stop{"Sorvane", text, Qt::PlainText, MB::Critical, {MB::Ok}, MB::Ok};
    const Looks question{"Sorvane", text, Qt::PlainText, MB::Question, {MB::Ok, MB::Cancel}, MB::Cancel};
    const auto click = [](MB::StandardButton which) { return [which](MB* box) { box->button(which)->click(); }; };
    const struct { int style; Looks looks; std::function<void(MB*)> answer; int result; } cases[] = {
        {toolkit::kStyleStop, stop, click(MB::Ok), toolkit::kAnswerOk},
        {toolkit::kStyleQuestion, question, click(MB::Ok), toolkit::kAnswerOk},
        {toolkit::kStyleQuestion, question, click(MB::Cancel), toolkit::kAnswerCancel},
        {toolkit::kStyleQuestion, question, [](MB* box) { box->reject(); }, toolkit::kAnswerCancel},  // Escape
        {toolkit::kStyleQuestion, question, [](MB* box) { box->close(); }, toolkit::kAnswerCancel},   // close box
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Looks seen{};
        const int result = ShowAndAnswer(text, cases[i].style, [&](MB* box) {
            seen = LooksOf(box);
            cases[i].answer(box);
        });
        EXPECT_TRUE(seen == cases[i].looks) << "case " << i;
        EXPECT_EQ(result, cases[i].result) << "case " << i;
    }
}
