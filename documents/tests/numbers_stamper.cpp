// A builder that the numbers tests run as several processes beside each
// other: builds two order sheets (four numbers) from the second given as
// seconds since the epoch, with a clock that stands still there. Exit code
// 0 when the build answered four numbers.
// With "die" after it: a batch of one order message, ended (exit code 9)
// once its first page is written, before its records are stored.
#include "documents/quillary/fax_tran_xml.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/layout/page_export.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) return 100;
    fg::setClock(std::make_shared<fg::ManualClock>(std::chrono::system_clock::from_time_t(std::atoll(argv[1]))));
    fg::FaxTranXml own;
    own.beginBatch();
    if (argc == 3 && std::string(argv[2]) == "die") {
        own.setPageRenderer([](const std::vector<std::string>& numbers, auto&&...) -> bool {
            const std::string g3 = fg::FolderPathInfo().getFolderPath("G3Image");
            fg::fs::writeFileAtomic(g3 + fg::layout::pageName(numbers.at(0), 1) + ".g3", "page");
            std::_Exit(9);
        });
        own.makeFAXSendXML({{1, "0500", {"S0001"}, {"DORE0500_0001"}}}, "", "");
        return 1;
    }
    std::vector<std::string> out;
    bool ok = own.makeOrderSheet({"DORE0500_0001", "DORE0500_0001"}, out);
    fg::setClock(nullptr);
    return ok && out.size() == 4 ? 0 : 1;
}
