// A writer of the send log that the tests run as several processes beside
// each other: adds `count` records numbered P<process>R<i>, each with one
// image name. Exit code: the number of calls that failed.
#include "fax_send/kelvra/fax_send_careers.h"

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) return 100;
    const std::string process = argv[1];
    const int count = std::atoi(argv[2]);
    int failures = 0;
    fg::FaxSendCareers c;
    for (int r = 0; r < count; ++r) {
        c.setStrRepManageNo("P" + process + "R" + std::to_string(r));
        c.setStrRepType("T");
        failures += !c.setSendCareer();
        failures += !c.setSendImage(c.strRepManageNo(), "img");
    }
    return failures;
}
