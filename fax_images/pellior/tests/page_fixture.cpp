#include "page_fixture.h"

#include "platform/testing/run_program.h"

#include <sstream>

namespace fg::testing {

TiffPage readThroughFax2tiff(const std::string& g3Path, const std::string& tiffPath) {
    TiffPage page;
    ProgramRun conv = runProgram({"fax2tiff", "-o", tiffPath, g3Path});
    EXPECT_EQ(conv.exitCode, 0) << conv.errors;
    EXPECT_EQ(conv.errors.find("Bad code"), std::string::npos) << conv.errors;
    ProgramRun info = runProgram({"tiffinfo", tiffPath});
    EXPECT_EQ(info.exitCode, 0) << info.errors;
    // "  Image Width: 1728 Image Length: 2291"
    std::istringstream in(info.output);
    std::string line;
    while (std::getline(in, line)) {
        auto w = line.find("Image Width:");
        auto l = line.find("Image Length:");
        if (w == std::string::npos || l == std::string::npos) continue;
        page.width = std::stoi(line.substr(w + 12));
        page.length = std::stoi(line.substr(l + 13));
    }
    return page;
}

}  // namespace fg::testing
