#pragma once

#include "client/run_values.h"

#include <QString>

class QWidget;

namespace kqc {

// The main window's settings file in the user's settings folder: INI, under $XDG_CONFIG_HOME
// (~/.config when it is not set).
QString WindowSettingsPath();

// The values remembered in file, each over the one in defaults. A value that is missing, of
// another kind or unusable (a folder that no longer exists, a word outside its pair) leaves its
// default; keys of other versions are passed over.
RunValues RememberedRunValues(const QString& file, RunValues defaults);
// Puts window where it was when it was remembered; false, with nothing changed, when file holds
// no usable position.
bool RestoreWindowPosition(const QString& file, QWidget& window);
// Writes the values and the window's position. The file is replaced whole or not at all, and the
// keys of other versions in it stay.
void RememberWindow(const QString& file, const RunValues& values, const QWidget& window);

}  // namespace kqc
