// The one handler at the end of every public member of the settings classes:
// the error being handled comes from fg::currentError() or goes to the log
// through fg::logCurrentError(source) (platform/error.h); these write an
// error the member has made of it.
#pragma once

#include "platform/error.h"
#include "platform/error_log.h"

#include <string>

namespace fg::settings {

// Writes the error to the error log under `source`; never throws.
using fg::logError;
// Leaves a trace of a failure that the member's callers expect unlogged.
void traceFailure(const std::string& source, const Error& error) noexcept;

}  // namespace fg::settings
