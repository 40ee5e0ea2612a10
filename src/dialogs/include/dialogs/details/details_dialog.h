#pragma once
// Form3: the sound details dialog. It shows one slot's file and length (the slot given by
// the board's KeyIndex), edits its display name, start position and volume, and can play
// the sound on trial. Typed values live only in the text boxes until "決定" stores them in
// the slot table; nothing is stored otherwise. Created afresh for each opening.
// User-interface thread only.
#include <QDialog>

#include "slots/slot_table.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace dialogs {

using slots::SlotIndex;
using slots::SlotTable;

class Form3 : public QDialog {
    Q_OBJECT
public:
    // `table` is the board's slot table, `keyIndex` its KeyIndex.
    Form3(SlotTable& table, SlotIndex keyIndex, QWidget* parent = nullptr);
    ~Form3() override;

    QLabel* Label1 = nullptr;         // "表示名"
    QLabel* Label2 = nullptr;         // "ファイル名"
    QLabel* Label3 = nullptr;         // "長さ(秒）"
    QLabel* Label4 = nullptr;         // the sound's length
    QLabel* Label5 = nullptr;         // "開始位置(秒)"
    QLabel* Label6 = nullptr;         // "音量"
    QLabel* Label7 = nullptr;         // the sound file's path
    QLineEdit* Text1 = nullptr;       // display name
    QLineEdit* Text2 = nullptr;       // start position, seconds
    QLineEdit* Text3 = nullptr;       // volume
    QPushButton* Command1 = nullptr;  // "決定"
    QPushButton* Command2 = nullptr;  // "閉じる"
    QPushButton* Command3 = nullptr;  // "Play"
    QPushButton* Command4 = nullptr;  // "Stop"
    QPushButton* Command5 = nullptr;  // "Test"

    void Command1_Click();  // stop the sound, store name, start and volume, close
    void Command2_Click();  // close, nothing stored or stopped
    void Command3_Click();  // play from the very beginning
    void Command4_Click();  // stop
    void Command5_Click();  // play from the start position as typed

protected:
    // Opens where new windows open, not centred over the board.
    void showEvent(QShowEvent* event) override;

private:
    void buildLayout();
    void Form_Load();

    SlotTable& m_slots;
    const SlotIndex m_keyIndex;
};

// The board's way in: shows the dialog modally over `owner` until it closes, whichever way.
// True when "決定" stored what was typed.
bool EditSoundDetails(QWidget* owner, SlotTable& table, SlotIndex keyIndex);

}  // namespace dialogs
