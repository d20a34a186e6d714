#include "platform/wait_bounds.h"

#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/settings_values.h"
#include "platform/xml.h"

namespace fg {

WaitBounds WaitBounds::load() noexcept {
    WaitBounds bounds;
    try {
        auto found = fs::resolve(fs::programFolder() + kFileName);
        if (!found) return bounds;
        xml::Document doc;
        if (!doc.load(*found) || doc.documentElement().isNull() || doc.documentElement().nodeName() != "Waits")
            throw Error(errnum::PathFileAccessError, *found + " を読めません (ルート要素は Waits です)。既定の待ち時間を使います。",
                        kSource);
        xml::Node root = doc.documentElement();
        struct Entry {
            const char* name;
            std::chrono::milliseconds& value;
        } entries[] = {{"PrintStart", bounds.printStart}, {"SendPage", bounds.sendPage}, {"SendJob", bounds.sendJob},
                       {"SendServerAnswer", bounds.sendServerAnswer},
                       {"TelephoneWait", bounds.telephoneWait}, {"TelephoneUpload", bounds.telephoneUpload}};
        for (Entry& e : entries) {
            try {
                e.value = settings_values::milliseconds(root, e.name, e.value, *found, kSource);
            } catch (const Error& bad) {
                ErrorLogWriter().writeError(kSource, bad);
            }
        }
    } catch (...) {
        logCurrentError(kSource);
    }
    return bounds;
}

std::string secondsText(std::chrono::milliseconds bound) {
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(bound).count()) + " 秒";
}

}  // namespace fg
