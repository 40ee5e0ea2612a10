#include "toolkit/app_info.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>

namespace toolkit {

namespace {
QString& ProgramFolderOverride() {
    static QString folder;
    return folder;
}
QString& BoardFolderOverride() {
    static QString folder;
    return folder;
}
std::function<bool(const QString&)>& OpenFolderHook() {
    static std::function<bool(const QString&)> hook;
    return hook;
}

QString WithoutTrailingSlash(QString folder) {
    // The root keeps its slash ("/" or "C:/"); every other folder has none.
    while (folder.size() > 1 && (folder.endsWith(u'/') || folder.endsWith(u'\\')) &&
           !(folder.size() == 3 && folder.at(1) == u':'))
        folder.chop(1);
    return folder;
}
}  // namespace

QString AppTitle() {
    return QStringLiteral("Sorvane");
}

int AppMajor() {
    return SORVANE_VERSION_MAJOR;
}

int AppMinor() {
    return SORVANE_VERSION_MINOR;
}

int AppRevision() {
    return SORVANE_VERSION_PATCH;
}

QString ProgramFolder() {
    if (!ProgramFolderOverride().isEmpty()) return WithoutTrailingSlash(ProgramFolderOverride());
    return WithoutTrailingSlash(QCoreApplication::applicationDirPath());
}

void SetProgramFolderForTests(const QString& folder) {
    ProgramFolderOverride() = folder;
}

QString BoardFolder() {
    if (!BoardFolderOverride().isEmpty()) return WithoutTrailingSlash(BoardFolderOverride());
    return WithoutTrailingSlash(QDir::currentPath());
}

void SetBoardFolderForTests(const QString& folder) {
    BoardFolderOverride() = folder;
}

bool OpenFolderInFileManager(const QString& folder) {
    if (OpenFolderHook()) return OpenFolderHook()(folder);
    try {
        // The desktop's own handler for a folder URL: no shell, so no quoting to get wrong.
        return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    } catch (...) {
        return false;
    }
}

void SetOpenFolderHook(std::function<bool(const QString&)> hook) {
    OpenFolderHook() = std::move(hook);
}

}  // namespace toolkit
