// Fonts of the drawing layer through pango: the face a logical font maps
// to, its metrics, the extent of a text, the layout that draws it, and the
// lines of a text broken to a width. One engine serves every back-end, so a
// metafile measures its text as the screen does.
#pragma once

#include "platform/desktop/drawing.h"
#include "platform/layout/cairo_objects.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace fg::desktop {

class FontEngine {
public:
    static FontEngine& instance();

    // The pango family list of a face name.
    static std::string family(const std::string& faceName);

    TextMetrics metrics(const Font& font);
    Size extent(const Font& font, std::string_view utf8);
    // One line laid out in the font, its baseline `metrics(font).ascent`
    // below the layout's top; underline and strike-out as the font says.
    CairoOwned<PangoLayout> layout(const Font& font, std::string_view utf8);
    // The lines of a text: broken at CR LF, LF CR, CR and LF, and, for a
    // width above 0, where a line would grow wider than the width.
    std::vector<std::string> lines(const Font& font, std::string_view utf8, int width);

private:
    FontEngine();
    CairoOwned<PangoFontDescription> describe(const Font& font);
    double emPixels(const Font& font);
    CairoOwned<PangoContext> context_;
    std::map<std::string, TextMetrics> metrics_;
};

}  // namespace fg::desktop
