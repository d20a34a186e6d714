// What the page image tests share: a temporary installation with the
// shipped layouts, management records, the error log, and the peer
// programs that read G3 pages.
#pragma once

#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/testing/temp_home.h"
#include "settings/fax_manage_num.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fg::testing {

inline constexpr const char* kOrderSheet = "202401150930000001";  // landscape, two pages
inline constexpr const char* kTestForm = "202401150930000002";    // upright, one page

// The installation of one test: a fresh home and the error log.
struct PageImagesHome {
    TempHome home;
    ErrorLogGuard log;
    std::string layouts = home.folder("ExcelLayout");
    std::string bitmaps = home.folder("Bitmap");
    std::string jpgs = home.folder("Jpg");
    std::string g3s = home.folder("G3Image");
    std::string msfs = home.folder("Msf");

    void record(const std::string& number, const std::string& type) {
        FaxManageNum store;
        store.setMstrRepManageNo(number);
        store.setMstrRepType(type);
        ASSERT_TRUE(store.setManageNum("0"));
    }
    std::vector<std::string> pageNames(const std::string& number) {
        std::vector<std::string> names;
        FaxManageNum store;
        names.resize(static_cast<std::size_t>(store.getTempImageFileToManage(number, "", names)));
        return names;
    }
    std::vector<std::string> copyNames(const std::string& number) {
        std::vector<std::string> names;
        FaxManageNum store;
        names.resize(static_cast<std::size_t>(store.getRefImageFileToManage(number, "", names)));
        return names;
    }
    // Files of a folder, without the installation's ".keep".
    std::vector<std::string> files(const std::string& folder) { return fs::list(folder, "*"); }
    bool logged(long number, const std::string& source) {
        for (const ErrorLogEntry& e : log.log->entries())
            if (e.number == number && e.source == source) return true;
        return false;
    }
    std::string loggedText() {
        std::string out;
        for (const ErrorLogEntry& e : log.log->entries())
            out += e.source + " " + std::to_string(e.number) + " " + e.description + "\n";
        return out;
    }
};

class PageImagesTest : public ::testing::Test, public PageImagesHome {
public:
    // For tests that want a fresh installation per case of a table.
    using Scratch = PageImagesHome;
};

// Width and length of a G3 page as fax2tiff and tiffinfo read it.
struct TiffPage {
    int width = 0, length = 0;
};
TiffPage readThroughFax2tiff(const std::string& g3Path, const std::string& tiffPath);

}  // namespace fg::testing
