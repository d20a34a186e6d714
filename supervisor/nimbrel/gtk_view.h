// The main window on a display: a GTK window with the form's labels, status
// text and button.
#pragma once

namespace fg {

// Runs the window until it is closed. False when no display can be opened.
bool runGtkWindow(int& argc, char**& argv, int& exitCode);

}  // namespace fg
