#include "platform/desktop/menu.h"

#include "platform/desktop/desktop_state.h"

#include <map>

namespace fg::desktop {

namespace {

struct Menus {
    std::map<MenuHandle, std::vector<MenuItem>> menus;
    MenuHandle next = 0x2000;
    std::shared_ptr<MenuDriver> driver;
};

Menus& all() {
    static Menus m;
    return m;
}

// The popup that holds an enabled command, searched depth first; with
// its index in its parent for WM_INITMENUPOPUP.
bool holds(MenuHandle menu, unsigned id, MenuHandle& popup, int& index) {
    auto it = all().menus.find(menu);
    if (it == all().menus.end()) return false;
    const std::vector<MenuItem>& items = it->second;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const MenuItem& item = items[i];
        if (!item.enabled()) continue;
        if (item.flags & MF_POPUP) {
            if (holds(item.submenu, id, popup, index)) {
                if (popup == item.submenu && index < 0) index = static_cast<int>(i);
                return true;
            }
        } else if (item.id == id) {
            popup = menu;
            index = -1;
            return true;
        }
    }
    return false;
}

}  // namespace

MenuHandle createPopupMenu() {
    const MenuHandle h = all().next++;
    all().menus[h];
    return h;
}

bool appendMenu(MenuHandle menu, unsigned flags, std::uintptr_t idOrSubmenu, std::string_view utf8) {
    auto it = all().menus.find(menu);
    if (it == all().menus.end()) return false;
    MenuItem item{flags, 0, 0, std::string(utf8)};
    if (flags & MF_POPUP) {
        if (!isMenu(idOrSubmenu) || idOrSubmenu == menu) return false;
        item.submenu = idOrSubmenu;
    } else {
        item.id = static_cast<unsigned>(idOrSubmenu);
    }
    it->second.push_back(std::move(item));
    return true;
}

bool destroyMenu(MenuHandle menu) {
    auto it = all().menus.find(menu);
    if (it == all().menus.end()) return false;
    const std::vector<MenuItem> items = std::move(it->second);
    all().menus.erase(it);
    for (const MenuItem& item : items)
        if (item.flags & MF_POPUP) (void)destroyMenu(item.submenu);
    return true;
}

bool isMenu(MenuHandle menu) { return all().menus.count(menu) > 0; }

std::vector<MenuItem> menuItems(MenuHandle menu) {
    auto it = all().menus.find(menu);
    return it == all().menus.end() ? std::vector<MenuItem>{} : it->second;
}

void setMenuDriver(std::shared_ptr<MenuDriver> driver) { all().driver = std::move(driver); }

bool trackPopupMenu(MenuHandle menu, unsigned /*flags*/, Point screen, WindowHandle owner) {
    if (!isMenu(menu) || !isWindow(owner)) return false;
    sendMessage(owner, WM_INITMENU, menu);
    sendMessage(owner, WM_INITMENUPOPUP, menu, 0);
    const unsigned choice = all().driver ? all().driver->choose(menu, screen, owner) : 0;
    MenuHandle popup = 0;
    int index = -1;
    if (choice == 0 || !isMenu(menu) || !holds(menu, choice, popup, index)) return true;
    if (popup != menu) sendMessage(owner, WM_INITMENUPOPUP, popup, makeLParam(index, 0));
    (void)postMessage(owner, WM_COMMAND, makeWParam(static_cast<int>(choice), 0), 0);
    return true;
}

void detail::resetMenus() {
    all().menus.clear();
    all().driver.reset();
}

}  // namespace fg::desktop
