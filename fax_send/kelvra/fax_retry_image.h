// Keeps the pages of a failed send: a copy of a page image from the G3Image
// folder in the G3ReImage folder, from which a later re-send restores it.
#pragma once

#include <string>

namespace fg {

class FaxRetryImage {
public:
    static constexpr const char* kErrorSource = "FaxretryImage";
    static constexpr long kSaveFailed = 40005;

    // Copies G3Image/<name>.G3 to G3ReImage/<name>.G3, replacing an older
    // copy. Any failure is logged as 40005 and answers False.
    [[nodiscard]] bool saveRetryImage(const std::string& strReSendFileName);
};

}  // namespace fg
