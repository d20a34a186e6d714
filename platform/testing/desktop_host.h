// Test support for the annotation engine's window layer: a host window that
// logs every message it gets, and scripted menu, dialog and common dialog
// drivers that play the user and remember what they were shown.
#pragma once

#include "platform/desktop/common_dialogs.h"
#include "platform/desktop/dialog.h"
#include "platform/desktop/menu.h"
#include "platform/desktop/window.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fg::testing {

// Everything of the desktop is reset when it begins and when it ends.
struct DesktopReset {
    DesktopReset() { desktop::resetDesktop(); }
    ~DesktopReset() { desktop::resetDesktop(); }
};

// A top-level window of `size` client pels, white, whose procedure logs
// each message and answers what `answer` says (0 otherwise).
class HostWindow {
public:
    explicit HostWindow(desktop::Size size = {640, 480});
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    desktop::WindowHandle handle() const { return handle_; }
    const std::vector<desktop::Message>& log() const { return log_; }
    // The messages of one number, in order.
    std::vector<desktop::Message> messages(std::uint32_t message) const;
    void clearLog() { log_.clear(); }
    std::map<std::uint32_t, std::intptr_t> answer;

    // The mouse at a client point: the pointer moves there, then the
    // message is sent with the point and the keys.
    std::intptr_t mouse(std::uint32_t message, desktop::Point client, unsigned keys = 0);
    // A left press at the first point, moves to the others, and the
    // release at the last.
    void drag(const std::vector<desktop::Point>& path, unsigned keys = 0);

    // Draws what the window shows at each paint (none: the background
    // alone).
    std::function<void(desktop::DeviceContext& dc, const desktop::Rect& area)> paint;

    // The notifications (message 0x600) logged, as pairs of code and
    // object, in order.
    std::vector<std::pair<std::uintptr_t, std::intptr_t>> notifications() const;

private:
    static std::intptr_t procedure(desktop::WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t);
    desktop::WindowHandle handle_ = 0;
    std::vector<desktop::Message> log_;
};

// The pels at which two surfaces of one size differ, outside the
// rectangles given.
std::vector<desktop::Point> changedPels(const image::Image& before, const image::Image& after,
                                        const std::vector<desktop::Rect>& except = {});

struct ShownMenuItem {
    std::string text;
    unsigned id = 0;
    bool enabled = true;
    bool separator = false;
    std::vector<ShownMenuItem> submenu;
};

// Answers the menus with the commands queued (0 dismisses; an empty queue
// dismisses too) and keeps each menu as it was shown.
class ScriptedMenuDriver : public desktop::MenuDriver {
public:
    static std::shared_ptr<ScriptedMenuDriver> install();
    unsigned choose(desktop::MenuHandle menu, desktop::Point screen, desktop::WindowHandle owner) override;
    std::deque<unsigned> choices;
    std::vector<std::vector<ShownMenuItem>> shown;
    std::vector<desktop::Point> shownAt;
};

// Runs the queued scripts on the dialogs in turn (none: the dialog is left
// to be cancelled) and keeps their captions.
class ScriptedDialogDriver : public desktop::DialogDriver {
public:
    static std::shared_ptr<ScriptedDialogDriver> install();
    void run(desktop::DialogSession& dialog) override;
    std::deque<std::function<void(desktop::DialogSession&)>> scripts;
    std::vector<std::string> captions;
};

// Answers with the values queued (none: cancel) and keeps the requests.
class ScriptedCommonDialogs : public desktop::CommonDialogDriver {
public:
    static std::shared_ptr<ScriptedCommonDialogs> install();
    std::optional<desktop::Color> chooseColor(desktop::ColorRequest& request) override;
    std::optional<desktop::FontChoice> chooseFont(const desktop::FontRequest& request) override;
    std::optional<std::string> openFile(const desktop::OpenFileRequest& request) override;
    std::deque<std::optional<desktop::Color>> colors;
    std::deque<std::optional<desktop::FontChoice>> fonts;
    std::deque<std::optional<std::string>> files;
    std::vector<desktop::ColorRequest> colorRequests;
    std::vector<desktop::FontRequest> fontRequests;
    std::vector<desktop::OpenFileRequest> fileRequests;
};

}  // namespace fg::testing
