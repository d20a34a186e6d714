#include "platform/desktop/system.h"

#include "platform/desktop/desktop_state.h"

#include <map>
#include <utility>

namespace fg::desktop {

namespace {

struct Pointer {
    Point position;
    std::map<CursorHandle, CursorShape> cursors;
    CursorHandle next = 0x100;
    CursorHandle current = 0;
    CursorHandle arrow = 0;
};

Pointer& pointer() {
    static Pointer p;
    return p;
}

// The arrow, drawn here: black outline, white body, pointing at its tip.
CursorShape arrowShape() {
    static const char* const kArrow[] = {
        "X...........", "XX..........", "XoX.........", "XooX........", "XoooX.......", "XooooX......",
        "XoooooX.....", "XooooooX....", "XoooooooX...", "XooooooooX..", "XoooooXXXXX.", "XooXooX.....",
        "XoX.XooX....", "XX..XooX....", "X....XooX...", ".....XooX...", "......XX....",
    };
    CursorShape s{image::Image(32, 32, image::PixelFormat::Indexed1, 0), image::Image(32, 32, image::PixelFormat::Indexed1),
                  {0, 0}};
    s.picture.setPalette({{0, 0, 0}, {255, 255, 255}});
    for (int y = 0; y < 17; ++y)
        for (int x = 0; kArrow[y][x]; ++x) {
            if (kArrow[y][x] == '.') continue;
            s.mask.setIndex(x, y, 0);
            s.picture.setIndex(x, y, kArrow[y][x] == 'o' ? 1 : 0);
        }
    return s;
}

}  // namespace

int systemMetric(int index) {
    switch (index) {
    case SM_CXSCREEN: return 1024;
    case SM_CYSCREEN: return 768;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CYSMCAPTION: return 15;
    default: return 0;
    }
}

Color sysColor(int index) {
    switch (index) {
    case COLOR_WINDOW: return 0xFFFFFF;
    case COLOR_WINDOWFRAME:
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT: return 0x000000;
    case COLOR_BTNFACE: return 0xC0C0C0;
    case COLOR_BTNSHADOW: return 0x808080;
    case COLOR_BTNHIGHLIGHT: return 0xFFFFFF;
    default: return 0;
    }
}

int platformMajorVersion() { return 4; }

Point cursorPos() { return pointer().position; }
void setCursorPos(Point p) { pointer().position = p; }

CursorHandle createCursor(CursorShape shape) {
    const CursorHandle h = pointer().next++;
    pointer().cursors.emplace(h, std::move(shape));
    return h;
}

bool destroyCursor(CursorHandle cursor) {
    if (cursor == pointer().arrow) return false;
    if (pointer().current == cursor) pointer().current = 0;
    return pointer().cursors.erase(cursor) > 0;
}

CursorHandle arrowCursor() {
    if (!pointer().arrow) pointer().arrow = createCursor(arrowShape());
    return pointer().arrow;
}

const CursorShape* cursorShape(CursorHandle cursor) {
    auto it = pointer().cursors.find(cursor);
    return it == pointer().cursors.end() ? nullptr : &it->second;
}

CursorHandle setCursor(CursorHandle cursor) {
    if (cursor && !cursorShape(cursor)) return 0;
    return std::exchange(pointer().current, cursor);
}

CursorHandle currentCursor() { return pointer().current; }

void detail::resetSystem() {
    Pointer& p = pointer();
    std::erase_if(p.cursors, [&](const auto& entry) { return entry.first != p.arrow; });
    p.current = 0;
    p.position = {};
}

}  // namespace fg::desktop
