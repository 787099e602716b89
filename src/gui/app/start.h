#pragma once
// Program start: the application's look (font, icon) and the program's parts
// in their order: options file, bus, message service, the main window.

#include <QString>

#include <string>

namespace korv::gui {

// The application font and the window icon; called once a QApplication exists.
void setupApplication();

// The options file of the desktop program: korvessian.ini beside the executable when that
// folder is writable, else under $XDG_CONFIG_HOME (the terminal program uses the same).
std::string optionsPathFor(const QString& executablePath);

// Runs the program until the main window closes; returns the exit status.
int runProgram();

}  // namespace korv::gui
