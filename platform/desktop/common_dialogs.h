// The colour, font and open-file dialogs of the system, answered by a
// driver: a test scripts the answers, the default one cancels each dialog.
#pragma once

#include "platform/desktop/window.h"

#include <array>
#include <memory>
#include <optional>
#include <string>

namespace fg::desktop {

inline constexpr unsigned CC_RGBINIT = 1;
inline constexpr unsigned CF_SCREENFONTS = 1, CF_INITTOLOGFONTSTRUCT = 0x40, CF_EFFECTS = 0x100;
inline constexpr unsigned SCREEN_FONTTYPE = 0x2000;
inline constexpr unsigned OFN_HIDEREADONLY = 4, OFN_PATHMUSTEXIST = 0x800, OFN_FILEMUSTEXIST = 0x1000;

struct ColorRequest {
    WindowHandle owner = 0;
    Color initial = 0;
    std::array<Color, 16>* customColors = nullptr;  // the dialog may change them
    unsigned flags = 0;
};

struct FontRequest {
    WindowHandle owner = 0;
    Font initial;
    Color color = 0;
    unsigned flags = 0;
    unsigned fontType = 0;
};
struct FontChoice {
    Font font;
    int pointSizeTenths = 0;
    Color color = 0;
};

struct OpenFileRequest {
    WindowHandle owner = 0;
    std::string title;
    // Pairs of a description and a pattern, each ended by a zero byte.
    std::string filter;
    unsigned flags = 0;
    std::size_t bufferBytes = 260;  // the longest answer is one byte less
};

class CommonDialogDriver {
public:
    virtual ~CommonDialogDriver() = default;
    virtual std::optional<Color> chooseColor(ColorRequest& request);
    virtual std::optional<FontChoice> chooseFont(const FontRequest& request);
    virtual std::optional<std::string> openFile(const OpenFileRequest& request);
};
// Null puts back the driver that cancels.
void setCommonDialogDriver(std::shared_ptr<CommonDialogDriver> driver);

// Nothing when cancelled. An open-file answer that does not fit the buffer,
// or that names no file under OFN_FILEMUSTEXIST, counts as cancelled.
std::optional<Color> chooseColor(ColorRequest& request);
std::optional<FontChoice> chooseFont(const FontRequest& request);
std::optional<std::string> getOpenFileName(const OpenFileRequest& request);

}  // namespace fg::desktop
