// The tool bar: a small floating window of sixteen tool buttons in two
// columns. It knows nothing of what a tool does; it tells its parent of
// every button checked, by a click or by a call, with the notification
// message.
#include "annotation/guard.h"
#include "annotation/module.h"
#include "annotation/paint.h"
#include "platform/desktop/global_memory.h"
#include "platform/desktop/system.h"

#include <new>

namespace fg::annotation {

namespace {

using desktop::Point;
using desktop::Rect;
using desktop::WindowHandle;

constexpr int kButtons = 16;
constexpr std::uint32_t kPressed = 1, kChecked = 4, kHidden = 8;
constexpr int kButtonWidth = 23, kButtonHeight = 21, kImageWidth = 16, kImageHeight = 15;
enum Operation : std::uintptr_t { kCheck = 0, kGetChecked = 1, kSetVisible = 2, kGetVisible = 3 };

// The pair a visibility operation points to.
struct ButtonValue {
    std::uint32_t button;
    std::int32_t* value;
};

struct ToolBarState {
    desktop::Brush checkedLook;
    int pressed = -1;
    std::uint32_t state[kButtons] = {};
    int slot[kButtons] = {};
    int visible = 0;
};

ToolBarState* stateOf(WindowHandle window) { return reinterpret_cast<ToolBarState*>(desktop::windowWord(window, 0)); }

void computeSlots(ToolBarState& s) {
    s.visible = 0;
    for (int i = 0; i < kButtons; ++i) s.slot[i] = (s.state[i] & kHidden) ? -1 : s.visible++;
}

Rect slotRect(int slot) {
    const int left = desktop::systemMetric(desktop::SM_CXFRAME) + kButtonWidth * (slot % 2) - 1;
    const int top = desktop::systemMetric(desktop::SM_CYFRAME) + kButtonHeight * (slot / 2) - 1;
    return {left, top, left + kButtonWidth, top + kButtonHeight};
}

int buttonAt(const ToolBarState& s, Point p) {
    for (int i = 0; i < kButtons; ++i)
        if (s.slot[i] >= 0 && slotRect(s.slot[i]).contains(p)) return i;
    return -1;
}

// The frame and caption around the client area, as the window's styles
// draw them: thin borders and the tall caption before version 4, dialog
// frames and the small tool caption since.
struct Frame {
    int borderX, borderY, caption;
    std::uint32_t exStyle;
};
Frame frame() {
    using namespace desktop;
    if (platformMajorVersion() < 4) return {systemMetric(SM_CXBORDER), systemMetric(SM_CYBORDER), systemMetric(SM_CYCAPTION), 0};
    return {systemMetric(SM_CXDLGFRAME), systemMetric(SM_CYDLGFRAME), systemMetric(SM_CYSMCAPTION), WS_EX_TOOLWINDOW};
}

int outerWidth() { return 2 * (frame().borderX + desktop::systemMetric(desktop::SM_CXFRAME)) + 2 * kButtonWidth - 1; }
int outerHeight(int visibleButtons) {
    const Frame f = frame();
    return f.caption + 2 * (f.borderY + desktop::systemMetric(desktop::SM_CYFRAME)) +
           (visibleButtons + 1) / 2 * kButtonHeight - 1;
}

void redraw(WindowHandle window, const ToolBarState& s, int button) {
    if (s.slot[button] < 0) return;
    const Rect r = slotRect(s.slot[button]);
    (void)desktop::invalidateRect(window, &r, false);
}

std::intptr_t notifyParent(WindowHandle window, std::uintptr_t code, std::intptr_t value) {
    const WindowHandle parent = desktop::parentWindow(window);
    return parent ? desktop::sendMessage(parent, ANN_NOTIFY_MESSAGE, code, value) : 0;
}

std::intptr_t check(WindowHandle window, ToolBarState& s, std::uintptr_t button) {
    if (button >= kButtons) return ANN_ERROR_INVALID_PARAMETER;
    for (int i = 0; i < kButtons; ++i)
        if (s.state[i] & kChecked) {
            s.state[i] &= ~kChecked;
            redraw(window, s, i);
        }
    s.state[button] |= kChecked;
    redraw(window, s, static_cast<int>(button));
    (void)desktop::updateWindow(window);
    return notifyParent(window, ANN_NOTIFY_TOOL_CHOSEN, static_cast<std::intptr_t>(button));
}

std::intptr_t operate(WindowHandle window, ToolBarState& s, std::uintptr_t operation, std::intptr_t argument) {
    switch (operation) {
    case kCheck: return check(window, s, static_cast<std::uintptr_t>(argument));
    case kGetChecked: {
        auto* out = reinterpret_cast<std::uint32_t*>(argument);
        if (!out) return ANN_ERROR_INVALID_PARAMETER;
        for (std::uint32_t i = 0; i < kButtons; ++i)
            if (s.state[i] & kChecked) {
                *out = i;
                return ANN_SUCCESS;
            }
        return ANN_ERROR_NOT_SUPPORTED;
    }
    case kSetVisible: {
        const auto* pair = reinterpret_cast<const ButtonValue*>(argument);
        if (!pair || pair->button >= kButtons || !pair->value) return ANN_ERROR_INVALID_PARAMETER;
        if (*pair->value) s.state[pair->button] &= ~kHidden;
        else s.state[pair->button] |= kHidden;
        computeSlots(s);
        (void)desktop::invalidateRect(window, nullptr, true);
        const Rect at = desktop::windowRect(window);
        (void)desktop::moveWindow(window, {at.left, at.top, at.right, at.top + outerHeight(s.visible)}, false);
        return ANN_SUCCESS;
    }
    case kGetVisible: {
        const auto* pair = reinterpret_cast<const ButtonValue*>(argument);
        if (!pair || pair->button >= kButtons || !pair->value) return ANN_ERROR_INVALID_PARAMETER;
        *pair->value = (s.state[pair->button] & kHidden) ? 0 : 1;
        return ANN_SUCCESS;
    }
    default: return 0;
    }
}

desktop::Brush checkerboardBrush() {
    image::Image pattern(8, 8, image::PixelFormat::Indexed1, 0);
    auto rgbOf = [](desktop::Color c) {
        return image::Rgb{static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>((c >> 8) & 0xFF),
                          static_cast<std::uint8_t>((c >> 16) & 0xFF)};
    };
    pattern.setPalette({rgbOf(desktop::sysColor(desktop::COLOR_BTNFACE)), rgbOf(desktop::sysColor(desktop::COLOR_BTNHIGHLIGHT))});
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) pattern.setIndex(x, y, (x + y) % 2 == 0 ? 1 : 0);  // rows 0xAA, 0x55
    return desktop::Brush::patterned(std::move(pattern));
}

std::intptr_t create(WindowHandle window) {
    const desktop::MemoryHandle block =
        desktop::globalAlloc(desktop::GMEM_MOVEABLE | desktop::GMEM_ZEROINIT, sizeof(ToolBarState));
    void* bytes = desktop::globalLock(block);
    if (!bytes) return -1;
    auto* s = new (bytes) ToolBarState();
    s->state[0] = kChecked;
    computeSlots(*s);
    s->checkedLook = checkerboardBrush();
    desktop::setWindowWord(window, 0, reinterpret_cast<std::intptr_t>(s));
    notifyParent(window, ANN_NOTIFY_TOOLBAR_CREATED, static_cast<std::intptr_t>(window));
    return 0;
}

void destroy(WindowHandle window) {
    if (ToolBarState* s = stateOf(window)) {
        desktop::setWindowWord(window, 0, 0);
        const desktop::MemoryHandle block = desktop::globalHandle(s);
        s->~ToolBarState();
        (void)desktop::globalUnlock(block);
        desktop::globalFree(block);
    }
    notifyParent(window, ANN_NOTIFY_TOOLBAR_DESTROYED, static_cast<std::intptr_t>(window));
}

bool isColor(image::Rgb pel, desktop::Color c) {
    return pel.r == (c & 0xFF) && pel.g == ((c >> 8) & 0xFF) && pel.b == ((c >> 16) & 0xFF);
}

// The dither of a checked button: the pattern over the face around the
// image, the image's own pels left as they are.
void paintCheckedLook(desktop::DeviceContext& dc, const ToolBarState& s, const image::Image& strip, int button,
                      const Rect& r) {
    image::Image mask(22, 20, image::PixelFormat::Indexed1, 0xFF);  // every bit set
    for (int y = 0; y < kImageHeight; ++y)
        for (int x = 0; x < kImageWidth; ++x) {
            const image::Rgb pel = strip.pixel(kImageWidth * button + x, y);
            if (!isColor(pel, desktop::sysColor(desktop::COLOR_BTNFACE)) &&
                !isColor(pel, desktop::sysColor(desktop::COLOR_BTNHIGHLIGHT)))
                mask.setIndex(x + 1, y + 1, 0);
        }
    const int level = dc.save();
    dc.selectBrush(s.checkedLook);
    dc.setTextColor(0x000000);
    dc.setBkColor(0xFFFFFF);
    dc.stretchBlt({r.left + 2, r.top + 2, r.left + 22, r.top + 20}, mask, {0, 0, 20, 18}, desktop::kPatternWhereSource);
    (void)dc.restore(level);
}

void paint(WindowHandle window, const ToolBarState& s) {
    desktop::PaintDC dc(window);
    const image::Image* strip = annModule().toolStrip;
    for (int i = 0; i < kButtons; ++i) {
        if (s.slot[i] < 0) continue;
        const Rect r = slotRect(s.slot[i]);
        if (desktop::intersect(r, dc.paintRect()).empty()) continue;
        const bool pressed = s.state[i] & kPressed, checked = s.state[i] & kChecked;
        const bool sunken = pressed || checked;
        annDrawButtonFace(dc, {r.left, r.top, r.left + 24, r.top + 22}, sunken);
        if (!strip) continue;
        const int offset = sunken ? 4 : 3;
        dc.stretchBlt({r.left + offset, r.top + offset, r.left + offset + kImageWidth, r.top + offset + kImageHeight},
                      *strip, {kImageWidth * i, 0, kImageWidth * (i + 1), kImageHeight}, desktop::SRCCOPY);
        if (checked && !pressed) paintCheckedLook(dc, s, *strip, i, r);
    }
}

Point pointOf(std::intptr_t lParam) {
    const auto v = static_cast<std::uintptr_t>(lParam);
    return {desktop::lowSigned(v), desktop::highSigned(v)};
}

std::intptr_t mouse(WindowHandle window, ToolBarState& s, std::uint32_t message, Point p) {
    switch (message) {
    case desktop::WM_LBUTTONDOWN: {
        const int hit = buttonAt(s, p);
        if (hit < 0) return 0;
        s.pressed = hit;
        s.state[hit] |= kPressed;
        redraw(window, s, hit);
        (void)desktop::updateWindow(window);
        desktop::setCapture(window);
        return 0;
    }
    case desktop::WM_MOUSEMOVE: {
        if (s.pressed < 0) return 0;
        const int i = s.pressed;
        s.state[i] &= ~kPressed;
        const bool captured = desktop::captureWindow() == window;
        if (captured && buttonAt(s, p) == i) s.state[i] |= kPressed;
        if (!captured) s.pressed = -1;
        redraw(window, s, i);
        (void)desktop::updateWindow(window);
        return 0;
    }
    case desktop::WM_LBUTTONUP: {
        if (s.pressed < 0) return 0;
        const int i = s.pressed;
        s.pressed = -1;
        s.state[i] &= ~kPressed;
        if (desktop::captureWindow() == window) (void)desktop::releaseCapture();
        if (buttonAt(s, p) == i) {
            check(window, s, static_cast<std::uintptr_t>(i));
        } else {
            redraw(window, s, i);
            (void)desktop::updateWindow(window);
        }
        return 0;
    }
    default: return 0;
    }
}

}  // namespace

}  // namespace fg::annotation

using namespace fg::annotation;
namespace desktop = fg::desktop;

extern "C" {

intptr_t K_AnnToolBarWndProc(ANNWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    try {
        if (message == desktop::WM_CREATE) return create(window);
        if (message == desktop::WM_DESTROY) {
            destroy(window);
            return 0;
        }
        ToolBarState* s = stateOf(window);
        if (!s) return desktop::defWindowProc(window, message, wParam, lParam);
        switch (message) {
        case ANN_TOOLBAR_MESSAGE: return operate(window, *s, wParam, lParam);
        case desktop::WM_LBUTTONDOWN:
        case desktop::WM_MOUSEMOVE:
        case desktop::WM_LBUTTONUP: return mouse(window, *s, message, pointOf(lParam));
        case desktop::WM_PAINT: paint(window, *s); return 0;
        default: return desktop::defWindowProc(window, message, wParam, lParam);
        }
    } catch (...) {
        return annFailureResult();
    }
}

int32_t K_AnnCreateToolBar(ANNWND parent, const POINT* at, uint32_t align, int32_t show, ANNWND* toolBar) {
    return annGuard([&] {
        if (!toolBar) return ANN_ERROR_INVALID_PARAMETER;
        const int width = outerWidth(), height = outerHeight(16);
        desktop::Point p{0, 0};
        if (at) {
            p = {at->x, at->y};
        } else {
            const desktop::Rect client = desktop::clientRect(parent);
            if (align & ANN_TOOLBAR_RIGHT) p.x = client.right;
            if (align & ANN_TOOLBAR_BOTTOM) p.y = client.bottom;
        }
        if (align & ANN_TOOLBAR_RIGHT) p.x -= width;
        if (align & ANN_TOOLBAR_BOTTOM) p.y -= height;
        p = desktop::clientToScreen(parent, p);
        const desktop::WindowHandle window =
            desktop::createWindow(kToolBarClassName, "", desktop::WS_POPUP | desktop::WS_CAPTION | desktop::WS_SYSMENU,
                                  frame().exStyle, {p.x, p.y, p.x + width, p.y + height}, parent);
        *toolBar = window;
        if (window && show) {
            (void)desktop::showWindow(window, desktop::SW_SHOWNORMAL);
            (void)desktop::updateWindow(window);
        }
        return ANN_SUCCESS;
    });
}

int32_t K_AnnSetToolBarChecked(ANNWND toolBar, uint32_t button) {
    return static_cast<int32_t>(desktop::sendMessage(toolBar, ANN_TOOLBAR_MESSAGE, kCheck, button));
}

int32_t K_AnnGetToolBarChecked(ANNWND toolBar, uint32_t* button) {
    return static_cast<int32_t>(
        desktop::sendMessage(toolBar, ANN_TOOLBAR_MESSAGE, kGetChecked, reinterpret_cast<intptr_t>(button)));
}

int32_t K_AnnSetToolBarButtonVisible(ANNWND toolBar, uint32_t button, int32_t visible) {
    ButtonValue pair{button, &visible};
    return static_cast<int32_t>(
        desktop::sendMessage(toolBar, ANN_TOOLBAR_MESSAGE, kSetVisible, reinterpret_cast<intptr_t>(&pair)));
}

int32_t K_AnnGetToolBarButtonVisible(ANNWND toolBar, uint32_t button, int32_t* visible) {
    ButtonValue pair{button, visible};
    return static_cast<int32_t>(
        desktop::sendMessage(toolBar, ANN_TOOLBAR_MESSAGE, kGetVisible, reinterpret_cast<intptr_t>(&pair)));
}

}  // extern "C"
