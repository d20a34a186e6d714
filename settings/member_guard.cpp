#include "settings/member_guard.h"

#include "platform/error_log.h"

namespace fg::settings {

void traceFailure(const std::string& source, const Error& error) noexcept {
    writeDebugLine(source, std::to_string(error.number()) + " " + error.description());
}

}  // namespace fg::settings
