#include "platform/desktop/dialog.h"

#include "platform/desktop/desktop_state.h"
#include "platform/desktop/font_engine.h"
#include "platform/text.h"

#include <algorithm>
#include <cstring>

namespace fg::desktop {

namespace {

std::shared_ptr<DialogDriver>& driver() {
    static std::shared_ptr<DialogDriver> d;
    return d;
}

std::intptr_t copyOut(const std::string& text, std::uintptr_t bytes, std::intptr_t buffer) {
    if (!buffer) return CB_ERR;
    const std::size_t n = bytes ? std::min<std::size_t>(bytes - 1, text.size()) : text.size();
    std::memcpy(reinterpret_cast<char*>(buffer), text.data(), n);
    reinterpret_cast<char*>(buffer)[n] = '\0';
    return static_cast<std::intptr_t>(n);
}

void notifyParent(WindowHandle control, unsigned code) {
    sendMessage(parentWindow(control), WM_COMMAND, makeWParam(windowId(control), static_cast<int>(code)),
                static_cast<std::intptr_t>(control));
}

std::intptr_t editProc(WindowHandle h, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (message == EM_LIMITTEXT) {
        detail::controlState(h)->textLimit = static_cast<int>(wParam);
        return 0;
    }
    return defWindowProc(h, message, wParam, lParam);
}

std::intptr_t comboProc(WindowHandle h, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    detail::ControlState& c = *detail::controlState(h);
    const auto index = static_cast<std::intptr_t>(wParam);
    const bool valid = index >= 0 && static_cast<std::size_t>(index) < c.items.size();
    switch (message) {
    case CB_ADDSTRING:
        c.items.emplace_back(lParam ? reinterpret_cast<const char*>(lParam) : "");
        return static_cast<std::intptr_t>(c.items.size() - 1);
    case CB_GETCOUNT: return static_cast<std::intptr_t>(c.items.size());
    case CB_GETCURSEL: return c.selection;
    case CB_SETCURSEL:
        c.selection = valid ? static_cast<int>(index) : -1;
        if (valid) detail::storedText(h) = c.items[static_cast<std::size_t>(index)];
        return valid ? index : CB_ERR;
    case CB_GETLBTEXTLEN: return valid ? static_cast<std::intptr_t>(c.items[static_cast<std::size_t>(index)].size()) : CB_ERR;
    case CB_GETLBTEXT: return valid ? copyOut(c.items[static_cast<std::size_t>(index)], 0, lParam) : CB_ERR;
    case CB_RESETCONTENT:
        c.items.clear();
        c.selection = -1;
        return 0;
    default: return defWindowProc(h, message, wParam, lParam);
    }
}

// The dialog's own procedure answers first; what it leaves goes the
// ordinary way.
std::intptr_t dialogWindowProc(WindowHandle h, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    detail::ControlState* c = detail::controlState(h);
    if (c && c->dialogProc && c->dialogProc(h, message, wParam, lParam)) return 1;
    return message == WM_CLOSE ? 0 : defWindowProc(h, message, wParam, lParam);
}

}  // namespace

WindowProc detail::builtInProcedure(std::string_view className) {
    auto is = [&](const char* name) { return text::iequals(className, name); };
    if (is("STATIC") || is("BUTTON")) return defWindowProc;
    if (is("EDIT")) return editProc;
    if (is("COMBOBOX")) return comboProc;
    if (is(kDialogClass)) return dialogWindowProc;
    return nullptr;
}

void setDialogDriver(std::shared_ptr<DialogDriver> d) { driver() = std::move(d); }

std::intptr_t dialogBox(const DialogTemplate& t, WindowHandle owner, WindowProc dialogProc, std::intptr_t initParam) {
    // Dialog units: a quarter of the font's average width, an eighth of its height.
    Font font;
    font.height = -(t.fontPoints * kScreenDpi + 36) / 72;
    font.faceName = t.fontName;
    const TextMetrics m = FontEngine::instance().metrics(font);
    auto pels = [&](const Rect& r) {
        return Rect{r.left * m.aveCharWidth / 4, r.top * m.height / 8, r.right * m.aveCharWidth / 4,
                    r.bottom * m.height / 8};
    };
    const Point origin = clientToScreen(owner, {0, 0});
    Rect frame = pels(t.frame);
    frame = {frame.left + origin.x, frame.top + origin.y, frame.right + origin.x, frame.bottom + origin.y};
    const WindowHandle dialog = createWindow(detail::kDialogClass, t.caption, t.style, 0, frame, owner);
    if (!dialog) return -1;
    detail::controlState(dialog)->dialogProc = dialogProc;
    WindowHandle first = 0;
    for (const DialogControl& c : t.controls) {
        const WindowHandle control =
            createWindow(c.className, c.text, c.style | WS_CHILD | WS_VISIBLE, 0, pels(c.frame), dialog, c.id);
        if (!control) {
            (void)destroyWindow(dialog);
            return -1;
        }
        if (!first) first = control;
    }
    if (sendMessage(dialog, WM_INITDIALOG, first, initParam)) setFocus(first);
    if (!detail::controlState(dialog)->dialogEnded) {
        DialogSession session(dialog);
        if (driver()) driver()->run(session);
        if (!session.ended()) session.click(IDCANCEL);
        if (!session.ended()) (void)endDialog(dialog, IDCANCEL);
    }
    const std::intptr_t result = detail::controlState(dialog)->dialogResult;
    (void)destroyWindow(dialog);
    return result;
}

bool endDialog(WindowHandle dialog, std::intptr_t result) {
    detail::ControlState* c = detail::controlState(dialog);
    if (!c || windowClassName(dialog) != detail::kDialogClass) return false;
    c->dialogEnded = true;
    c->dialogResult = result;
    return true;
}

WindowHandle dlgItem(WindowHandle dialog, int id) {
    for (WindowHandle h : childWindows(dialog))
        if (windowId(h) == id) return h;
    return 0;
}

bool setDlgItemText(WindowHandle dialog, int id, std::string_view utf8) { return setWindowText(dlgItem(dialog, id), utf8); }

std::string dlgItemText(WindowHandle dialog, int id, std::size_t bufferBytes) {
    std::string text = windowText(dlgItem(dialog, id));
    if (bufferBytes == 0) return {};
    if (text.size() > bufferBytes - 1) text.resize(bufferBytes - 1);
    return text;
}

std::intptr_t sendDlgItemMessage(WindowHandle dialog, int id, std::uint32_t message, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
    return sendMessage(dlgItem(dialog, id), message, wParam, lParam);
}

std::string DialogSession::caption() const { return windowText(dialog_); }
std::string DialogSession::text(int id) const { return dlgItemText(dialog_, id); }

void DialogSession::type(int id, std::string_view utf8) {
    const WindowHandle control = dlgItem(dialog_, id);
    const detail::ControlState* c = detail::controlState(control);
    if (!c || !isWindowEnabled(control)) return;
    std::string text(utf8);
    if (c->textLimit > 0 && text.size() > static_cast<std::size_t>(c->textLimit)) text.resize(static_cast<std::size_t>(c->textLimit));
    (void)setWindowText(control, text);
    notifyParent(control, EN_CHANGE);
}

std::vector<std::string> DialogSession::items(int id) const {
    const detail::ControlState* c = detail::controlState(dlgItem(dialog_, id));
    return c ? c->items : std::vector<std::string>{};
}

int DialogSession::selection(int id) const {
    return static_cast<int>(sendDlgItemMessage(dialog_, id, CB_GETCURSEL));
}

void DialogSession::select(int id, int index) {
    const WindowHandle control = dlgItem(dialog_, id);
    if (!isWindowEnabled(control)) return;
    sendMessage(control, CB_SETCURSEL, static_cast<std::uintptr_t>(index));
    notifyParent(control, CBN_SELCHANGE);
}

bool DialogSession::enabled(int id) const { return isWindowEnabled(dlgItem(dialog_, id)); }
bool DialogSession::exists(int id) const { return dlgItem(dialog_, id) != 0; }

void DialogSession::click(int id) {
    const WindowHandle control = dlgItem(dialog_, id);
    if (ended() || (control && !isWindowEnabled(control))) return;
    // The cancel command comes also from the system menu and Escape, with
    // or without a button.
    if (!control && id != IDCANCEL) return;
    sendMessage(dialog_, WM_COMMAND, makeWParam(id, BN_CLICKED), static_cast<std::intptr_t>(control));
}

bool DialogSession::ended() const {
    const detail::ControlState* c = detail::controlState(dialog_);
    return !c || c->dialogEnded;
}

std::intptr_t DialogSession::result() const {
    const detail::ControlState* c = detail::controlState(dialog_);
    return c ? c->dialogResult : 0;
}

void detail::resetDialogs() { driver().reset(); }

}  // namespace fg::desktop
