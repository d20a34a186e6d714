// Folder values of folder.xml that lie below the program folder.
#pragma once

#include "platform/files.h"

#include <string>
#include <string_view>

namespace fg::brevik {

// The program folder followed by a folder value. Values are written with a
// "/" in front ("/client/option/"); one written without it still names a
// folder inside the program folder rather than a sibling whose name merely
// begins with the program folder's.
inline std::string underProgramFolder(std::string_view value) {
    std::string home = fs::programFolder();
    if (!home.empty() && home.back() == '/') home.pop_back();
    if (value.empty() || value.front() != '/') home += '/';
    return home + std::string(value);
}

}  // namespace fg::brevik
