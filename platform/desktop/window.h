// A headless window model: window classes and handles, replaceable window
// procedures, messages sent at once or posted to a queue that an explicit
// pump delivers, client surfaces with readable invalidation, paint, mouse
// capture, window properties and atoms. Everything runs on the caller's
// thread; a handle of a destroyed window names nothing and every call given
// one does nothing.
#pragma once

#include "platform/desktop/raster_dc.h"
#include "platform/desktop/system.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fg::desktop {

using WindowHandle = std::uintptr_t;  // 0: none
using WindowProc = std::intptr_t (*)(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam);

inline constexpr std::uint32_t WM_CREATE = 0x0001, WM_DESTROY = 0x0002, WM_SIZE = 0x0005, WM_SETFOCUS = 0x0007,
                               WM_SETTEXT = 0x000C, WM_GETTEXT = 0x000D, WM_GETTEXTLENGTH = 0x000E,
                               WM_PAINT = 0x000F, WM_CLOSE = 0x0010, WM_ERASEBKGND = 0x0014, WM_SETCURSOR = 0x0020,
                               WM_INITDIALOG = 0x0110, WM_COMMAND = 0x0111, WM_INITMENU = 0x0116,
                               WM_INITMENUPOPUP = 0x0117, WM_MOUSEMOVE = 0x0200, WM_LBUTTONDOWN = 0x0201,
                               WM_LBUTTONUP = 0x0202, WM_LBUTTONDBLCLK = 0x0203, WM_RBUTTONDOWN = 0x0204,
                               WM_RBUTTONUP = 0x0205, WM_USER = 0x0400;
inline constexpr std::uint32_t WS_POPUP = 0x80000000u, WS_CHILD = 0x40000000u, WS_VISIBLE = 0x10000000u,
                               WS_DISABLED = 0x08000000u, WS_CAPTION = 0x00C00000u, WS_BORDER = 0x00800000u,
                               WS_DLGFRAME = 0x00400000u, WS_VSCROLL = 0x00200000u, WS_SYSMENU = 0x00080000u,
                               WS_THICKFRAME = 0x00040000u, WS_TABSTOP = 0x00010000u, WS_EX_TOOLWINDOW = 0x80u;
inline constexpr unsigned CS_VREDRAW = 1, CS_HREDRAW = 2, CS_DBLCLKS = 8, CS_GLOBALCLASS = 0x4000;
inline constexpr int SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOW = 5;
inline constexpr int HTCLIENT = 1;
inline constexpr unsigned MK_LBUTTON = 1, MK_RBUTTON = 2, MK_SHIFT = 4, MK_CONTROL = 8;

// Two 16-bit halves in one parameter; the mouse messages carry x and y so.
constexpr std::intptr_t makeLParam(int low, int high) {
    return static_cast<std::intptr_t>(static_cast<std::uint32_t>((low & 0xFFFF) | ((high & 0xFFFF) << 16)));
}
constexpr std::uintptr_t makeWParam(int low, int high) { return static_cast<std::uintptr_t>(makeLParam(low, high)); }
constexpr int lowWord(std::uintptr_t v) { return static_cast<int>(v & 0xFFFF); }
constexpr int highWord(std::uintptr_t v) { return static_cast<int>((v >> 16) & 0xFFFF); }
// The signed halves, as mouse positions left of or above a window are.
constexpr int lowSigned(std::uintptr_t v) { return static_cast<std::int16_t>(v & 0xFFFF); }
constexpr int highSigned(std::uintptr_t v) { return static_cast<std::int16_t>((v >> 16) & 0xFFFF); }

struct WindowClass {
    std::string name;  // matched without regard to case
    unsigned style = 0;
    WindowProc procedure = nullptr;
    int extraBytes = 0;  // window words of 4 bytes each, zero at creation
    CursorHandle cursor = 0;
    std::optional<Color> background;  // painted when a paint asks to erase
};
// False when a class of the name exists or the class has no procedure.
[[nodiscard]] bool registerClass(const WindowClass& windowClass);
[[nodiscard]] bool unregisterClass(std::string_view name);

// What WM_CREATE's lParam points to.
struct CreateStruct {
    std::intptr_t createParam = 0;
    WindowHandle parent = 0;
    Rect frame;
    std::uint32_t style = 0, exStyle = 0;
    std::string className, title;
};

// `frame` is the outer rectangle: in screen coordinates, or for WS_CHILD in
// the parent's client coordinates; `parent` is the owner of a popup. A
// child's `id` names it in its parent. 0 when the class is unknown or
// WM_CREATE answers -1 (the window is then destroyed).
WindowHandle createWindow(std::string_view className, std::string_view title, std::uint32_t style,
                          std::uint32_t exStyle, const Rect& frame, WindowHandle parent, int id = 0,
                          std::intptr_t createParam = 0);
// Sends WM_DESTROY, then destroys its child and owned windows.
[[nodiscard]] bool destroyWindow(WindowHandle window);
[[nodiscard]] bool isWindow(WindowHandle window);

std::intptr_t sendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam = 0,
                          std::intptr_t lParam = 0);
[[nodiscard]] bool postMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
struct Message {
    WindowHandle window = 0;
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};
// The explicit pump: delivers the posted messages in order, those posted
// meanwhile too, and then paints every window that has something to paint.
// Answers how many messages it delivered.
int dispatchMessages();
// The messages waiting, first to be delivered first.
std::vector<Message> queuedMessages();
std::intptr_t callWindowProc(WindowProc procedure, WindowHandle window, std::uint32_t message,
                             std::uintptr_t wParam, std::intptr_t lParam);
// What a window does with a message it does not handle: texts, erasing with
// the class background, the class cursor in the client area, painting
// (validating), closing.
std::intptr_t defWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                            std::intptr_t lParam);

WindowProc windowProc(WindowHandle window);
// Answers the procedure replaced; messages go to the new one from now on.
WindowProc setWindowProc(WindowHandle window, WindowProc procedure);
std::intptr_t windowWord(WindowHandle window, int index);
std::intptr_t setWindowWord(WindowHandle window, int index, std::intptr_t value);
std::intptr_t windowUserData(WindowHandle window);
std::intptr_t setWindowUserData(WindowHandle window, std::intptr_t value);
std::string windowClassName(WindowHandle window);
std::uint32_t windowStyle(WindowHandle window);
std::uint32_t windowExStyle(WindowHandle window);
WindowHandle parentWindow(WindowHandle window);  // the parent of a child, the owner of a popup
// The children and owned windows, in the order they were made.
std::vector<WindowHandle> childWindows(WindowHandle window);
int windowId(WindowHandle window);
[[nodiscard]] bool setWindowText(WindowHandle window, std::string_view utf8);
std::string windowText(WindowHandle window);

// The outer rectangle in screen coordinates; the client rectangle from
// (0, 0), inside the frame and caption that the style gives.
Rect windowRect(WindowHandle window);
Rect clientRect(WindowHandle window);
Point clientToScreen(WindowHandle window, Point p);
Point screenToClient(WindowHandle window, Point p);
// As createWindow takes the frame; WM_SIZE follows a change of size.
[[nodiscard]] bool moveWindow(WindowHandle window, const Rect& frame, bool repaint);
[[nodiscard]] bool showWindow(WindowHandle window, int command);
[[nodiscard]] bool isWindowVisible(WindowHandle window);
[[nodiscard]] bool enableWindow(WindowHandle window, bool enable);  // answers whether it was disabled
[[nodiscard]] bool isWindowEnabled(WindowHandle window);
WindowHandle setFocus(WindowHandle window);
WindowHandle focusWindow();

// Invalidation, in client coordinates (null: the whole client area). The
// rectangles given since the last paint stay readable, in order.
[[nodiscard]] bool invalidateRect(WindowHandle window, const Rect* rect, bool erase);
[[nodiscard]] bool validateRect(WindowHandle window, const Rect* rect);
std::vector<Rect> invalidRects(WindowHandle window);
Rect updateRect(WindowHandle window);  // the bounds of what is to paint
// Paints at once (WM_PAINT) when there is something to paint.
[[nodiscard]] bool updateWindow(WindowHandle window);
// The pels of the client area.
const image::Image& windowSurface(WindowHandle window);

// A context on a window's client surface; window 0 gives one on a screen of
// one pel, for its device queries.
struct SurfaceHold {
    std::shared_ptr<image::Image> held;  // kept while a context draws on it
};
class WindowDC : private SurfaceHold, public RasterDC {
public:
    explicit WindowDC(WindowHandle window);
    ~WindowDC() override;
    WindowHandle window() const { return window_; }

protected:
    explicit WindowDC(WindowHandle window, std::shared_ptr<image::Image> surface);

private:
    WindowHandle window_;
};
std::unique_ptr<WindowDC> getDC(WindowHandle window);

// Begin and end of a paint: clipped to what is to paint, erased first when
// that was asked (WM_ERASEBKGND with the context in wParam); the window is
// valid afterwards.
class PaintDC : public WindowDC {
public:
    explicit PaintDC(WindowHandle window);
    const Rect& paintRect() const { return paint_; }

private:
    Rect paint_;
};

WindowHandle setCapture(WindowHandle window);  // answers the window that had it
[[nodiscard]] bool releaseCapture();
WindowHandle captureWindow();

// Atoms: one number for a name (matched without regard to case) while it
// has been added more often than deleted.
using Atom = std::uint16_t;
Atom addAtom(std::string_view name);
Atom deleteAtom(Atom atom);  // 0 when done
Atom findAtom(std::string_view name);
std::string atomName(Atom atom);
// Window properties, by name (matched without regard to case) or by atom.
[[nodiscard]] bool setProp(WindowHandle window, std::string_view name, std::intptr_t value);
std::intptr_t getProp(WindowHandle window, std::string_view name);
std::intptr_t removeProp(WindowHandle window, std::string_view name);
[[nodiscard]] bool setProp(WindowHandle window, Atom atom, std::intptr_t value);
std::intptr_t getProp(WindowHandle window, Atom atom);
std::intptr_t removeProp(WindowHandle window, Atom atom);

// Every window, class, queued message, atom, cursor, clipboard content and
// driver of the process is gone; for tests that start afresh.
void resetDesktop();

}  // namespace fg::desktop
