// What the engine asks of the system around its windows: fixed metrics and
// colours of a classic 96-dpi screen, the platform version, the mouse
// pointer's position, and cursors.
#pragma once

#include "platform/desktop/drawing.h"

#include <cstdint>

namespace fg::desktop {

inline constexpr int SM_CXSCREEN = 0, SM_CYSCREEN = 1, SM_CYCAPTION = 4, SM_CXBORDER = 5, SM_CYBORDER = 6,
                     SM_CXDLGFRAME = 7, SM_CYDLGFRAME = 8, SM_CXFRAME = 32, SM_CYFRAME = 33, SM_CYSMCAPTION = 51;
inline constexpr int COLOR_WINDOW = 5, COLOR_WINDOWFRAME = 6, COLOR_WINDOWTEXT = 8, COLOR_BTNFACE = 15,
                     COLOR_BTNSHADOW = 16, COLOR_BTNTEXT = 18, COLOR_BTNHIGHLIGHT = 20;

// 0 for an index the system does not know.
int systemMetric(int index);
Color sysColor(int index);
// The platform's major version: 4, so windows get the small tool caption.
int platformMajorVersion();
// The screen's resolution, LOGPIXELSX and LOGPIXELSY of a window.
inline constexpr int kScreenDpi = 96;

// The mouse pointer in screen coordinates.
Point cursorPos();
void setCursorPos(Point p);

using CursorHandle = std::uintptr_t;  // 0: none
// A cursor's picture: colours, a 1-bit mask whose set pels are transparent,
// and the pel that points.
struct CursorShape {
    image::Image picture;
    image::Image mask;
    Point hotspot;
};
CursorHandle createCursor(CursorShape shape);
[[nodiscard]] bool destroyCursor(CursorHandle cursor);
// The system's arrow, which lives as long as the process.
CursorHandle arrowCursor();
const CursorShape* cursorShape(CursorHandle cursor);
// Answers the cursor shown before.
CursorHandle setCursor(CursorHandle cursor);
CursorHandle currentCursor();

}  // namespace fg::desktop
