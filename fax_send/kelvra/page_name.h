// Page names come from management records that a person may have edited;
// they are joined to folder paths, so only plain names may pass.
#pragma once

#include <string>

namespace fg {

// True for a non-empty name without a folder separator that is not "." or "..".
[[nodiscard]] bool isPlainPageName(const std::string& name);
// Raises fg::Error 52 (bad file name) unless the name is plain.
void checkPlainPageName(const std::string& name);

}  // namespace fg
