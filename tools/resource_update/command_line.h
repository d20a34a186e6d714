// The resource update tool without a display: the form's work from the
// command line of a headless server, over the same form logic.
#pragma once

#include <string>
#include <vector>

namespace fg {

// `args` after the program name: "types", "register TYPE FILE..." or
// "key FILE". Answers the exit code: 0 done, 1 failed (the message said
// why), 2 a command line that cannot be carried out.
int runCommandLine(const std::vector<std::string>& args);

}  // namespace fg
