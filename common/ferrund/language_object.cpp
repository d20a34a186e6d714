#include "common/ferrund/language_object.h"

namespace fg {

std::string LanguageObject::toString() const {
    switch (static_cast<int32_t>(mode_)) {
    case NO_SET: return "No Setting";
    case JP: return "Japanese";
    case US: return "English";
    default: return "Err";
    }
}

}  // namespace fg
