#pragma once
// Form1: the board's main window. The constructor builds the fixed layout (key labels read
// "A", the status box "初期化中", everything disabled); Form_Load then runs start-up and
// closing the window runs the exit steps. It owns the slot table. The slot operations are
// members so that buttons, keys and the timer reach the same code; each topic lives in its own
// source file under board/ (startup, exit, playback, keyboard, assign, slot_look, dialog_menu).
// User-interface thread only.
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>

#include "slots/slot_table.h"

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QMenu;
class QMimeData;
class QPushButton;
class QScrollBar;
class QTimer;
namespace toolkit {
class KeyPreview;
}

namespace board {

using slots::kSlotCount;
using slots::SlotIndex;
using slots::SlotTable;

class SlotLabel;

class Form1 : public QWidget {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // --- The slot table and the members the dialogs work on ---
    SlotTable Slots;
    QString HotKey;          // 38 characters; character i+1 (from 1) is slot i's key
    QString HotKey0;         // the default keys
    SlotIndex KeyIndex = 0;  // the slot a dialog works on

    // --- Controls (layout fixed at construction) ---
    QLabel* Image1 = nullptr;
    QLabel* Label3 = nullptr;         // status box
    QPushButton* Command3 = nullptr;  // key operation on/off
    QPushButton* Command4 = nullptr;  // stop all
    QFrame* Frame2 = nullptr;
    QFrame* Line1 = nullptr;
    QTimer* Timer1 = nullptr;
    std::array<QLabel*, 2> Label2{};  // column headings in slot 0's frame
    std::array<QFrame*, kSlotCount> Frame1{};
    std::array<SlotLabel*, kSlotCount> Label4{};      // key labels
    std::array<SlotLabel*, kSlotCount> Text1{};       // name boxes (labels that accept drops)
    std::array<QPushButton*, kSlotCount> Command1{};  // Play
    std::array<QPushButton*, kSlotCount> Command2{};  // Stop
    std::array<QCheckBox*, kSlotCount> Check1{};      // fade out on Stop
    std::array<QCheckBox*, kSlotCount> Check2{};      // exclusive play
    std::array<QScrollBar*, kSlotCount> HScroll1{};   // volume 0..1000

    QMenu* mnu = nullptr;  // the slot pop-up menu
    QAction* mnuDelSoundFile = nullptr;
    QAction* mnuOpenFolder = nullptr;
    QAction* mnuSoundFile = nullptr;
    QAction* mnuBlank = nullptr;
    QAction* mnuAllClear = nullptr;
    QAction* mnuHotkey = nullptr;

    // --- Start-up and exit (board/startup.cpp, board/exit.cpp) ---
    void Form_Load();
    // The assigned and the empty set-up of a slot; a drop and a release use them too.
    void AssignedSetUp(SlotIndex i, bool fade, bool exclusive);
    void EmptySetUp(SlotIndex i);
    // The slot's look (board/slot_look.cpp), derived from the slot table alone: captions,
    // colours, enabled controls, the empty slot's ticks, and whether its key label shows the
    // sound playing. Every path that changes a slot ends here; the bar's value is not a look
    // but the slot's volume, and is set by the paths themselves.
    void ShowSlot(SlotIndex i, bool sounding = false);
    // Stops and closes every channel, then writes the list; tells the user when it cannot.
    void Form_Unload();

    // --- Playback (board/playback.cpp) ---
    void PlaySlot(SlotIndex i);
    void StopSlot(SlotIndex i);
    void StopAllSlots();
    void ApplySlotVolume(SlotIndex i);
    void FadeTick();

    // --- Keyboard operation (board/keyboard.cpp) ---
    void BoardKeyPress(int k);
    void KeyOperationOn();
    void KeyOperationOff();
    void ToggleKeyOperation();
    bool KeyPreviewOn() const;

    // --- Assigning and releasing (board/assign.cpp) ---
    void DropOnNameBox(SlotIndex i, const QMimeData* data);
    void SlotMouseDown(SlotIndex i, Qt::MouseButton button);
    void ReleaseSlot(SlotIndex i);
    void mnuDelSoundFile_Click();
    void mnuAllClear_Click();
    void mnuOpenFolder_Click();

    // --- The two dialogs' menu items (board/dialog_menu.cpp) ---
    void mnuHotkey_Click();
    void mnuSoundFile_Click();
    void KeepVolumeThroughFade(SlotIndex k, std::int16_t shown);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildLayout();      // board/window/board_window.cpp
    void connectHandlers();  // board/window/board_window.cpp

    toolkit::KeyPreview* m_keyPreview = nullptr;  // a child of the window, which owns it
    bool m_unloaded = false;
    // Why the list must not be written over at exit (a damaged list that could not be
    // copied first); the exit then keeps the board elsewhere. Empty when it may.
    QString m_listWriteBlocked;
};

}  // namespace board
