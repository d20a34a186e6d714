// Inside the desktop layer: how its parts reach each other's state.
#pragma once

#include "platform/desktop/window.h"

namespace fg::desktop::detail {

// The procedures of the built-in control classes ("STATIC", "EDIT",
// "BUTTON", "COMBOBOX") and of dialogs; null for another name.
WindowProc builtInProcedure(std::string_view className);
inline constexpr const char* kDialogClass = "#DIALOG";

// Per-window state of controls and dialogs.
struct ControlState {
    std::vector<std::string> items;
    int selection = -1;
    int textLimit = 0;
    WindowProc dialogProc = nullptr;
    bool dialogEnded = false;
    std::intptr_t dialogResult = 0;
};
ControlState* controlState(WindowHandle window);
std::string& storedText(WindowHandle window);

void resetMenus();
void resetDialogs();
void resetClipboard();
void resetSound();
void resetSystem();

}  // namespace fg::desktop::detail
