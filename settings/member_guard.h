// The one handler at the end of every public member of the settings classes.
#pragma once

#include "platform/error.h"

#include <string>

namespace fg::settings {

// The error that is being handled, as an fg::Error. Call it inside a
// catch (...) block only: it rethrows the current exception to tell its kind.
Error currentError();

// Writes the error to the error log under `source`; never throws.
void logError(const std::string& source, const Error& error) noexcept;
// Leaves a trace of a failure that the member's callers expect unlogged.
void traceFailure(const std::string& source, const Error& error) noexcept;

}  // namespace fg::settings
