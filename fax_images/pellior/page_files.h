// What the page image classes share: the folders of their keys, names that
// are safe to join to them, and the errors they log.
#pragma once

#include "platform/error.h"

#include <string>

namespace fg::pellior {

// The folder of a key, ending with "/", asked for at every call as the
// folder map may change under a running server. Raises the map's error.
std::string folder(const char* key);

// Page and layout names come from management records and callers that a
// person may have edited; they are joined to folder paths, so only plain
// names pass. Raises fg::Error 52 otherwise.
void checkPlainName(const std::string& name);

// Removes a file; raises fg::Error 53 when there is none, 75 when it stays.
void deleteFile(const std::string& path);

// The error behind a non-zero status of the imaging control or the
// fax-modem control, with the status as its number.
Error statusError(long status, const std::string& what, const Error* underlying = nullptr);

// Writes an error to the error log under `source`; never throws.
void logError(const std::string& source, const Error& error) noexcept;
// For a caught exception of any kind.
void logCurrentException(const std::string& source) noexcept;

}  // namespace fg::pellior
