#include "toolkit/tool_dialog.h"

#include <QDialog>
#include <QIcon>
#include <QPushButton>

#include "toolkit/fonts.h"
#include "toolkit/twips.h"

namespace toolkit {

void SetUpToolDialog(QDialog* dialog, const QString& title, int widthTwips, int heightTwips) {
    dialog->setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint);
    dialog->setWindowTitle(title);
    dialog->setWindowIcon(QIcon());
    dialog->setFixedSize(Px(widthTwips), Px(heightTwips));
    dialog->setFont(GothicFont(9, false));
}

QPushButton* MakeDialogButton(const QString& caption, QRect where, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(where);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace toolkit
