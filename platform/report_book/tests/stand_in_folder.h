// A scratch folder put first on PATH, for stand-ins of the printing
// system's and the desktop's programs, in a test without a display. The
// PATH the test began with is put back at the end.
#pragma once

#include "platform/testing/temp_home.h"

#include <cstdlib>
#include <string>

namespace fg::testing {

class StandInFolder {
public:
    StandInFolder() : oldPath_(std::getenv("PATH") ? std::getenv("PATH") : "") {
        firstOnPath();
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
    }
    ~StandInFolder() { ::setenv("PATH", oldPath_.c_str(), 1); }
    StandInFolder(const StandInFolder&) = delete;
    StandInFolder& operator=(const StandInFolder&) = delete;

    // The folder in front of the PATH the test began with (again).
    void firstOnPath() const { ::setenv("PATH", (dir_.path() + ":" + oldPath_).c_str(), 1); }
    const std::string& path() const { return dir_.path(); }  // ends with "/"
    std::string operator/(const std::string& rel) const { return dir_ / rel; }

private:
    std::string oldPath_;
    TempDir dir_;
};

}  // namespace fg::testing
