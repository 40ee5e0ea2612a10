#include "toolkit/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "toolkit/app_info.h"

namespace toolkit {

namespace {
MsgBoxHook& BoxHook() {
    static MsgBoxHook hook;
    return hook;
}
std::function<void()>& BeepHook() {
    static std::function<void()> hook;
    return hook;
}

QMessageBox::Icon IconOf(int style) {
    switch (style & 0x70) {
        case 0x10:
            return QMessageBox::Critical;
        case 0x20:
            return QMessageBox::Question;
        case 0x30:
            return QMessageBox::Warning;
        case 0x40:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}
}  // namespace

int MsgBox(QWidget* parent, const QString& text, int style) {
    if (BoxHook()) return BoxHook()(text, style);

    QMessageBox box(parent);
    box.setWindowTitle(AppTitle());
    box.setTextFormat(Qt::PlainText);  // names, keys and paths are shown as typed, never as markup
    box.setText(text);
    box.setIcon(IconOf(style));
    QPushButton* ok = box.addButton(QMessageBox::Ok);
    QPushButton* cancel = nullptr;
    if ((style & 0x0F) == 1) {
        cancel = box.addButton(QMessageBox::Cancel);
        box.setEscapeButton(cancel);
        // 0x100 makes the second button the default, so Enter does not confirm a deletion.
        box.setDefaultButton((style & 0x300) == 0x100 ? cancel : ok);
    } else {
        box.setEscapeButton(ok);
        box.setDefaultButton(ok);
    }
    box.exec();
    return box.clickedButton() == ok ? kAnswerOk : kAnswerCancel;
}

void Beep() {
    if (BeepHook()) {
        BeepHook()();
        return;
    }
    QApplication::beep();
}

void SetMsgBoxHook(MsgBoxHook hook) {
    BoxHook() = std::move(hook);
}

void SetBeepHook(std::function<void()> hook) {
    BeepHook() = std::move(hook);
}

}  // namespace toolkit
