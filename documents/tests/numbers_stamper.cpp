// A builder that the numbers tests run as several processes beside each
// other: builds two order sheets (four numbers) from the second given as
// seconds since the epoch, with a clock that stands still there. Exit code
// 0 when the build answered four numbers.
#include "documents/quillary/fax_tran_xml.h"
#include "platform/clock.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) return 100;
    fg::setClock(std::make_shared<fg::ManualClock>(std::chrono::system_clock::from_time_t(std::atoll(argv[1]))));
    fg::FaxTranXml own;
    own.beginBatch();
    std::vector<std::string> out;
    bool ok = own.makeOrderSheet({"DORE0500_0001", "DORE0500_0001"}, out);
    fg::setClock(nullptr);
    return ok && out.size() == 4 ? 0 : 1;
}
