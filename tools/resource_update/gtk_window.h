// The resource update tool on a display: a GTK window with the form's
// controls over the form logic.
#pragma once

namespace fg {

// Runs the window until the program ends. False when no display can be opened.
bool runGtkWindow(int& argc, char**& argv, int& exitCode);

}  // namespace fg
