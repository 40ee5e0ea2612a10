#pragma once
// Facts about the program itself.
#include <QString>
#include <functional>

namespace toolkit {

QString AppTitle();  // "Sorvane"
int AppMajor();      // version from the build: 2.1.6
int AppMinor();
int AppRevision();

// The folder that holds the program file, without a trailing "/" (the root keeps it).
QString ProgramFolder();
void SetProgramFolderForTests(const QString& folder);  // empty restores the real one

// The board's folder: the one it was started in, where its list is kept. A sound dropped from
// inside it is stored relative to it, and the pop-up menu opens it. The program never changes
// its current folder, so this is that folder, without a trailing "/" (the root keeps it).
QString BoardFolder();
void SetBoardFolderForTests(const QString& folder);  // empty restores the real one

// Opens a folder in the desktop's file manager; no shell and no command line are involved.
// Returns false when it could not be started. A test hook can take the call instead.
bool OpenFolderInFileManager(const QString& folder);
void SetOpenFolderHook(std::function<bool(const QString&)> hook);

}  // namespace toolkit
