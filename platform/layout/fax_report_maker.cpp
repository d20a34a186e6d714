#include "platform/layout/fax_report_maker.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"

namespace fg {

void FaxReportMaker::deleteReport(const std::string& number, bool& ok) {
    ok = false;
    // The number comes from a management record a person may have edited;
    // it is joined to a folder, so only a plain name may pass.
    if (number.empty() || number == "." || number == ".." || number.find('/') != std::string::npos ||
        number.find('\0') != std::string::npos)
        throw Error(errnum::BadFileNameOrNumber,
                    Error::standardText(errnum::BadFileNameOrNumber) + " \"" + number + "\"", "FaxReportMaker");
    const std::string path = FolderPathInfo().getFolderPath(kFolderKey) + number + kExtension;
    // Names are read without regard to case, so every spelling of the
    // layout counts as the layout.
    while (auto found = fs::resolve(path)) {
        if (!fs::removeFile(*found)) return;
    }
    ok = true;
}

}  // namespace fg
