#include "platform/desktop/common_dialogs.h"

#include "platform/files.h"

namespace fg::desktop {

namespace {
std::shared_ptr<CommonDialogDriver>& driver() {
    static std::shared_ptr<CommonDialogDriver> d;
    return d;
}
}  // namespace

std::optional<Color> CommonDialogDriver::chooseColor(ColorRequest&) { return std::nullopt; }
std::optional<FontChoice> CommonDialogDriver::chooseFont(const FontRequest&) { return std::nullopt; }
std::optional<std::string> CommonDialogDriver::openFile(const OpenFileRequest&) { return std::nullopt; }

void setCommonDialogDriver(std::shared_ptr<CommonDialogDriver> d) { driver() = std::move(d); }

std::optional<Color> chooseColor(ColorRequest& request) {
    return driver() ? driver()->chooseColor(request) : std::nullopt;
}

std::optional<FontChoice> chooseFont(const FontRequest& request) {
    return driver() ? driver()->chooseFont(request) : std::nullopt;
}

std::optional<std::string> getOpenFileName(const OpenFileRequest& request) {
    std::optional<std::string> path = driver() ? driver()->openFile(request) : std::nullopt;
    if (!path || path->empty() || path->size() >= request.bufferBytes) return std::nullopt;
    if ((request.flags & OFN_FILEMUSTEXIST) && !fs::fileExists(*path)) return std::nullopt;
    return path;
}

}  // namespace fg::desktop
