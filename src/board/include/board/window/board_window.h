#pragma once
// Form1: the board's main window. The constructor builds the fixed layout (key labels read
// "A", the status box "初期化中", everything disabled); Form_Load then runs start-up and
// closing the window runs the exit steps. It owns the slot table, which holds every slot's
// state; its controls show the table (ShowSlot) and write to it only through their handlers.
// The slot operations are members so that buttons, keys and the timer reach the same code; each
// topic lives in its own source file under board/ (startup, exit, playback, keyboard, assign,
// menu, slot_look). User-interface thread only.
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
    QString HotKey;          // the play keys: character i+1 (from 1) plays slot i
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
    // Opens the sound the table holds for slot i and gives the slot its assigned set-up, or the
    // empty one when it holds none or its sound does not open (its record then kept).
    void SetUpSlot(SlotIndex i);
    // The assigned and the empty set-up of a slot, from what the table holds; a drop and a
    // release use them too. The empty set-up empties the slot's entry first.
    void AssignedSetUp(SlotIndex i);
    void EmptySetUp(SlotIndex i);
    // Shows slot i as the table holds it (board/slot_look.cpp): its key, name, ticks, colours,
    // enabled controls and tooltip. Every path that changes a slot writes the table, then ends
    // here. The bar's value is not shown here: setting it is the way a volume reaches the channel
    // (ApplySlotVolume), so the paths that change a volume set it themselves.
    void ShowSlot(SlotIndex i);
    // The tick's way: shows slot i only if the table holds something other than what ShowSlot
    // last showed of it, so a waiting board touches no control.
    void ShowSlotIfChanged(SlotIndex i);
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
    void ReleaseSlot(SlotIndex i);

    // --- The slot pop-up menu and its items (board/menu.cpp) ---
    void SlotMouseDown(SlotIndex i, Qt::MouseButton button);
    void mnuDelSoundFile_Click();
    void mnuOpenFolder_Click();
    void mnuSoundFile_Click();
    void mnuAllClear_Click();
    void mnuHotkey_Click();
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
