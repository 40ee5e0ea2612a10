#pragma once
// The board's small fixed-size dialogs (hotkeys, sound details) share one frame: a tool
// window with a title and a close box, no icon, a fixed client area in twips, and buttons
// that never answer to Enter, so a key typed into the dialog can never store or close it.
#include <QRect>
#include <QString>

class QDialog;
class QPushButton;
class QWidget;

namespace toolkit {

// Sets the frame, title and fixed client size, and the 9-point font of captions and buttons.
void SetUpToolDialog(QDialog* dialog, const QString& title, int widthTwips, int heightTwips);

// A push button that is never the default button.
QPushButton* MakeDialogButton(const QString& caption, QRect where, QWidget* parent);

}  // namespace toolkit
