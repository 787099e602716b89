#pragma once
// What the restore and test dialogs' tests stand on: the drive bound as the main window
// binds it, sets made by the core's backup run, and the dialogs' controls by their names.

#include <QListView>
#include <QListWidget>
#include <QString>
#include <QWidget>

#include <filesystem>
#include <string>

#include "support/gui_fixture.h"

namespace korv::test {

// Binds the program's tape component to the drive at id 4, as opening "ツール" does.
bool bindDrive(GuiProgram& program);

// Backs up every file below `folder` as a new set in the backup dialog, as a user does:
// the folder chosen in its tree, listed, named, "バックアップ開始". True when the run
// ended with "終了しました．" and nothing else.
bool backUpFolder(GuiProgram& program, const std::filesystem::path& folder,
                  const std::string& setName);

// CP932 of a UTF-8 text (names as a Windows tape holds them).
std::string sj(const std::string& utf8);

// A control of `form` by its name.
template <class T>
T& control(QWidget& form, const char* name) {
  T* found = form.findChild<T*>(QString::fromLatin1(name));
  if (found == nullptr) qFatal("no control %s", name);
  return *found;
}

// Chooses line `row` of the set list as a click does.
void chooseSet(QWidget& form, int row);

// The file list's lines and which of them are selected.
QStringList fileLines(QWidget& form);
int selectedLines(QWidget& form);
void setLineSelected(QWidget& form, int row, bool on);

}  // namespace korv::test
