#pragma once
// Form1: the board's main window. The constructor builds the fixed layout (key labels read
// "A", the status box "初期化中", everything disabled); Form_Load then runs start-up and
// closing the window runs the exit steps. The slot operations are members so that buttons,
// keys, the timer and the dialogs all reach the same code; each topic lives in its own
// source file under board/ (startup, exit, playback, keyboard, assign) and dialogs/.
// User-interface thread only.
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>

#include "board/slot_table.h"

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QMenu;
class QMimeData;
class QPushButton;
class QScrollBar;
class QTimer;
class SlotLabel;
namespace toolkit { class KeyPreview; }

class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // --- Public members read and written by the dialogs ---
    QString HotKey;        // 38 characters; character i+1 (from 1) is slot i's key
    QString HotKey0;       // the default keys
    std::int16_t KeyIndex = 0;  // the slot a dialog works on

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
    std::array<SlotLabel*, kSlotCount> Label4{};    // key labels
    std::array<SlotLabel*, kSlotCount> Text1{};     // name boxes (labels that accept drops)
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
    // The assigned and the empty look of a slot; a drop and a release use them too.
    void AssignedSetUp(int i, int fadeValue, int exclusiveValue);
    void EmptySetUp(int i);
    // Stops and closes every channel, then writes the list; tells the user when it cannot.
    void Form_Unload();

    // --- Playback (board/playback.cpp) ---
    void PlaySlot(std::int16_t i);
    void StopSlot(std::int16_t i);
    void StopAllSlots();
    void ApplySlotVolume(std::int16_t i);
    void FadeTick();

    // --- Keyboard operation (board/keyboard.cpp) ---
    void BoardKeyPress(int k);
    void KeyOperationOn();
    void KeyOperationOff();
    void ToggleKeyOperation();
    bool KeyPreviewOn() const;

    // --- Assigning and releasing (board/assign.cpp) ---
    void DropOnNameBox(std::int16_t i, const QMimeData* data);
    void SlotMouseDown(std::int16_t i, Qt::MouseButton button);
    void ReleaseSlot(std::int16_t i);
    void mnuDelSoundFile_Click();
    void mnuAllClear_Click();
    void mnuOpenFolder_Click();

    // --- Dialogs (dialogs/hotkey, dialogs/details) ---
    void mnuHotkey_Click();
    void mnuSoundFile_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildLayout();      // board/window/form1.cpp
    void connectHandlers();  // board/window/form1.cpp

    toolkit::KeyPreview* m_keyPreview = nullptr;  // a child of the window, which owns it
    bool m_unloaded = false;
    // Why the list must not be written over at exit (a damaged list that could not be
    // copied first); the exit then keeps the board elsewhere. Empty when it may.
    QString m_listWriteBlocked;
};
