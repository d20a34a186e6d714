#include "platform/desktop/window.h"

#include "platform/desktop/desktop_state.h"
#include "platform/text.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <utility>

namespace fg::desktop {

namespace {

struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const { return text::icompare(a, b) < 0; }
};

struct Window {
    std::uint32_t generation = 0;
    bool alive = false;
    std::string className;
    WindowProc procedure = nullptr;
    std::string text;
    std::uint32_t style = 0, exStyle = 0;
    Rect frame;  // screen coordinates
    WindowHandle parent = 0;
    int id = 0;
    std::vector<std::intptr_t> words;
    std::intptr_t userData = 0;
    std::map<std::string, std::intptr_t, CaseLess> props;
    std::shared_ptr<image::Image> surface;
    std::vector<Rect> invalid;
    bool erase = false;
    detail::ControlState control;
    std::uint32_t order = 0;  // when it was made
};

struct Desktop {
    std::map<std::string, WindowClass, CaseLess> classes;
    std::vector<std::unique_ptr<Window>> windows;
    std::deque<Message> queue;
    WindowHandle capture = 0, focus = 0;
    std::map<std::string, std::pair<Atom, int>, CaseLess> atoms;  // name: atom, count
    Atom nextAtom = 0xC000;
    std::uint32_t made = 0;
};

Desktop& desk() {
    static Desktop d;
    return d;
}

// A handle is the slot's generation above its index, so a slot used again
// gives new handles.
WindowHandle handleOf(std::size_t index, std::uint32_t generation) {
    return (static_cast<WindowHandle>(generation) << 24) | (index + 1);
}

Window* find(WindowHandle h) {
    const std::size_t index = (h & 0xFFFFFF) - 1;
    auto& ws = desk().windows;
    if (h == 0 || index >= ws.size() || !ws[index]->alive) return nullptr;
    Window* w = ws[index].get();
    return handleOf(index, w->generation) == h ? w : nullptr;
}

// The frame and caption inside the outer rectangle that a style gives.
Rect clientInScreen(const Window& w) {
    int bx = 0, by = 0;
    if (w.style & WS_THICKFRAME) bx = systemMetric(SM_CXFRAME), by = systemMetric(SM_CYFRAME);
    else if (w.style & WS_DLGFRAME) bx = systemMetric(SM_CXDLGFRAME), by = systemMetric(SM_CYDLGFRAME);
    else if (w.style & WS_BORDER) bx = systemMetric(SM_CXBORDER), by = systemMetric(SM_CYBORDER);
    int caption = 0;
    if ((w.style & WS_CAPTION) == WS_CAPTION)
        caption = systemMetric((w.exStyle & WS_EX_TOOLWINDOW) ? SM_CYSMCAPTION : SM_CYCAPTION);
    Rect c{w.frame.left + bx, w.frame.top + by + caption, w.frame.right - bx, w.frame.bottom - by};
    if (c.right < c.left) c.right = c.left;
    if (c.bottom < c.top) c.bottom = c.top;
    return c;
}

void sizeSurface(Window& w) {
    const Rect c = clientInScreen(w);
    const int width = std::max(1, c.width()), height = std::max(1, c.height());
    if (w.surface && w.surface->width() == width && w.surface->height() == height) return;
    auto fresh = std::make_shared<image::Image>(width, height, image::PixelFormat::Rgb32);
    if (w.surface)
        for (int y = 0; y < std::min(height, w.surface->height()); ++y)
            std::memcpy(fresh->row(y), w.surface->row(y),
                        static_cast<std::size_t>(std::min(width, w.surface->width())) * 4);
    w.surface = std::move(fresh);
}

Rect toScreen(WindowHandle parent, std::uint32_t style, const Rect& frame) {
    if (!(style & WS_CHILD)) return frame;
    const Point o = clientToScreen(parent, {0, 0});
    return {frame.left + o.x, frame.top + o.y, frame.right + o.x, frame.bottom + o.y};
}

void destroyAll() {
    for (std::size_t i = 0; i < desk().windows.size(); ++i) {
        Window& w = *desk().windows[i];
        if (w.alive) (void)destroyWindow(handleOf(i, w.generation));
    }
}

}  // namespace

namespace detail {

detail::ControlState* controlState(WindowHandle h) {
    Window* w = find(h);
    return w ? &w->control : nullptr;
}

std::string& storedText(WindowHandle h) {
    static std::string none;
    Window* w = find(h);
    if (!w) return none = {};
    return w->text;
}

}  // namespace detail

bool registerClass(const WindowClass& c) {
    if (c.name.empty() || !c.procedure || desk().classes.count(c.name)) return false;
    desk().classes[c.name] = c;
    return true;
}

bool unregisterClass(std::string_view name) { return desk().classes.erase(std::string(name)) > 0; }

WindowHandle createWindow(std::string_view className, std::string_view title, std::uint32_t style,
                          std::uint32_t exStyle, const Rect& frame, WindowHandle parent, int id,
                          std::intptr_t createParam) {
    WindowClass c;
    if (auto it = desk().classes.find(std::string(className)); it != desk().classes.end()) c = it->second;
    else if (WindowProc builtIn = detail::builtInProcedure(className)) c = {std::string(className), 0, builtIn, 0, 0, {}};
    else return 0;
    if ((style & WS_CHILD) && !find(parent)) return 0;

    auto& ws = desk().windows;
    std::size_t index = 0;
    while (index < ws.size() && ws[index]->alive) ++index;
    if (index == ws.size()) ws.push_back(std::make_unique<Window>());
    Window& w = *ws[index];
    const std::uint32_t generation = w.generation + 1;
    w = Window{};
    w.generation = generation;
    w.order = ++desk().made;
    w.alive = true;
    w.className = c.name;
    w.procedure = c.procedure;
    w.text = std::string(title);
    w.style = style;
    w.exStyle = exStyle;
    w.parent = parent;
    w.id = id;
    w.frame = toScreen(parent, style, normalized(frame));
    w.words.assign(static_cast<std::size_t>((std::max(0, c.extraBytes) + 3) / 4), 0);
    sizeSurface(w);
    if (c.background) {
        const Color bg = *c.background;
        w.surface = std::make_shared<image::Image>(w.surface->width(), w.surface->height(), image::PixelFormat::Rgb32);
        RasterDC(*w.surface).fillRect({0, 0, w.surface->width(), w.surface->height()}, Brush::solid(bg));
    }
    const WindowHandle h = handleOf(index, generation);

    CreateStruct cs{createParam, parent, frame, style, exStyle, c.name, std::string(title)};
    if (sendMessage(h, WM_CREATE, 0, reinterpret_cast<std::intptr_t>(&cs)) == -1) {
        (void)destroyWindow(h);
        return 0;
    }
    return isWindow(h) ? h : 0;
}

bool destroyWindow(WindowHandle h) {
    if (!find(h)) return false;
    sendMessage(h, WM_DESTROY);
    for (WindowHandle child : childWindows(h)) (void)destroyWindow(child);
    Window* w = find(h);
    if (!w) return true;  // it went while its own messages ran
    if (desk().capture == h) desk().capture = 0;
    if (desk().focus == h) desk().focus = 0;
    w->alive = false;
    w->props.clear();
    w->surface.reset();
    return true;
}

bool isWindow(WindowHandle h) { return find(h) != nullptr; }

std::intptr_t sendMessage(WindowHandle h, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    Window* w = find(h);
    if (!w) return 0;
    return w->procedure(h, message, wParam, lParam);
}

bool postMessage(WindowHandle h, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (!find(h)) return false;
    desk().queue.push_back({h, message, wParam, lParam});
    return true;
}

int dispatchMessages() {
    int delivered = 0;
    for (;;) {
        while (!desk().queue.empty()) {
            const Message m = desk().queue.front();
            desk().queue.pop_front();
            if (!find(m.window)) continue;
            sendMessage(m.window, m.message, m.wParam, m.lParam);
            ++delivered;
        }
        // Paints come when nothing else waits, as they do on a screen.
        bool painted = false;
        for (std::size_t i = 0; i < desk().windows.size(); ++i) {
            Window& w = *desk().windows[i];
            if (w.alive && !w.invalid.empty()) {
                (void)updateWindow(handleOf(i, w.generation));
                painted = true;
            }
        }
        if (!painted && desk().queue.empty()) return delivered;
    }
}

std::vector<Message> queuedMessages() { return {desk().queue.begin(), desk().queue.end()}; }

std::intptr_t callWindowProc(WindowProc procedure, WindowHandle h, std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) {
    return procedure ? procedure(h, message, wParam, lParam) : 0;
}

std::intptr_t defWindowProc(WindowHandle h, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    Window* w = find(h);
    if (!w) return 0;
    switch (message) {
    case WM_SETTEXT:
        w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        return 1;
    case WM_GETTEXTLENGTH: return static_cast<std::intptr_t>(w->text.size());
    case WM_GETTEXT: {
        if (wParam == 0 || !lParam) return 0;
        const std::size_t n = std::min<std::size_t>(wParam - 1, w->text.size());
        std::memcpy(reinterpret_cast<char*>(lParam), w->text.data(), n);
        reinterpret_cast<char*>(lParam)[n] = '\0';
        return static_cast<std::intptr_t>(n);
    }
    case WM_ERASEBKGND: {
        auto it = desk().classes.find(w->className);
        if (it == desk().classes.end() || !it->second.background || !wParam) return 0;
        auto* dc = reinterpret_cast<DeviceContext*>(wParam);
        dc->fillRect(clientRect(h), Brush::solid(*it->second.background));
        return 1;
    }
    case WM_SETCURSOR: {
        auto it = desk().classes.find(w->className);
        if (lowWord(static_cast<std::uintptr_t>(lParam)) != HTCLIENT || it == desk().classes.end() ||
            !it->second.cursor)
            return 0;
        setCursor(it->second.cursor);
        return 1;
    }
    case WM_PAINT: {
        PaintDC paint(h);
        return 0;
    }
    case WM_CLOSE: (void)destroyWindow(h); return 0;
    default: return 0;
    }
}

WindowProc windowProc(WindowHandle h) {
    Window* w = find(h);
    return w ? w->procedure : nullptr;
}

WindowProc setWindowProc(WindowHandle h, WindowProc procedure) {
    Window* w = find(h);
    if (!w || !procedure) return nullptr;
    return std::exchange(w->procedure, procedure);
}

std::intptr_t windowWord(WindowHandle h, int index) {
    Window* w = find(h);
    if (!w || index < 0 || static_cast<std::size_t>(index) >= w->words.size()) return 0;
    return w->words[static_cast<std::size_t>(index)];
}

std::intptr_t setWindowWord(WindowHandle h, int index, std::intptr_t value) {
    Window* w = find(h);
    if (!w || index < 0 || static_cast<std::size_t>(index) >= w->words.size()) return 0;
    return std::exchange(w->words[static_cast<std::size_t>(index)], value);
}

std::intptr_t windowUserData(WindowHandle h) {
    Window* w = find(h);
    return w ? w->userData : 0;
}

std::intptr_t setWindowUserData(WindowHandle h, std::intptr_t value) {
    Window* w = find(h);
    return w ? std::exchange(w->userData, value) : 0;
}

std::string windowClassName(WindowHandle h) {
    Window* w = find(h);
    return w ? w->className : std::string();
}
std::uint32_t windowStyle(WindowHandle h) {
    Window* w = find(h);
    return w ? w->style : 0;
}
std::uint32_t windowExStyle(WindowHandle h) {
    Window* w = find(h);
    return w ? w->exStyle : 0;
}
WindowHandle parentWindow(WindowHandle h) {
    Window* w = find(h);
    return w ? w->parent : 0;
}
std::vector<WindowHandle> childWindows(WindowHandle h) {
    std::vector<std::pair<std::uint32_t, WindowHandle>> found;  // creation order, handle
    auto& ws = desk().windows;
    for (std::size_t i = 0; i < ws.size(); ++i)
        if (h && ws[i]->alive && ws[i]->parent == h) found.push_back({ws[i]->order, handleOf(i, ws[i]->generation)});
    std::sort(found.begin(), found.end());
    std::vector<WindowHandle> out;
    for (const auto& f : found) out.push_back(f.second);
    return out;
}

int windowId(WindowHandle h) {
    Window* w = find(h);
    return w ? w->id : 0;
}

bool setWindowText(WindowHandle h, std::string_view utf8) {
    const std::string text(utf8);
    return find(h) && sendMessage(h, WM_SETTEXT, 0, reinterpret_cast<std::intptr_t>(text.c_str())) != 0;
}

std::string windowText(WindowHandle h) {
    if (!find(h)) return {};
    const auto length = static_cast<std::size_t>(std::max<std::intptr_t>(0, sendMessage(h, WM_GETTEXTLENGTH)));
    std::string text(length + 1, '\0');
    const auto got = sendMessage(h, WM_GETTEXT, text.size(), reinterpret_cast<std::intptr_t>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<std::intptr_t>(0, got)));
    return text;
}

Rect windowRect(WindowHandle h) {
    Window* w = find(h);
    return w ? w->frame : Rect{};
}

Rect clientRect(WindowHandle h) {
    Window* w = find(h);
    if (!w) return {};
    const Rect c = clientInScreen(*w);
    return {0, 0, c.width(), c.height()};
}

Point clientToScreen(WindowHandle h, Point p) {
    Window* w = find(h);
    if (!w) return p;
    const Rect c = clientInScreen(*w);
    return {p.x + c.left, p.y + c.top};
}

Point screenToClient(WindowHandle h, Point p) {
    Window* w = find(h);
    if (!w) return p;
    const Rect c = clientInScreen(*w);
    return {p.x - c.left, p.y - c.top};
}

bool moveWindow(WindowHandle h, const Rect& frame, bool repaint) {
    Window* w = find(h);
    if (!w) return false;
    const Rect before = clientRect(h);
    w->frame = toScreen(w->parent, w->style, normalized(frame));
    sizeSurface(*w);
    const Rect after = clientRect(h);
    if (repaint) (void)invalidateRect(h, nullptr, true);
    if (before.width() != after.width() || before.height() != after.height())
        sendMessage(h, WM_SIZE, 0, makeLParam(after.width(), after.height()));
    return true;
}

bool showWindow(WindowHandle h, int command) {
    Window* w = find(h);
    if (!w) return false;
    const bool was = (w->style & WS_VISIBLE) != 0;
    if (command == SW_HIDE) w->style &= ~WS_VISIBLE;
    else w->style |= WS_VISIBLE;
    if (!was && command != SW_HIDE) (void)invalidateRect(h, nullptr, true);
    return was;
}

bool isWindowVisible(WindowHandle h) { return (windowStyle(h) & WS_VISIBLE) != 0; }

bool enableWindow(WindowHandle h, bool enable) {
    Window* w = find(h);
    if (!w) return false;
    const bool wasDisabled = (w->style & WS_DISABLED) != 0;
    if (enable) w->style &= ~WS_DISABLED;
    else w->style |= WS_DISABLED;
    return wasDisabled;
}

bool isWindowEnabled(WindowHandle h) { return find(h) && !(windowStyle(h) & WS_DISABLED); }

WindowHandle setFocus(WindowHandle h) {
    const WindowHandle old = desk().focus;
    if (find(h)) {
        desk().focus = h;
        sendMessage(h, WM_SETFOCUS, old);
    }
    return old;
}

WindowHandle focusWindow() { return find(desk().focus) ? desk().focus : 0; }

bool invalidateRect(WindowHandle h, const Rect* rect, bool erase) {
    Window* w = find(h);
    if (!w) return false;
    const Rect r = intersect(rect ? normalized(*rect) : clientRect(h), clientRect(h));
    if (!r.empty()) w->invalid.push_back(r);
    w->erase = w->erase || erase;
    return true;
}

bool validateRect(WindowHandle h, const Rect* rect) {
    Window* w = find(h);
    if (!w) return false;
    if (!rect) {
        w->invalid.clear();
        w->erase = false;
        return true;
    }
    // Rectangles wholly inside the one validated are done.
    const Rect v = normalized(*rect);
    std::erase_if(w->invalid, [&](const Rect& r) { return intersect(r, v) == r; });
    if (w->invalid.empty()) w->erase = false;
    return true;
}

std::vector<Rect> invalidRects(WindowHandle h) {
    Window* w = find(h);
    return w ? w->invalid : std::vector<Rect>{};
}

Rect updateRect(WindowHandle h) {
    Rect u;
    for (const Rect& r : invalidRects(h)) u = unite(u, r);
    return u;
}

bool updateWindow(WindowHandle h) {
    Window* w = find(h);
    if (!w) return false;
    if (!w->invalid.empty()) {
        sendMessage(h, WM_PAINT);
        // A procedure that does not paint leaves nothing to paint all the same.
        if (Window* again = find(h)) again->invalid.clear(), again->erase = false;
    }
    return true;
}

const image::Image& windowSurface(WindowHandle h) {
    static const image::Image none;
    Window* w = find(h);
    return w ? *w->surface : none;
}

namespace {
std::shared_ptr<image::Image> surfaceOf(WindowHandle h) {
    if (Window* w = find(h)) return w->surface;
    return std::make_shared<image::Image>(1, 1, image::PixelFormat::Rgb32);
}
}  // namespace

WindowDC::WindowDC(WindowHandle window) : WindowDC(window, surfaceOf(window)) {}
WindowDC::WindowDC(WindowHandle window, std::shared_ptr<image::Image> surface)
    : SurfaceHold{std::move(surface)}, RasterDC(*held, DT_RASDISPLAY, kScreenDpi, kScreenDpi), window_(window) {}
WindowDC::~WindowDC() = default;

std::unique_ptr<WindowDC> getDC(WindowHandle window) { return std::make_unique<WindowDC>(window); }

PaintDC::PaintDC(WindowHandle window) : WindowDC(window), paint_(updateRect(window)) {
    Window* w = find(window);
    const bool erase = w && w->erase;
    (void)validateRect(window, nullptr);
    intersectClipRect(paint_);
    if (erase) sendMessage(window, WM_ERASEBKGND, reinterpret_cast<std::uintptr_t>(static_cast<DeviceContext*>(this)));
}

WindowHandle setCapture(WindowHandle h) {
    if (!find(h)) return 0;
    return std::exchange(desk().capture, h);
}

bool releaseCapture() {
    desk().capture = 0;
    return true;
}

WindowHandle captureWindow() { return find(desk().capture) ? desk().capture : 0; }

Atom addAtom(std::string_view name) {
    if (name.empty()) return 0;
    auto [it, added] = desk().atoms.try_emplace(std::string(name), std::pair<Atom, int>{0, 0});
    if (added) it->second.first = desk().nextAtom++;
    ++it->second.second;
    return it->second.first;
}

Atom deleteAtom(Atom atom) {
    for (auto it = desk().atoms.begin(); it != desk().atoms.end(); ++it)
        if (it->second.first == atom) {
            if (--it->second.second == 0) desk().atoms.erase(it);
            return 0;
        }
    return atom;
}

Atom findAtom(std::string_view name) {
    auto it = desk().atoms.find(std::string(name));
    return it == desk().atoms.end() ? 0 : it->second.first;
}

std::string atomName(Atom atom) {
    for (const auto& [name, entry] : desk().atoms)
        if (entry.first == atom) return name;
    return {};
}

bool setProp(WindowHandle h, std::string_view name, std::intptr_t value) {
    Window* w = find(h);
    if (!w || name.empty()) return false;
    w->props[std::string(name)] = value;
    return true;
}

std::intptr_t getProp(WindowHandle h, std::string_view name) {
    Window* w = find(h);
    if (!w) return 0;
    auto it = w->props.find(std::string(name));
    return it == w->props.end() ? 0 : it->second;
}

std::intptr_t removeProp(WindowHandle h, std::string_view name) {
    Window* w = find(h);
    if (!w) return 0;
    auto it = w->props.find(std::string(name));
    if (it == w->props.end()) return 0;
    const std::intptr_t value = it->second;
    w->props.erase(it);
    return value;
}

bool setProp(WindowHandle h, Atom atom, std::intptr_t value) { return setProp(h, atomName(atom), value); }
std::intptr_t getProp(WindowHandle h, Atom atom) { return getProp(h, atomName(atom)); }
std::intptr_t removeProp(WindowHandle h, Atom atom) { return removeProp(h, atomName(atom)); }

void resetDesktop() {
    destroyAll();
    Desktop& d = desk();
    d.classes.clear();
    d.queue.clear();
    d.capture = d.focus = 0;
    d.atoms.clear();
    detail::resetMenus();
    detail::resetDialogs();
    detail::resetClipboard();
    detail::resetSound();
    detail::resetSystem();
}

}  // namespace fg::desktop
