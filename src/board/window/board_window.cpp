// The main window's fixed layout, its pop-up menu, and the wiring of each control's event
// to the board operation that handles it. Nothing here moves or resizes at run time.
#include "board/window/board_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include "board/window/slot_label.h"
#include "toolkit/app_info.h"
#include "toolkit/colors.h"
#include "toolkit/fonts.h"
#include "toolkit/key_preview.h"
#include "toolkit/popup_menu.h"
#include "toolkit/scroll_bar.h"
#include "toolkit/twips.h"

namespace board {

using toolkit::TwipsRect;

namespace {

constexpr int kClientWidth = 985;   // 14775 twips
constexpr int kClientHeight = 615;  // 9225 twips

constexpr std::uint32_t kStatusInitialColor = 0xC0FFFF;  // pale yellow until start-up ends
constexpr std::uint32_t kKeyLabelColor = 0xFFFFFF;

// A slot row's frame inside Frame2. Slot 0 starts a heading's height higher and is taller,
// so that the column headings fit above its controls.
QRect SlotFrameRect(int i) {
    const int row = i % 19;
    const int left = i < 19 ? 105 : 7350;
    const int top = i == 0 ? 210 : 315 + 420 * row;
    const int height = i == 0 ? 585 : (i <= 17 ? 480 : 420);
    return TwipsRect(left, top, 6975, height);
}

void SetSingleLineBorder(QFrame* frame) {
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    frame->setLineWidth(1);
}

}  // namespace

Form1::Form1(QWidget* parent) : QWidget(parent) {
    buildLayout();
    connectHandlers();
}

Form1::~Form1() = default;

void Form1::buildLayout() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(toolkit::AppTitle());
    // The board's own icon, not the application's: the dialogs and boxes show none.
    setWindowIcon(QIcon(QStringLiteral(":/icon.png")));
    setFixedSize(kClientWidth, kClientHeight);
    // Buttons, check boxes and the column headings use the window's own font; at this size
    // the headings fit the boxes they were measured for.
    setFont(toolkit::GothicFont(8.25, false));

    Image1 = new QLabel(this);
    Image1->setGeometry(TwipsRect(105, 105, 4380, 660));
    const QPixmap banner(QStringLiteral(":/banner.png"));
    if (!banner.isNull()) {
        Image1->setPixmap(banner);
        Image1->resize(banner.size());  // the picture decides the control's size
    }

    Label3 = new QLabel(QStringLiteral("初期化中"), this);
    Label3->setGeometry(TwipsRect(5760, 105, 2895, 375));
    SetSingleLineBorder(Label3);
    Label3->setAlignment(Qt::AlignCenter);
    Label3->setFont(toolkit::GothicFont(14.25, true));
    toolkit::SetBackColor(Label3, kStatusInitialColor);

    Command3 = new QPushButton(QStringLiteral("キー操作 ON/OFF"), this);
    Command3->setGeometry(TwipsRect(8715, 105, 1935, 375));

    Command4 = new QPushButton(QStringLiteral("全停止"), this);
    Command4->setGeometry(TwipsRect(12810, 105, 1815, 375));

    Frame2 = new QFrame(this);
    Frame2->setGeometry(TwipsRect(105, 630, 14520, 8430));
    Frame2->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Frame2->setLineWidth(1);

    // The column divider: a one-pixel vertical line from (7245, 240) to (7245, 8295).
    Line1 = new QFrame(Frame2);
    Line1->setFrameStyle(QFrame::VLine | QFrame::Plain);
    Line1->setLineWidth(1);
    Line1->setGeometry(QRect(toolkit::Px(7245), toolkit::Px(240), 1, toolkit::Px(8295) - toolkit::Px(240) + 1));

    for (SlotIndex i = 0; i < kSlotCount; ++i) {
        QFrame* frame = new QFrame(Frame2);
        frame->setFrameShape(QFrame::NoFrame);
        frame->setGeometry(SlotFrameRect(i));
        Frame1[i] = frame;

        const int dy = i == 0 ? 105 : 0;  // slot 0's controls sit below the headings

        SlotLabel* key = new SlotLabel(frame);
        key->setText(QStringLiteral("A"));
        key->setGeometry(TwipsRect(105, dy, 375, 375));
        SetSingleLineBorder(key);
        key->setAlignment(Qt::AlignCenter);
        key->setFont(toolkit::GothicFont(12, true));
        toolkit::SetBackColor(key, kKeyLabelColor);
        Label4[i] = key;

        SlotLabel* name = new SlotLabel(frame);
        name->setGeometry(TwipsRect(525, dy, 2115, 375));
        SetSingleLineBorder(name);
        name->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        name->setFont(toolkit::GothicFont(11.25, false));
        toolkit::SetBackColor(name, toolkit::kWindowBackground);
        name->setAcceptDrops(true);
        Text1[i] = name;

        Command1[i] = new QPushButton(QStringLiteral("Play"), frame);
        Command1[i]->setGeometry(TwipsRect(2730, dy, 615, 375));
        Command1[i]->setEnabled(false);

        Command2[i] = new QPushButton(QStringLiteral("Stop"), frame);
        Command2[i]->setGeometry(TwipsRect(3360, dy, 615, 375));
        Command2[i]->setEnabled(false);

        // The tick boxes carry no caption: each is only as wide as its box.
        Check1[i] = new QCheckBox(frame);
        Check1[i]->setGeometry(TwipsRect(4095, 105 + dy, 255, 255));
        Check2[i] = new QCheckBox(frame);
        Check2[i]->setGeometry(TwipsRect(4515, 105 + dy, 255, 255));

        HScroll1[i] = new toolkit::HScrollBar(0, 1000, 100, 400, frame);
        HScroll1[i]->setGeometry(TwipsRect(4830, 105 + dy, 2160, 255));
        HScroll1[i]->setValue(0);
        // The bar is a tab stop like the buttons, so its arrow keys can set the volume.
        HScroll1[i]->setFocusPolicy(Qt::StrongFocus);
    }

    // Column headings, only above slot 0.
    Label2[0] = new QLabel(QStringLiteral("Fade Clear"), Frame1[0]);
    Label2[0]->setGeometry(TwipsRect(3990, 0, 870, 270));
    Label2[1] = new QLabel(QStringLiteral("Volume"), Frame1[0]);
    Label2[1]->setGeometry(TwipsRect(5670, 0, 570, 180));
    // A heading lower than its text shows the text's top, not a band cut from its middle.
    Label2[0]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2[1]->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);

    // The slot pop-up: never shown as a menu bar, only at the pointer on a right click.
    mnu = new toolkit::PopupMenu(QStringLiteral("メニュー"), this);
    mnuDelSoundFile = mnu->addAction(QStringLiteral("サウンドの解除"));
    mnuOpenFolder = mnu->addAction(QStringLiteral("基本のフォルダを開く"));
    mnuSoundFile = mnu->addAction(QStringLiteral("サウンドの詳細"));
    mnuBlank = mnu->addSeparator();
    mnuAllClear = mnu->addAction(QStringLiteral("すべてのサウンドを解除"));
    mnuHotkey = mnu->addAction(QStringLiteral("ホットキーの変更"));

    // Tab order: the two top buttons, then slot by slot. Disabled controls are skipped.
    QWidget* previous = Command3;
    auto chain = [&previous](QWidget* next) {
        QWidget::setTabOrder(previous, next);
        previous = next;
    };
    chain(Command4);
    for (SlotIndex i = 0; i < kSlotCount; ++i) {
        chain(Command1[i]);
        chain(Command2[i]);
        chain(Check1[i]);
        chain(Check2[i]);
        chain(HScroll1[i]);
    }
}

void Form1::connectHandlers() {
    for (SlotIndex i = 0; i < kSlotCount; ++i) {
        connect(Command1[i], &QPushButton::clicked, this, [this, i] { PlaySlot(i); });
        connect(Command2[i], &QPushButton::clicked, this, [this, i] { StopSlot(i); });
        connect(HScroll1[i], &QScrollBar::valueChanged, this, [this, i] { ApplySlotVolume(i); });
        // A tick goes to the table, which the box then shows; ShowSlot's own ticks are not reported.
        connect(Check1[i], &QCheckBox::toggled, this, [this, i](bool on) {
            Slots.Fade[i] = on;
            ShowSlot(i);
        });
        connect(Check2[i], &QCheckBox::toggled, this, [this, i](bool on) {
            Slots.Exclusive[i] = on;
            ShowSlot(i);
        });
        connect(Text1[i], &SlotLabel::dropped, this, [this, i](const QMimeData* data) { DropOnNameBox(i, data); });
        connect(Text1[i], &SlotLabel::mousePressed, this,
                [this, i](Qt::MouseButton button) { SlotMouseDown(i, button); });
        connect(Label4[i], &SlotLabel::mousePressed, this,
                [this, i](Qt::MouseButton button) { SlotMouseDown(i, button); });
    }
    connect(Command3, &QPushButton::clicked, this, [this] { ToggleKeyOperation(); });
    connect(Command4, &QPushButton::clicked, this, [this] { StopAllSlots(); });
    connect(Timer1, &QTimer::timeout, this, [this] { FadeTick(); });

    connect(mnuDelSoundFile, &QAction::triggered, this, [this] { mnuDelSoundFile_Click(); });
    connect(mnuOpenFolder, &QAction::triggered, this, [this] { mnuOpenFolder_Click(); });
    connect(mnuSoundFile, &QAction::triggered, this, [this] { mnuSoundFile_Click(); });
    connect(mnuAllClear, &QAction::triggered, this, [this] { mnuAllClear_Click(); });
    connect(mnuHotkey, &QAction::triggered, this, [this] { mnuHotkey_Click(); });
}

// Closing the window is the only way the board ends; the exit steps run exactly once.
void Form1::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

}  // namespace board
