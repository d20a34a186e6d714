// A work folder of one's own: made fresh inside a parent folder and removed
// with everything in it when the object ends. Several processes exchange
// with the EDI server at once; a fixed file name in a shared folder would
// let one process read or delete another's answer.
#pragma once

#include "platform/error.h"
#include "platform/files.h"

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace fg::edi {

class PrivateFolder {
public:
    // Raises fg::Error 76 when no folder can be made in `parent` (which is
    // created when it is missing).
    PrivateFolder(const std::string& parent, const std::string& prefix) {
        std::error_code ec;
        std::filesystem::create_directories(parent, ec);
        std::random_device random;
        for (int attempt = 0; attempt < 32; ++attempt) {
            std::string candidate = fs::join(parent, prefix + std::to_string(random()) + std::to_string(random()));
            if (std::filesystem::create_directory(candidate, ec)) {
                path_ = fs::withSlash(candidate);
                return;
            }
            if (ec && ec != std::errc::file_exists) break;
        }
        throw Error(errnum::PathNotFound, "作業フォルダを作れません: " + parent + (ec ? " " + ec.message() : ""));
    }
    ~PrivateFolder() { fs::removeTree(path_); }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // Ends with "/".
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace fg::edi
