// The hotkey dialog's layout, its key capture and its three buttons.
#include "dialogs/hotkey/hotkey_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "slots/key_character.h"
#include "text/number_text.h"
#include "toolkit/colors.h"
#include "toolkit/fonts.h"
#include "toolkit/key_preview.h"
#include "toolkit/message_box.h"
#include "toolkit/tool_dialog.h"
#include "toolkit/twips.h"

namespace dialogs {

using toolkit::MakeDialogButton;
using toolkit::TwipsRect;

namespace {

constexpr int kClientWidth = 4455;                 // twips
constexpr int kClientHeight = 2715;                // twips
constexpr std::uint32_t kFreeKeyColor = 0xFFFFFF;  // white
constexpr std::uint32_t kUsedKeyColor = 0x0000FF;  // red

}  // namespace

Form2::Form2(QString& hotKey, const QString& hotKey0, SlotIndex keyIndex, QWidget* parent)
    : QDialog(parent), m_hotKey(hotKey), m_hotKey0(hotKey0), m_keyIndex(keyIndex) {
    buildLayout();
    auto* preview = new toolkit::KeyPreview(this, [this](QChar typed) { return CaptureKey(typed); });
    preview->setEnabled(true);
    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form2::Command3_Click);
    Form_Load();
}

Form2::~Form2() = default;

void Form2::buildLayout() {
    // Label1, Label3 and the buttons take the dialog font.
    toolkit::SetUpToolDialog(this, QStringLiteral("キー操作設定"), kClientWidth, kClientHeight);

    Label1 = new QLabel(QStringLiteral("Label1"), this);
    Label1->setGeometry(TwipsRect(120, 120, 4215, 255));
    Label1->setAlignment(Qt::AlignCenter);

    Label2 = new QLabel(QStringLiteral("A"), this);
    Label2->setGeometry(TwipsRect(1920, 480, 615, 495));
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setTextFormat(Qt::PlainText);  // any typed character is shown as itself
    Label2->setFrameStyle(QFrame::Box | QFrame::Plain);
    Label2->setFont(toolkit::GothicFont(18, true));
    toolkit::SetBackColor(Label2, kFreeKeyColor);
    // The key box holds the focus when the dialog opens, so a blank or Enter typed there
    // (which the capture lets through) does nothing instead of pressing a button.
    Label2->setFocusPolicy(Qt::StrongFocus);

    Command3 = MakeDialogButton(QStringLiteral("標準"), TwipsRect(840, 1080, 855, 375), this);
    Command1 = MakeDialogButton(QStringLiteral("決定"), TwipsRect(1800, 1080, 855, 375), this);
    Command2 = MakeDialogButton(QStringLiteral("中止"), TwipsRect(2760, 1080, 855, 375), this);

    Label4 = new QLabel(this);
    Label4->setGeometry(TwipsRect(630, 1470, 3375, 330));
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label4->setFont(toolkit::GothicFont(9.75, false));

    Label3 = new QLabel(QStringLiteral("Label3"), this);
    Label3->setGeometry(TwipsRect(105, 1995, 4215, 570));
    Label3->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label3->setWordWrap(true);
    Label3->setTextFormat(Qt::PlainText);

    // Of the controls, only the key box and the buttons take the focus, in this order.
    setTabOrder(Label2, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    Label2->setFocus();
}

void Form2::Form_Load() {
    const QString& keys = m_hotKey;
    Label1->setText(QStringLiteral("No.") + text::NumberText(m_keyIndex) + QStringLiteral(" 操作キーの設定"));

    QString inUse = QStringLiteral("既設定済  ");
    for (const QChar key : keys) {
        inUse += key;
        inUse += QLatin1Char(' ');
    }
    Label3->setText(inUse);

    Label2->setText(keys.mid(m_keyIndex, 1));
}

bool Form2::CaptureKey(QChar typed) {
    const QChar key = slots::FoldKeyCharacter(typed);
    // The blank and control characters go on to the focused control (Tab moves the focus,
    // Escape closes); so does anything the key string cannot hold as one byte.
    if (!slots::IsCapturableKey(key)) return false;

    Label2->setText(QString(key));
    if (m_hotKey.contains(key)) {
        // Only a warning: "決定" stores the character all the same.
        Label4->setText(QStringLiteral("その文字は既に設定されています"));
        toolkit::SetBackColor(Label2, kUsedKeyColor);
        toolkit::Beep();
    } else {
        Label4->setText(QString());
        toolkit::SetBackColor(Label2, kFreeKeyColor);
    }
    return true;
}

void Form2::Command1_Click() {
    QString keys = m_hotKey;
    const int at = m_keyIndex;
    const QString captured = Label2->text();
    // Same length always: one character replaced, and only where the string has one.
    if (!captured.isEmpty() && at >= 0 && at < keys.size()) keys[at] = captured.at(0);
    accept();
    m_hotKey = keys;
}

void Form2::Command2_Click() {
    reject();
}

void Form2::Command3_Click() {
    m_hotKey = m_hotKey0;
    accept();
}

void EditHotkey(QWidget* owner, QString& hotKey, const QString& hotKey0, SlotIndex keyIndex) {
    Form2 dialog(hotKey, hotKey0, keyIndex, owner);
    dialog.exec();
}

}  // namespace dialogs
