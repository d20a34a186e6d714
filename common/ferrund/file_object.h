// A file or folder path split into folder, name and extension, and joined
// again.
//
// Paths are POSIX: "/" separates the components. No POSIX path carries a
// drive, so Drive is always empty, and where a drive would have to open a
// full path, a leading "/" opens it instead.
#pragma once

#include <string>

namespace fg {

class FileObject {
public:
    // File name with extension. Setting it takes the text after the last
    // "/" and splits it at its last "."; Drive and Path stay as they were.
    std::string Name() const { return name_; }
    void setName(const std::string& strNewName);

    // File name without extension. Setting it rebuilds Name only when an
    // extension is set.
    std::string ThinName() const { return thinName_; }
    void setThinName(const std::string& strIn);

    // Drive & folder. Setting it keeps the folder part: no trailing "/", one
    // leading "/"; when the value has a "." somewhere, its last component
    // counts as a file name and is dropped.
    std::string Path() const { return drive_ + path_; }
    void setPath(const std::string& strNewPath);

    // Extension without the dot. Setting a non-empty one rebuilds Name.
    std::string Ext() const { return ext_; }
    void setExt(const std::string& strArgv);

    // Always empty on POSIX; setting it clears it.
    std::string Drive() const { return drive_; }
    void setDrive(const std::string& strNewDrive);

    // Drive & Path & "/" & Name, or "" when all three are empty. Setting it
    // takes an absolute path apart; anything else leaves every part empty.
    std::string FullPath() const;
    void setFullPath(const std::string& strNewFullPath);

    // True when a plain, visible file matches Drive & Path & "/" & Name
    // ("*" and "?" in the name act as wildcards). Clears every part and
    // answers False when there is nothing to look for.
    bool IsExist();

private:
    void clear();

    std::string name_;
    std::string thinName_;
    std::string path_;
    std::string ext_;
    std::string drive_;
};

}  // namespace fg
