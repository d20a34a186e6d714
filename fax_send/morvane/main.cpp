// morvane: the fax-send server. Started by the client side of FaxSend as a
// child object; serves one FaxSend object and ends when it is released.
#include "fax_send/morvane/morvane_controller.h"

int main() {
    fg::MorvaneController controller;
    return controller.run();
}
