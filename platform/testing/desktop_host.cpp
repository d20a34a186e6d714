#include "platform/testing/desktop_host.h"

namespace fg::testing {

using namespace desktop;

namespace {

constexpr const char* kHostClass = "FaxgateTestHost";

std::map<WindowHandle, HostWindow*>& hosts() {
    static std::map<WindowHandle, HostWindow*> h;
    return h;
}

template <class T>
std::optional<T> next(std::deque<std::optional<T>>& queue) {
    if (queue.empty()) return std::nullopt;
    std::optional<T> v = std::move(queue.front());
    queue.pop_front();
    return v;
}

std::vector<ShownMenuItem> snapshot(MenuHandle menu) {
    std::vector<ShownMenuItem> out;
    for (const MenuItem& item : menuItems(menu))
        out.push_back({item.text, item.id, item.enabled(), (item.flags & MF_SEPARATOR) != 0,
                       (item.flags & MF_POPUP) ? snapshot(item.submenu) : std::vector<ShownMenuItem>{}});
    return out;
}

}  // namespace

HostWindow::HostWindow(Size size) {
    (void)registerClass({kHostClass, CS_DBLCLKS, &HostWindow::procedure, 0, arrowCursor(), 0xFFFFFF});
    handle_ = createWindow(kHostClass, "host", WS_POPUP | WS_VISIBLE, 0, {100, 100, 100 + size.cx, 100 + size.cy}, 0);
    hosts()[handle_] = this;
    log_.clear();
}

HostWindow::~HostWindow() {
    hosts().erase(handle_);
    (void)destroyWindow(handle_);
}

std::intptr_t HostWindow::procedure(WindowHandle h, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    auto it = hosts().find(h);
    if (it == hosts().end()) return defWindowProc(h, message, wParam, lParam);
    HostWindow& host = *it->second;
    host.log_.push_back({h, message, wParam, lParam});
    if (auto a = host.answer.find(message); a != host.answer.end()) return a->second;
    if (message == WM_PAINT && host.paint) {
        PaintDC dc(h);
        host.paint(dc, dc.paintRect());
        return 0;
    }
    return defWindowProc(h, message, wParam, lParam);
}

std::vector<Message> HostWindow::messages(std::uint32_t message) const {
    std::vector<Message> out;
    for (const Message& m : log_)
        if (m.message == message) out.push_back(m);
    return out;
}

std::intptr_t HostWindow::mouse(std::uint32_t message, Point client, unsigned keys) {
    setCursorPos(clientToScreen(handle_, client));
    return sendMessage(handle_, message, keys, makeLParam(client.x, client.y));
}

void HostWindow::drag(const std::vector<Point>& path, unsigned keys) {
    if (path.empty()) return;
    mouse(WM_LBUTTONDOWN, path.front(), keys | MK_LBUTTON);
    for (std::size_t i = 1; i < path.size(); ++i) mouse(WM_MOUSEMOVE, path[i], keys | MK_LBUTTON);
    mouse(WM_LBUTTONUP, path.back(), keys);
}

std::vector<std::pair<std::uintptr_t, std::intptr_t>> HostWindow::notifications() const {
    std::vector<std::pair<std::uintptr_t, std::intptr_t>> out;
    for (const Message& m : messages(0x600)) out.emplace_back(m.wParam, m.lParam);
    return out;
}

std::vector<Point> changedPels(const image::Image& before, const image::Image& after, const std::vector<Rect>& except) {
    std::vector<Point> out;
    for (int y = 0; y < std::min(before.height(), after.height()); ++y)
        for (int x = 0; x < std::min(before.width(), after.width()); ++x) {
            if (before.pixel(x, y) == after.pixel(x, y)) continue;
            bool excepted = false;
            for (const Rect& r : except) excepted = excepted || r.contains({x, y});
            if (!excepted) out.push_back({x, y});
        }
    return out;
}

std::shared_ptr<ScriptedMenuDriver> ScriptedMenuDriver::install() {
    auto d = std::make_shared<ScriptedMenuDriver>();
    setMenuDriver(d);
    return d;
}

unsigned ScriptedMenuDriver::choose(MenuHandle menu, Point screen, WindowHandle) {
    shown.push_back(snapshot(menu));
    shownAt.push_back(screen);
    if (choices.empty()) return 0;
    const unsigned c = choices.front();
    choices.pop_front();
    return c;
}

std::shared_ptr<ScriptedDialogDriver> ScriptedDialogDriver::install() {
    auto d = std::make_shared<ScriptedDialogDriver>();
    setDialogDriver(d);
    return d;
}

void ScriptedDialogDriver::run(DialogSession& dialog) {
    captions.push_back(dialog.caption());
    if (scripts.empty()) return;
    auto script = std::move(scripts.front());
    scripts.pop_front();
    if (script) script(dialog);
}

std::shared_ptr<ScriptedCommonDialogs> ScriptedCommonDialogs::install() {
    auto d = std::make_shared<ScriptedCommonDialogs>();
    setCommonDialogDriver(d);
    return d;
}

std::optional<Color> ScriptedCommonDialogs::chooseColor(ColorRequest& request) {
    colorRequests.push_back(request);
    return next(colors);
}

std::optional<FontChoice> ScriptedCommonDialogs::chooseFont(const FontRequest& request) {
    fontRequests.push_back(request);
    return next(fonts);
}

std::optional<std::string> ScriptedCommonDialogs::openFile(const OpenFileRequest& request) {
    fileRequests.push_back(request);
    return next(files);
}

}  // namespace fg::testing
