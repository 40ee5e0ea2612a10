// Sorvane: starts the board. The program reads no command line and no environment of its own.
#include <QApplication>
#include <QIcon>

#include "board/window/form1.h"
#include "channels/mci_channels.h"
#include "mci/mci_service.h"
#include "quit_signals.h"
#include "toolkit/app_info.h"
#include "toolkit/fonts.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(toolkit::AppTitle());
    QApplication::setWindowIcon(QIcon(":/icon.png"));
    toolkit::InstallFontSubstitutes();
    channels::SetMciSendFunction(&mci::SendString);
    channels::SetMciErrorTextFunction(&mci::GetErrorString);

    Form1 board;
    // Ctrl+C in a terminal or the end of the session closes the board like its close button,
    // so the slot list is written.
    QuitSignals quitSignals(&board);
    board.show();
    board.Form_Load();
    return app.exec();
}
