#include "fax_send/kelvra/page_name.h"

#include "platform/error.h"

namespace fg {

bool isPlainPageName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of("/\\") == std::string::npos && name.find('\0') == std::string::npos;
}

void checkPlainPageName(const std::string& name) {
    if (!isPlainPageName(name))
        throw Error(errnum::BadFileNameOrNumber,
                    Error::standardText(errnum::BadFileNameOrNumber) + " \"" + name + "\"");
}

}  // namespace fg
