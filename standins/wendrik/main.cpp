// Harmless stand-in of the unanswered-items program: it takes the caller's
// fax number as its one argument, notes it in the stand-in trace
// ("Wendrik started <fax number>") and ends. It sends nothing.
#include "standins/control/standin_control.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: wendrik FAXNUMBER\n", stderr);
        fg::standin::trace("Wendrik", "refused: " + std::to_string(argc - 1) + " arguments");
        return 2;
    }
    fg::standin::trace("Wendrik", std::string("started ") + argv[1]);
    return 0;
}
