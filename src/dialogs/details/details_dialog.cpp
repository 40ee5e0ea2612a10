// The details dialog's layout and its five buttons. Play, Stop and Test drive the slot's
// channel directly: unlike the board's Play they neither stop other slots nor set a volume.
#include "dialogs/details/details_dialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstdint>

#include "channels/mci_channels.h"
#include "text/number_text.h"
#include "toolkit/fonts.h"
#include "toolkit/tool_dialog.h"
#include "toolkit/twips.h"

namespace dialogs {

using toolkit::MakeDialogButton;
using toolkit::TwipsRect;

namespace {

constexpr int kClientWidth = 5955;   // twips
constexpr int kClientHeight = 2970;  // twips
constexpr double kTextPoints = 11.25;
constexpr double kPathPoints = 9.75;
constexpr double kMaxVolume = 1000;

// A caption that shrink-wraps its text from its top-left corner.
QLabel* MakeCaption(const QString& text, int left, int top, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(toolkit::GothicFont(kTextPoints, false));
    label->move(toolkit::Px(left), toolkit::Px(top));
    label->adjustSize();
    return label;
}

QLineEdit* MakeTextBox(const QString& text, QRect where, QWidget* parent) {
    auto* box = new QLineEdit(text, parent);
    box->setGeometry(where);
    box->setFont(toolkit::GothicFont(kTextPoints, false));
    return box;
}

}  // namespace

Form3::Form3(SlotTable& table, SlotIndex keyIndex, QWidget* parent)
    : QDialog(parent), m_slots(table), m_keyIndex(keyIndex) {
    buildLayout();
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form3::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form3::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form3::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form3::Command5_Click);
    Form_Load();
}

Form3::~Form3() = default;

void Form3::buildLayout() {
    toolkit::SetUpToolDialog(this, QStringLiteral("サウンドファイルの詳細"), kClientWidth, kClientHeight);

    Label1 = MakeCaption(QStringLiteral("表示名"), 105, 105, this);
    Text1 = MakeTextBox(QStringLiteral("Text1"), TwipsRect(105, 420, 4425, 330), this);
    Label2 = MakeCaption(QStringLiteral("ファイル名"), 105, 840, this);

    Label7 = new QLabel(QStringLiteral("Label7"), this);
    Label7->setGeometry(TwipsRect(105, 1155, 4425, 960));
    Label7->setFrameStyle(QFrame::Box | QFrame::Plain);
    Label7->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label7->setTextFormat(Qt::PlainText);  // a path is shown as it is stored, never as markup
    Label7->setWordWrap(true);
    Label7->setFont(toolkit::GothicFont(kPathPoints, false));

    Label3 = MakeCaption(QStringLiteral("長さ(秒）"), 105, 2205, this);
    Label4 = new QLabel(this);
    Label4->setGeometry(TwipsRect(105, 2520, 1590, 330));
    Label4->setFrameStyle(QFrame::Box | QFrame::Plain);
    Label4->setFont(toolkit::GothicFont(kTextPoints, false));

    Label5 = MakeCaption(QStringLiteral("開始位置(秒)"), 1785, 2205, this);
    Text2 = MakeTextBox(QStringLiteral("Text2"), TwipsRect(1785, 2520, 1590, 330), this);
    Label6 = MakeCaption(QStringLiteral("音量"), 3465, 2205, this);
    Text3 = MakeTextBox(QStringLiteral("Text3"), TwipsRect(3465, 2520, 1065, 330), this);

    Command3 = MakeDialogButton(QStringLiteral("Play"), TwipsRect(4725, 105, 1065, 435), this);
    Command4 = MakeDialogButton(QStringLiteral("Stop"), TwipsRect(4725, 630, 1065, 435), this);
    Command5 = MakeDialogButton(QStringLiteral("Test"), TwipsRect(4725, 1155, 1065, 435), this);
    Command1 = MakeDialogButton(QStringLiteral("決定"), TwipsRect(4725, 1890, 1065, 435), this);
    Command2 = MakeDialogButton(QStringLiteral("閉じる"), TwipsRect(4725, 2415, 1065, 435), this);

    // The labels take no focus; the name box comes first, then start, volume and buttons.
    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Text3);
    setTabOrder(Text3, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Command3);
    setTabOrder(Command3, Command4);
    setTabOrder(Command4, Command5);
    Text1->setFocus();
}

void Form3::Form_Load() {
    const SlotIndex k = m_keyIndex;
    Text1->setText(m_slots.SlotName[k]);
    Label7->setText(m_slots.SlotFile[k]);
    Label4->setText(text::NumberText(channels::MciGetLength(m_keyIndex)));
    Text3->setText(text::NumberText(m_slots.SlotVolume[k]));
    Text2->setText(QLatin1Char(' ') + text::NumberText(m_slots.SlotStart[k]).trimmed());
}

void Form3::Command1_Click() {
    const SlotIndex k = m_keyIndex;
    channels::MciStopSound(k);
    m_slots.SlotName[k] = Text1->text();
    // No range test: a start before 0 or past the end is the user's choice.
    m_slots.SlotStart[k] = text::ReadNumber(Text2->text());
    const double volume = text::RoundHalfEven(text::ReadNumber(Text3->text()));
    // A volume the bar cannot show is dropped quietly; the old one stays.
    if (volume >= 0 && volume <= kMaxVolume) m_slots.SlotVolume[k] = static_cast<std::int16_t>(volume);
    accept();
}

void Form3::Command2_Click() {
    reject();
}

void Form3::Command3_Click() {
    channels::MciPlayFrom(m_keyIndex, 0);
}

void Form3::Command4_Click() {
    channels::MciStopSound(m_keyIndex);
}

void Form3::Command5_Click() {
    // Tried out as typed, not stored.
    channels::MciPlayFrom(m_keyIndex, text::ReadNumber(Text2->text()));
}

void Form3::showEvent(QShowEvent* event) {
    // QDialog's own showEvent centres a dialog over its parent; this one is left where the
    // window system puts a new window, as the board has always opened it.
    QWidget::showEvent(event);
}

bool EditSoundDetails(QWidget* owner, SlotTable& table, SlotIndex keyIndex) {
    Form3 dialog(table, keyIndex, owner);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace dialogs
