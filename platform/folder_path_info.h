// Folder of each key of the installation, read from folderpath.xml in the
// program folder: <Folders><Folder class="key">path</Folder>...</Folders>.
// A path is absolute or relative to the program folder; results end with "/".
#pragma once

#include <string>

namespace fg {

class FolderPathInfo {
public:
    // Raises fg::Error for a missing map, an unknown key or an empty entry.
    std::string getFolderPath(const std::string& key);
    // Never raises: `path` becomes "" when the folder cannot be told.
    void getFolderPath(const std::string& key, std::string& path) noexcept;

    static constexpr const char* kFileName = "folderpath.xml";
};

}  // namespace fg
