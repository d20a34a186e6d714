#include "fax_send/kelvra/fax_retry_image.h"

#include "fax_send/kelvra/page_name.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"

#include <exception>

namespace fg {

bool FaxRetryImage::saveRetryImage(const std::string& strReSendFileName) {
    std::string reason;
    try {
        // The name is joined to two folders; a name with a path in it would
        // read or write outside them.
        checkPlainPageName(strReSendFileName);
        FolderPathInfo folders;
        std::string g3 = folders.getFolderPath("G3Image");
        std::string kept = folders.getFolderPath("G3ReImage");
        fs::copyFile(g3 + strReSendFileName + ".G3", kept + strReSendFileName + ".G3");
        return true;
    } catch (...) {
        reason = currentError().description();
    }
    ErrorLogWriter().writeError(kErrorSource, Error(kSaveFailed, reason, kErrorSource));
    return false;
}

}  // namespace fg
