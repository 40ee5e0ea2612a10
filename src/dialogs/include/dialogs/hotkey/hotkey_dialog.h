#pragma once
// Form2: the hotkey dialog. It changes one slot's key character (the board's KeyIndex) or puts
// the default keys back on every slot. It owns no data: the captured character lives only in
// Label2 until "決定" writes it into the board's HotKey. Created afresh for each opening, so
// each opening starts from HotKey as it is then.
// User-interface thread only.
#include <QDialog>
#include <QString>

#include "slots/slot_table.h"

class QLabel;
class QPushButton;

namespace dialogs {

using slots::SlotIndex;

class Form2 : public QDialog {
    Q_OBJECT
public:
    // `hotKey` and `hotKey0` are the board's HotKey and HotKey0, `keyIndex` its KeyIndex.
    Form2(QString& hotKey, const QString& hotKey0, SlotIndex keyIndex, QWidget* parent = nullptr);
    ~Form2() override;

    QLabel* Label1 = nullptr;         // title line: which slot
    QLabel* Label2 = nullptr;         // the captured key
    QLabel* Label3 = nullptr;         // keys already in use
    QLabel* Label4 = nullptr;         // message line
    QPushButton* Command1 = nullptr;  // "決定"
    QPushButton* Command2 = nullptr;  // "中止"
    QPushButton* Command3 = nullptr;  // "標準"

    // A character typed anywhere in the dialog, before the focused control sees it.
    // Returns true when it was captured (and so consumed).
    bool CaptureKey(QChar typed);

    void Command1_Click();  // store the captured key for the slot, close
    void Command2_Click();  // close, nothing changes
    void Command3_Click();  // all default keys, close

private:
    void buildLayout();
    void Form_Load();

    QString& m_hotKey;
    const QString& m_hotKey0;
    const SlotIndex m_keyIndex;
};

// The board's way in: shows the dialog modally over `owner` until it closes, whichever way.
void EditHotkey(QWidget* owner, QString& hotKey, const QString& hotKey0, SlotIndex keyIndex);

}  // namespace dialogs
