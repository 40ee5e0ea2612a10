// Playing the board from the keyboard: each slot answers to one character of HotKey, typing
// it starts the slot or stops it when it sounds, Escape stops everything. Key operation is
// the window's key preview itself; there is no separate flag, and the status box shows it.
// User-interface thread only.
#include <QLabel>

#include "board/window/board_window.h"
#include "channels/mci_channels.h"
#include "slots/key_character.h"
#include "toolkit/colors.h"
#include "toolkit/key_preview.h"

namespace board {

namespace {

constexpr int kEscape = 27;
constexpr std::uint32_t kKeyOperationOnColor = 0xFFC0FF;   // light pink
constexpr std::uint32_t kKeyOperationOffColor = 0xE0E0E0;  // light grey

}  // namespace

void Form1::BoardKeyPress(int k) {
    if (k == kEscape) {
        StopAllSlots();
        return;
    }
    if (k < 0 || k > 0xFFFF) return;  // no key string can hold it
    const qsizetype position = HotKey.indexOf(slots::FoldKeyCharacter(QChar(static_cast<char16_t>(k))));
    if (position < 0 || position >= kSlotCount) return;
    const auto i = static_cast<SlotIndex>(position);
    if (!Slots.HasSound(i)) return;
    if (channels::MciIsPlaying(i))
        StopSlot(i);
    else
        PlaySlot(i);
}

void Form1::KeyOperationOn() {
    Label3->setText(QStringLiteral("キー操作\u3000有効"));
    toolkit::SetBackColor(Label3, kKeyOperationOnColor);
    if (!m_keyPreview) {
        // The board only listens: the character still reaches the focused control.
        m_keyPreview = new toolkit::KeyPreview(this, [this](QChar typed) {
            BoardKeyPress(typed.unicode());
            return false;
        });
    }
    m_keyPreview->setEnabled(true);
}

void Form1::KeyOperationOff() {
    Label3->setText(QStringLiteral("キー操作\u3000停止"));
    toolkit::SetBackColor(Label3, kKeyOperationOffColor);
    if (m_keyPreview) m_keyPreview->setEnabled(false);
}

void Form1::ToggleKeyOperation() {
    if (KeyPreviewOn())
        KeyOperationOff();
    else
        KeyOperationOn();
}

bool Form1::KeyPreviewOn() const {
    return m_keyPreview && m_keyPreview->isEnabled();
}

}  // namespace board
