// Message boxes: the board's two styles, the title, the answers, and the test hooks.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>
#include <functional>

#include "toolkit/message_box.h"

namespace {

// Runs `answer` on the box once it is up; a fallback closes any box left open so that a
// failing test cannot hang.
int ShowAndAnswer(const QString& text, int style, std::function<void(QMessageBox*)> answer) {
    QTimer::singleShot(0, [answer] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) answer(box);
    });
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [] {
        if (QWidget* w = QApplication::activeModalWidget()) w->close();
    });
    fallback.start(3000);
    return toolkit::MsgBox(nullptr, text, style);
}

}  // namespace

TEST(MsgBox, ShowsTheBoardsTwoStyles) {
    const struct {
        int style;
        QMessageBox::Icon icon;
        QList<QMessageBox::StandardButton> buttons;
        QMessageBox::StandardButton defaultButton;
    } cases[] = {
        {toolkit::kStyleStop, QMessageBox::Critical, {QMessageBox::Ok}, QMessageBox::Ok},
        {toolkit::kStyleQuestion, QMessageBox::Question, {QMessageBox::Ok, QMessageBox::Cancel},
         QMessageBox::Cancel},
    };
    for (const auto& c : cases) {
        bool inspected = false;
        const int answer = ShowAndAnswer(QStringLiteral("全てクリアしますか？"), c.style, [&](QMessageBox* box) {
            inspected = true;
            EXPECT_EQ(box->windowTitle(), "Sorvane");
            EXPECT_EQ(box->text(), QStringLiteral("全てクリアしますか？"));
            EXPECT_EQ(box->icon(), c.icon);
            QList<QMessageBox::StandardButton> buttons;
            for (QAbstractButton* b : box->buttons()) buttons << box->standardButton(b);
            std::sort(buttons.begin(), buttons.end());
            auto expected = c.buttons;
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(buttons, expected);
            EXPECT_EQ(box->defaultButton(), box->button(c.defaultButton));
            box->button(QMessageBox::Ok)->click();
        });
        EXPECT_TRUE(inspected) << c.style;
        EXPECT_EQ(answer, toolkit::kAnswerOk) << c.style;
    }
}

TEST(MsgBox, ClosingAQuestionCountsAsCancel) {
    const std::function<void(QMessageBox*)> ways[] = {
        [](QMessageBox* box) { box->button(QMessageBox::Cancel)->click(); },
        [](QMessageBox* box) { box->reject(); },  // Escape
        [](QMessageBox* box) { box->close(); },   // the window's close box
    };
    for (const auto& way : ways)
        EXPECT_EQ(ShowAndAnswer("?", toolkit::kStyleQuestion, way), toolkit::kAnswerCancel);
}

TEST(MsgBox, HooksAnswerInsteadOfTheBoxAndTheBeep) {
    QString seenText;
    int seenStyle = 0;
    toolkit::SetMsgBoxHook([&](const QString& text, int style) {
        seenText = text;
        seenStyle = style;
        return toolkit::kAnswerCancel;
    });
    EXPECT_EQ(toolkit::MsgBox(nullptr, "x", toolkit::kStyleQuestion), toolkit::kAnswerCancel);
    EXPECT_EQ(seenText, "x");
    EXPECT_EQ(seenStyle, toolkit::kStyleQuestion);
    toolkit::SetMsgBoxHook({});

    int beeps = 0;
    toolkit::SetBeepHook([&] { ++beeps; });
    toolkit::Beep();
    EXPECT_EQ(beeps, 1);
    toolkit::SetBeepHook({});
}
