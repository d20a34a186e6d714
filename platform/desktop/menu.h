// Popup menus whose choice comes from a driver: a test scripts it, the
// default one dismisses every menu. Tracking a menu tells its owner
// (WM_INITMENU, WM_INITMENUPOPUP) and posts the chosen command as
// WM_COMMAND, so it arrives with the next pump, before anything posted
// after the menu.
#pragma once

#include "platform/desktop/window.h"

#include <memory>
#include <string>
#include <vector>

namespace fg::desktop {

using MenuHandle = std::uintptr_t;  // 0: none

inline constexpr unsigned MF_STRING = 0, MF_GRAYED = 1, MF_DISABLED = 2, MF_CHECKED = 8, MF_POPUP = 0x10,
                          MF_SEPARATOR = 0x800;
inline constexpr unsigned TPM_LEFTALIGN = 0, TPM_RIGHTBUTTON = 2;

struct MenuItem {
    unsigned flags = MF_STRING;
    unsigned id = 0;         // the command of a string item
    MenuHandle submenu = 0;  // the menu of an MF_POPUP item
    std::string text;
    [[nodiscard]] bool enabled() const { return !(flags & (MF_GRAYED | MF_DISABLED)) && !(flags & MF_SEPARATOR); }
};

MenuHandle createPopupMenu();
// With MF_POPUP `idOrSubmenu` is the submenu, which then belongs to the menu.
[[nodiscard]] bool appendMenu(MenuHandle menu, unsigned flags, std::uintptr_t idOrSubmenu, std::string_view utf8);
// Destroys the menu and its submenus.
[[nodiscard]] bool destroyMenu(MenuHandle menu);
[[nodiscard]] bool isMenu(MenuHandle menu);
std::vector<MenuItem> menuItems(MenuHandle menu);

// Answers the command the user chose from the menu shown at `screen` (a
// command of any of its submenus), or 0 to dismiss it.
class MenuDriver {
public:
    virtual ~MenuDriver() = default;
    virtual unsigned choose(MenuHandle menu, Point screen, WindowHandle owner) = 0;
};
// Null puts back the driver that dismisses every menu.
void setMenuDriver(std::shared_ptr<MenuDriver> driver);

// False for a bad menu or owner. A choice that names no enabled command of
// the menu posts nothing.
[[nodiscard]] bool trackPopupMenu(MenuHandle menu, unsigned flags, Point screen, WindowHandle owner);

}  // namespace fg::desktop
