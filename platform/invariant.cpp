#include "platform/invariant.h"

namespace fg {

void invariantBroken(std::string_view what, std::string source, std::source_location where) {
    std::string_view file = where.file_name();
    if (auto slash = file.rfind('/'); slash != std::string_view::npos) file.remove_prefix(slash + 1);
    throw Error(errnum::InternalError,
                Error::standardText(errnum::InternalError) + " (" + std::string(what) + ": " + std::string(file) +
                    ":" + std::to_string(where.line()) + ")",
                std::move(source));
}

}  // namespace fg
