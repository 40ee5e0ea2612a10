// Sorvane: starts the board. The program reads no command line; the board keeps its list in
// the current directory, which the program never changes.
#include <QApplication>

#include "board/window/board_window.h"
#include "channels/mci_channels.h"
#include "mci/mci_service.h"
#include "quit_signals.h"
#include "toolkit/app_info.h"
#include "toolkit/fonts.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(toolkit::AppTitle());
    toolkit::InstallFontSubstitutes();
    // The program owns the media service: made after the application and gone before it, so the
    // engine's threads and the sound server connection end while the application still stands.
    // It is installed until the board is gone.
    mci::Service media(mci::Service::Device);
    const mci::ServiceInstallation installed(media);
    channels::SetMciSendFunction(&mci::SendString);
    channels::SetMciErrorTextFunction(&mci::GetErrorString);

    board::Form1 board;
    // Ctrl+C in a terminal or the end of the session closes the board like its close button,
    // so the slot list is written.
    QuitSignals quitSignals(&board);
    board.Form_Load();  // shows the window once the list is read
    return app.exec();
}
