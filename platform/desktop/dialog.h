// Modal dialogs from templates, with the controls the engine's dialogs use
// (static texts, edit fields, combo boxes, buttons), run by a driver that
// plays the user: a test scripts it, the default one cancels. The dialog's
// procedure sees what it would see on a screen: WM_INITDIALOG, then
// WM_COMMAND from buttons and lists.
#pragma once

#include "platform/desktop/window.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fg::desktop {

inline constexpr int IDOK = 1, IDCANCEL = 2;
inline constexpr unsigned BN_CLICKED = 0, CBN_SELCHANGE = 1, EN_CHANGE = 0x300;
inline constexpr std::uint32_t EM_LIMITTEXT = 0x00C5, CB_ADDSTRING = 0x0143, CB_GETCOUNT = 0x0146,
                               CB_GETCURSEL = 0x0147, CB_GETLBTEXT = 0x0148, CB_GETLBTEXTLEN = 0x0149,
                               CB_RESETCONTENT = 0x014B, CB_SETCURSEL = 0x014E;
inline constexpr std::intptr_t CB_ERR = -1;
inline constexpr std::uint32_t DS_MODALFRAME = 0x80, ES_MULTILINE = 0x4, ES_AUTOVSCROLL = 0x40,
                               CBS_DROPDOWN = 0x2, CBS_DROPDOWNLIST = 0x3, BS_DEFPUSHBUTTON = 0x1;

struct DialogControl {
    int id = 0;
    std::string className;  // "STATIC", "EDIT", "COMBOBOX" or "BUTTON"
    std::string text;
    std::uint32_t style = 0;
    Rect frame;  // dialog units: left, top, right, bottom
};

struct DialogTemplate {
    std::string caption;
    std::uint32_t style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    Rect frame;  // dialog units
    std::string fontName;
    int fontPoints = 9;
    std::vector<DialogControl> controls;
};

// Creates the dialog and its controls, sends WM_INITDIALOG with
// `initParam`, lets the driver act, and answers what endDialog was given.
// A dialog the driver leaves open is cancelled: IDCANCEL is clicked, and a
// dialog that stays open even then ends with IDCANCEL. -1 when it cannot be
// made.
std::intptr_t dialogBox(const DialogTemplate& dialog, WindowHandle owner, WindowProc dialogProc,
                        std::intptr_t initParam);
[[nodiscard]] bool endDialog(WindowHandle dialog, std::intptr_t result);

WindowHandle dlgItem(WindowHandle dialog, int id);
[[nodiscard]] bool setDlgItemText(WindowHandle dialog, int id, std::string_view utf8);
// At most `bufferBytes` - 1 bytes of the text, as a buffer of that size holds.
std::string dlgItemText(WindowHandle dialog, int id, std::size_t bufferBytes = SIZE_MAX);
std::intptr_t sendDlgItemMessage(WindowHandle dialog, int id, std::uint32_t message, std::uintptr_t wParam = 0,
                                 std::intptr_t lParam = 0);

// An open dialog as its user sees it.
class DialogSession {
public:
    explicit DialogSession(WindowHandle dialog) : dialog_(dialog) {}
    WindowHandle window() const { return dialog_; }
    std::string caption() const;
    std::string text(int id) const;
    // Types into an edit field (as far as its limit lets).
    void type(int id, std::string_view utf8);
    std::vector<std::string> items(int id) const;
    int selection(int id) const;
    void select(int id, int index);
    [[nodiscard]] bool enabled(int id) const;
    [[nodiscard]] bool exists(int id) const;
    void click(int id);
    [[nodiscard]] bool ended() const;
    std::intptr_t result() const;

private:
    WindowHandle dialog_;
};

class DialogDriver {
public:
    virtual ~DialogDriver() = default;
    virtual void run(DialogSession& dialog) = 0;
};
// Null puts back the driver that cancels.
void setDialogDriver(std::shared_ptr<DialogDriver> driver);

}  // namespace fg::desktop
