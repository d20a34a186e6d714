// The automation: an active automation object takes over the mouse and the
// context menu of its container's window. In design mode it draws new
// objects with the current tool and selects, moves, resizes and rotates
// objects; in run mode it plays audio clips and presses buttons and
// hotspots. It tells the window of everything it does with the
// notification message, synchronously, so the host's handler runs before
// the engine goes on: every object is looked up again after a message
// went out.
#include "annotation/automation.h"

#include "annotation/bounds.h"
#include "annotation/clipboard.h"
#include "annotation/guard.h"
#include "annotation/module.h"
#include "annotation/tree.h"
#include "platform/desktop/bitmap.h"
#include "platform/desktop/common_dialogs.h"
#include "platform/desktop/dialog.h"
#include "platform/desktop/sound.h"
#include "platform/text.h"

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace fg::annotation {

namespace {

using desktop::Point;
using desktop::WindowHandle;

constexpr std::uint32_t kToolCount = 16, kSelectionTool = 0, kPolylineTool = 4, kPolygonTool = 5;
constexpr std::uint32_t kKindOfTool[kToolCount] = {ANN_CONTAINER, ANN_LINE,      ANN_RECTANGLE, ANN_ELLIPSE,
                                                   ANN_POLYLINE,  ANN_POLYGON,   ANN_ARROW,     ANN_FREEHAND,
                                                   ANN_HIGHLIGHT, ANN_REDACTION, ANN_TEXT,      ANN_NOTE,
                                                   ANN_STAMP,     ANN_BUTTON,    ANN_HOTSPOT,   ANN_AUDIO};
// What a new object drawn with a kind that has a text shows.
constexpr const char* kSampleText = "AaBbYyZz";

enum Command : unsigned {
    kCut = 100, kCopy = 101, kPaste = 102, kDelete = 103, kToFront = 104, kToBack = 105, kLineDialogCommand = 106,
    kFillDialogCommand = 107, kForeColorCommand = 108, kBackColorCommand = 109, kFontCommand = 110, kMenuDone = 111,
    kFileCommand = 112, kTextDialogCommand = 113, kSelectAll = 114, kUndoCommand = 115
};
enum MenuText : int {
    kUndoText = 0, kCutText = 1, kCopyText = 2, kPasteText = 3, kDeleteText = 4, kSelectAllText = 5, kFrontText = 6,
    kBackText = 7, kNothingSelectedTitle = 8, kManySelectedTitle = 9, kFirstKindTitle = 10, kLineText = 27,
    kFillText = 28, kForeColorText = 29, kBackColorText = 30, kFontText = 31, kBitmapText = 32, kTextText = 33,
    kFileText = 34, kAudioTitle = 67, kAudioFilter = 68, kStampTitle = 69, kStampFilter = 70
};
enum Cursor { kDrawOver = 0, kOnHandle = 1, kRunOver = 2, kOnBody = 3 };  // 110 to 113

desktop::CursorHandle cursor(Cursor c) { return annModule().cursors[c]; }

Point pointOf(std::intptr_t lParam) {
    const auto v = static_cast<std::uintptr_t>(lParam);
    return {desktop::lowSigned(v), desktop::highSigned(v)};
}

// The notification message to the object's window; nothing for an object
// that is gone or has none.
void notify(ANNHANDLE about, std::uintptr_t code) {
    const AnnObject* o = annLock(about);
    if (o && o->Wnd) desktop::sendMessage(o->Wnd, ANN_NOTIFY_MESSAGE, code, static_cast<std::intptr_t>(about));
}

void collect(const AnnObject* o, bool selectedOnly, std::vector<ANNHANDLE>& out) {
    if (!selectedOnly || o->Selected) out.push_back(o->Self);
    for (const AnnObject* c = o->FirstChild; c; c = c->NextSibling) collect(c, selectedOnly, out);
}

// One message per object of the tree below `top` (itself included), or
// per selected one, taken first so that the host may change the tree.
void notifyEach(ANNHANDLE top, bool selectedOnly, std::uintptr_t code) {
    const AnnObject* o = annLock(top);
    if (!o) return;
    std::vector<ANNHANDLE> handles;
    collect(o, selectedOnly, handles);
    for (ANNHANDLE h : handles) notify(h, code);
}

bool isActiveKind(std::uint32_t kind) { return kind == ANN_AUDIO || kind == ANN_BUTTON || kind == ANN_HOTSPOT; }

void unselectAll(AnnObject& container) {
    annSetProperty(&container, kAllKinds, Attribute::Selected, std::uint32_t(0), ANN_FLAG_RECURSIVE);
}
void setSelected(AnnObject& o, bool selected) {
    annSetProperty(&o, kAllKinds, Attribute::Selected, std::uint32_t(selected ? 1 : 0), 0);
}

struct Counts {
    int selected = 0, unselected = 0;
    const AnnObject* firstSelected = nullptr;
};
void count(const AnnObject* o, Counts& c) {
    if (o->Selected) {
        if (!c.firstSelected) c.firstSelected = o;
        ++c.selected;
    } else {
        ++c.unselected;
    }
    for (const AnnObject* child = o->FirstChild; child; child = child->NextSibling) count(child, c);
}

bool anySelectedOf(const AnnObject* o, const int* kinds) {
    if (o->Selected && annKindIn(kinds, o->Type)) return true;
    for (const AnnObject* c = o->FirstChild; c; c = c->NextSibling)
        if (anySelectedOf(c, kinds)) return true;
    return false;
}

// The automation's state for one message: its handle and window, looked
// up again wherever the host's code may have run.
struct Session {
    ANNHANDLE self;
    WindowHandle window;
    AnnObject* automation() const { return annLock(self); }
    AnnObject* container() const {
        const AnnObject* a = automation();
        return a ? annLock(a->AutoContainer) : nullptr;
    }
};

// ---------------------------------------------------------------- activation

void drawButtonNow(AnnObject& o) {
    annUpdateBounds(&o, false);
    std::unique_ptr<desktop::WindowDC> dc = desktop::getDC(o.Wnd);
    const RECT clip{o.VisibleRect.left, o.VisibleRect.top, o.VisibleRect.right, o.VisibleRect.bottom};
    K_AnnDraw(dc.get(), &clip, o.Self);
}

int activateAutomation(AnnObject& a) {
    if (a.ActiveState == 1) return ANN_SUCCESS;
    const AnnObject* container = annLock(a.AutoContainer);
    if (!container || !container->Wnd) return ANN_ERROR_INVALID_PARAMETER;
    const WindowHandle window = container->Wnd;
    const desktop::WindowProc old = desktop::windowProc(window);
    // A window another automation object runs already would pass its
    // messages on to itself without end.
    if (!old || old == &K_AnnAutoWndProc) return ANN_ERROR_INVALID_PARAMETER;
    a.AutoOldWndProc = old;
    a.AutoWindow = window;
    (void)desktop::setProp(window, annModule().objectAtom, static_cast<std::intptr_t>(a.Self));
    desktop::setWindowProc(window, &K_AnnAutoWndProc);
    a.ActiveState = 1;
    notify(a.Self, ANN_NOTIFY_ACTIVATED);
    return ANN_SUCCESS;
}

void unhook(AnnObject& a) {
    if (a.AutoWindow && a.AutoOldWndProc) desktop::setWindowProc(a.AutoWindow, a.AutoOldWndProc);
    a.ActiveState = 0;
}

int setActiveState(AnnObject& o, std::uint32_t state) {
    if (o.ActiveState == state) return ANN_SUCCESS;
    const ANNHANDLE self = o.Self;
    const std::uintptr_t code = state ? ANN_NOTIFY_ACTIVATED : ANN_NOTIFY_DEACTIVATED;
    switch (o.Type) {
    case ANN_AUDIO: {
        if (!state) {
            o.ActiveState = 0;
            annRefresh(o, 0);
            notify(self, code);
            return ANN_SUCCESS;
        }
        if (o.Text.empty()) return ANN_ERROR_FILE_NOT_FOUND;
        o.ActiveState = 1;
        annRefresh(o, 0);
        if (o.Wnd) (void)desktop::updateWindow(o.Wnd);
        notify(self, code);
        AnnObject* again = annLock(self);
        const bool played = again && desktop::playSound(std::string(again->Text.view()), desktop::SND_NODEFAULT);
        if ((again = annLock(self))) {
            again->ActiveState = 0;
            annRefresh(*again, 0);
            notify(self, ANN_NOTIFY_DEACTIVATED);
        }
        return played ? ANN_SUCCESS : ANN_ERROR_FILE_NOT_FOUND;
    }
    case ANN_BUTTON:
        o.ActiveState = state;
        if (o.Wnd) {
            drawButtonNow(o);
            notify(self, code);
        }
        return ANN_SUCCESS;
    case ANN_HOTSPOT:
        o.ActiveState = state;
        notify(self, code);
        return ANN_SUCCESS;
    case ANN_AUTOMATION:
        if (state) return activateAutomation(o);
        unhook(o);
        notify(self, code);
        return ANN_SUCCESS;
    default: return ANN_ERROR_NOT_SUPPORTED;
    }
}

// ---------------------------------------------------------------- defaults

// A new object drawn by the automation takes the automation's attributes,
// each through its setter, so that a kind without the attribute or a value
// the kind refuses is passed over.
void applyDefaults(const AnnObject& a, ANNHANDLE o) {
    std::uint32_t kind = 0;
    if (K_AnnGetType(o, &kind) != ANN_SUCCESS) return;
    if (kind != ANN_HIGHLIGHT && kind != ANN_NOTE && kind != ANN_REDACTION) K_AnnSetBackColor(o, a.BackColor, 0);
    K_AnnSetFillMode(o, a.FillMode, 0);
    if (a.FillPattern <= ANN_FILL_VERTICAL) K_AnnSetFillPattern(o, a.FillPattern, 0);
    K_AnnSetFontBold(o, a.FontBold, 0);
    K_AnnSetFontItalic(o, a.FontItalic, 0);
    K_AnnSetFontName(o, a.FontName.empty() ? nullptr : a.FontName.c_str(), 0);
    if (a.FontSize >= 0) K_AnnSetFontSize(o, a.FontSize, 0);
    K_AnnSetFontStrikeThrough(o, a.FontStrikeThrough, 0);
    K_AnnSetFontUnderline(o, a.FontUnderline, 0);
    K_AnnSetForeColor(o, a.ForeColor, 0);
    if (a.LineStyle <= ANN_LINE_NONE) K_AnnSetLineStyle(o, a.LineStyle, 0);
    if (a.LineWidth >= 0) K_AnnSetLineWidth(o, a.LineWidth, 0);
    K_AnnSetPolyFillMode(o, a.PolyFillMode, 0);
}

// ---------------------------------------------------------------- cursors

enum class CursorChoice { Set, ArrowAndPassOn, PassOn };

CursorChoice chooseCursor(const Session& s, std::intptr_t lParam) {
    AnnObject* a = s.automation();
    AnnObject* container = s.container();
    if (desktop::lowWord(static_cast<std::uintptr_t>(lParam)) != desktop::HTCLIENT || !a || !a->AutoDrawEnable ||
        !container)
        return CursorChoice::PassOn;
    Point p = desktop::screenToClient(s.window, desktop::cursorPos());
    bool onHandle = false;
    const AnnObject* hit = annHitTest(container, p, onHandle);
    if (container->UserMode == ANN_MODE_RUN) {
        if (!hit || !isActiveKind(hit->Type)) return CursorChoice::PassOn;
        desktop::setCursor(cursor(kRunOver));
        return CursorChoice::Set;
    }
    if (a->AutoMenu || !hit) return CursorChoice::PassOn;
    if (a->Tool != kSelectionTool) {
        desktop::setCursor(cursor(kDrawOver));
        return CursorChoice::Set;
    }
    if (hit != container && hit->Selected) {
        desktop::setCursor(cursor(onHandle ? kOnHandle : kOnBody));
        return CursorChoice::Set;
    }
    desktop::setCursor(desktop::arrowCursor());
    return CursorChoice::ArrowAndPassOn;
}

// ---------------------------------------------------------------- drawing

// The end of a drawing: the object shows, the mouse is free, and the host
// hears of the new object.
void finishDrawing(const Session& s, Point at, bool sample) {
    AnnObject* a = s.automation();
    const ANNHANDLE made = a->AutoCurrent, container = a->AutoContainer;
    const POINT p{at.x, at.y};
    K_AnnDefine(made, &p, ANN_DEFINE_END);
    K_AnnSetVisible(made, 1, 0);
    (void)desktop::releaseCapture();
    a->AutoCapturing = 0;
    std::uint32_t kind = 0;
    if (sample && K_AnnGetType(made, &kind) == ANN_SUCCESS && annKindIn(kTextKinds, kind))
        K_AnnSetText(made, kSampleText, 0);
    notify(made, ANN_NOTIFY_DEFINE_END);
    notify(made, ANN_NOTIFY_OBJECT_CHANGED);
    notify(container, ANN_NOTIFY_CONTAINER_CHANGED);
}

void beginDrawing(const Session& s, Point at) {
    AnnObject* a = s.automation();
    annTakeSnapshot(*a);
    a->AutoStartSquare = {at.x - 2, at.y - 2, at.x + 3, at.y + 3};
    a->AutoCreating = 1;
    ANNHANDLE made = 0;
    bool inserted = K_AnnCreate(kKindOfTool[a->Tool], &made) == ANN_SUCCESS &&
                    K_AnnInsert(a->AutoContainer, made, 0) == ANN_SUCCESS;
    if (inserted) K_AnnSetVisible(made, 0, 0);
    else if (made) K_AnnDestroy(made, 0);
    if (!(a = s.automation())) return;
    a->AutoCreating = 0;
    // Without its object in the container there is nothing to draw: no
    // gesture, notification or selection may refer to it.
    AnnObject* container = s.container();
    AnnObject* o = annLock(made);
    if (!inserted || !container || !o) {
        a->AutoCurrent = 0;
        if (o && !o->Container) K_AnnDestroy(made, 0);
        return;
    }
    a->AutoCurrent = made;
    unselectAll(*container);
    setSelected(*o, true);
    notify(made, ANN_NOTIFY_DEFINE_BEGIN);
    (void)desktop::updateWindow(s.window);
    if (!(a = s.automation()) || a->AutoCurrent != made) return;
    const POINT p{at.x, at.y};
    K_AnnDefine(made, &p, ANN_DEFINE_CREATE);
    a->AutoCapturing = 1;
    desktop::setCapture(s.window);
}

// A further press while a polyline or polygon is drawn.
void pressWhileDrawing(const Session& s, Point at, bool doubleClick) {
    AnnObject* a = s.automation();
    if (a->Tool != kPolylineTool && a->Tool != kPolygonTool) return;
    const bool inStart = a->AutoStartSquare.contains(at);
    if (!doubleClick && (!inStart || a->Tool == kPolylineTool)) {
        const POINT p{at.x, at.y};
        K_AnnDefine(a->AutoCurrent, &p, ANN_DEFINE_ADD);
        return;
    }
    finishDrawing(s, at, false);
}

// ---------------------------------------------------------------- selection tool

void pressSelecting(const Session& s, Point at, bool shift) {
    AnnObject* a = s.automation();
    AnnObject* container = s.container();
    Point p = at;
    bool onHandle = false;
    AnnObject* hit = annHitTest(container, p, onHandle);
    a->AutoCurrent = hit ? hit->Self : 0;
    if (!hit || hit == container) {
        annTakeSnapshot(*a);
        if (!shift) unselectAll(*container);
        const POINT q{at.x, at.y};
        // Outside every object there is no rectangle; the mouse is held
        // all the same until the release.
        K_AnnDefine(a->AutoCurrent, &q, ANN_DEFINE_SELECT_RECT);
        a->AutoCapturing = 1;
        desktop::setCapture(s.window);
        return;
    }
    const ANNHANDLE grabbed = hit->Self;
    if (!onHandle) {
        const bool was = hit->Selected;
        annTakeSnapshot(*a);
        if (shift) {
            setSelected(*hit, !was);
        } else if (!was) {
            unselectAll(*container);
            setSelected(*hit, true);
        }
        desktop::sendMessage(s.window, desktop::WM_SETCURSOR, s.window,
                             desktop::makeLParam(desktop::HTCLIENT, desktop::WM_MOUSEMOVE));
    }
    (void)desktop::updateWindow(s.window);
    if (!(a = s.automation()) || !(container = s.container())) return;
    Counts c;
    count(container, c);
    if (onHandle) {
        // The pointer goes onto the handle's centre, where the gesture
        // begins.
        const Point pointer = desktop::cursorPos();
        desktop::setCursorPos({pointer.x + p.x - at.x, pointer.y + p.y - at.y});
    }
    std::uint32_t step = onHandle ? (shift ? ANN_DEFINE_ROTATE : ANN_DEFINE_RESIZE) : ANN_DEFINE_MOVE;
    if (c.selected >= 2) step += ANN_DEFINE_GROUP_MOVE - ANN_DEFINE_MOVE;
    const POINT q{p.x, p.y};
    if (K_AnnDefine(grabbed, &q, step) != ANN_SUCCESS) return;
    a->AutoCapturing = 1;
    desktop::setCapture(s.window);
}

void releaseSelecting(const Session& s, Point at) {
    AnnObject* a = s.automation();
    const ANNHANDLE current = a->AutoCurrent, container = a->AutoContainer;
    const POINT p{at.x, at.y};
    K_AnnDefine(current, &p, ANN_DEFINE_END);
    (void)desktop::releaseCapture();
    a->AutoCapturing = 0;
    if (current == container) return;  // a selection rectangle
    notifyEach(container, true, ANN_NOTIFY_OBJECT_CHANGED);
    notify(container, ANN_NOTIFY_CONTAINER_CHANGED);
}

// ---------------------------------------------------------------- mouse

bool mouseMove(const Session& s, Point at) {
    AnnObject* a = s.automation();
    AnnObject* container = s.container();
    if (!container || !a->AutoCapturing) return false;
    if (container->UserMode == ANN_MODE_RUN) {
        Point p = at;
        bool onHandle = false;
        const AnnObject* hit = annHitTest(container, p, onHandle);
        const bool over = hit && hit->Self == a->AutoCurrent;
        desktop::setCursor(over ? cursor(kRunOver) : desktop::arrowCursor());
        K_AnnSetActiveState(a->AutoCurrent, over ? 1 : 0);
        return true;
    }
    const POINT p{at.x, at.y};
    const bool rubber = a->Tool == kPolylineTool || a->Tool == kPolygonTool;
    K_AnnDefine(a->AutoCurrent, &p, rubber ? ANN_DEFINE_TRACK : ANN_DEFINE_ADD);
    return true;
}

bool leftPress(const Session& s, Point at, std::uintptr_t keys, bool doubleClick) {
    AnnObject* a = s.automation();
    AnnObject* container = s.container();
    if (!container) return false;
    if (container->UserMode == ANN_MODE_RUN) {
        Point p = at;
        bool onHandle = false;
        AnnObject* hit = annHitTest(container, p, onHandle);
        a->AutoCurrent = hit ? hit->Self : 0;
        if (!hit || !isActiveKind(hit->Type)) return false;
        const std::uint32_t kind = hit->Type;
        // An audio clip plays to its end at once; a press that finds no
        // sound is taken all the same.
        K_AnnSetActiveState(hit->Self, 1);
        if (kind == ANN_AUDIO || !(a = s.automation())) return true;
        a->AutoCapturing = 1;
        desktop::setCapture(s.window);
        return true;
    }
    if (a->AutoCapturing) {
        pressWhileDrawing(s, at, doubleClick);
        return true;
    }
    if (!a->AutoDrawEnable) return false;
    if (a->Tool != kSelectionTool && a->Tool < kToolCount) beginDrawing(s, at);
    else pressSelecting(s, at, (keys & desktop::MK_SHIFT) != 0);
    return true;
}

bool leftRelease(const Session& s, Point at) {
    AnnObject* a = s.automation();
    AnnObject* container = s.container();
    if (!container || !a->AutoCapturing) return false;
    if (container->UserMode == ANN_MODE_RUN) {
        const ANNHANDLE current = a->AutoCurrent;
        K_AnnSetActiveState(current, 0);
        (void)desktop::releaseCapture();
        if ((a = s.automation())) a->AutoCapturing = 0;
        if (!(container = s.container())) return true;
        Point p = at;
        bool onHandle = false;
        const AnnObject* hit = annHitTest(container, p, onHandle);
        if (hit && hit->Self == current) notify(current, ANN_NOTIFY_CLICKED);
        return true;
    }
    if (a->Tool == kPolylineTool || a->Tool == kPolygonTool) return true;  // vertices come from presses
    if (a->Tool != kSelectionTool) finishDrawing(s, at, true);
    else releaseSelecting(s, at);
    return true;
}

// ---------------------------------------------------------------- context menu

void appendItem(desktop::MenuHandle menu, const AnnObject& a, int text, unsigned command, bool enabled) {
    (void)desktop::appendMenu(menu, enabled ? desktop::MF_STRING : desktop::MF_GRAYED | desktop::MF_DISABLED, command,
                        annAutoText(a, text));
}

desktop::MenuHandle buildMenu(const AnnObject& a, const AnnObject& container, const Counts& c) {
    using desktop::appendMenu;
    const int S = c.selected, U = c.unselected - 1;
    const desktop::MenuHandle menu = desktop::createPopupMenu(), properties = desktop::createPopupMenu();
    appendItem(menu, a, kUndoText, kUndoCommand, a.UndoList && a.UndoList[0]);
    appendItem(menu, a, kCutText, kCut, S > 0);
    appendItem(menu, a, kCopyText, kCopy, S > 0);
    appendItem(menu, a, kPasteText, kPaste, annClipboardReady());
    appendItem(menu, a, kDeleteText, kDelete, S > 0);
    (void)appendMenu(menu, desktop::MF_SEPARATOR, 0, "");
    appendItem(menu, a, kSelectAllText, kSelectAll, U > 0);
    (void)appendMenu(menu, desktop::MF_SEPARATOR, 0, "");
    appendItem(menu, a, kFrontText, kToFront, S == 1 && U > 0);
    appendItem(menu, a, kBackText, kToBack, S == 1 && U > 0);
    (void)appendMenu(menu, desktop::MF_SEPARATOR, 0, "");

    const AnnObject* current = annLock(a.AutoCurrent);
    const bool single = current && current != &a;
    const struct {
        int text;
        unsigned command;
        const int* kinds;
    } items[] = {{kLineText, kLineDialogCommand, kLineKinds},
                 {kFillText, kFillDialogCommand, kFillModeKinds},
                 {kForeColorText, kForeColorCommand, kForeColorKinds},
                 {kBackColorText, kBackColorCommand, kBackColorKinds},
                 {kFontText, kFontCommand, kFontKinds}};
    for (const auto& item : items)
        if (S == 0 || anySelectedOf(&container, item.kinds)) appendItem(properties, a, item.text, item.command, true);
    if (single) {
        if (current->Type == ANN_STAMP) appendItem(properties, a, kBitmapText, kFileCommand, true);
        if (current->Type != ANN_AUDIO && annKindIn(kTextKinds, current->Type))
            appendItem(properties, a, kTextText, kTextDialogCommand, true);
        if (current->Type == ANN_AUDIO) appendItem(properties, a, kFileText, kFileCommand, true);
    }
    const int title = S == 0 ? kNothingSelectedTitle
                      : S > 1 ? kManySelectedTitle
                              : kFirstKindTitle + static_cast<int>(single ? current->Type : std::uint32_t(ANN_AUTOMATION));
    (void)appendMenu(menu, desktop::MF_POPUP, properties, annAutoText(a, title));
    return menu;
}

bool rightPress(const Session& s, Point at, std::uintptr_t keys) {
    AnnObject* a = s.automation();
    AnnObject* container = s.container();
    if (!container || container->UserMode == ANN_MODE_RUN) return false;
    if (a->AutoCapturing) {
        if (a->Tool != kPolylineTool && a->Tool != kPolygonTool) return false;
        finishDrawing(s, at, false);
        if (!(a = s.automation()) || !(container = s.container())) return true;
    }
    Point p = at;
    bool onHandle = false;
    AnnObject* hit = annHitTest(container, p, onHandle);
    a->AutoCurrent = hit ? hit->Self : 0;
    if (!hit) return false;
    if (keys & desktop::MK_SHIFT) {
        if (hit != container) setSelected(*hit, !hit->Selected);
    } else if (!hit->Selected) {
        unselectAll(*container);
        if (hit != container) setSelected(*hit, true);
    }
    (void)desktop::updateWindow(s.window);
    if (!(a = s.automation()) || !(container = s.container())) return true;
    if (!a->AutoMenuEnable) return false;
    Counts c;
    count(container, c);
    a->AutoCurrent = c.selected == 1 ? c.firstSelected->Self : a->Self;
    a->AutoMenu = buildMenu(*a, *container, c);
    (void)desktop::trackPopupMenu(a->AutoMenu, desktop::TPM_RIGHTBUTTON, desktop::clientToScreen(s.window, at), s.window);
    (void)desktop::postMessage(s.window, desktop::WM_COMMAND, kMenuDone, 0);
    return true;
}

// ---------------------------------------------------------------- commands

// What a command works on: the one object of the menu, or every selected
// object of the container.
struct Target {
    ANNHANDLE object;  // the single object, or the container
    bool selected;     // the selected objects below `object`
};

Target targetOf(const AnnObject& a) {
    if (a.AutoCurrent == a.Self) return {a.AutoContainer, true};
    return {a.AutoCurrent, false};
}

void notifyChanged(const Session& s, const Target& t) {
    if (t.selected) notifyEach(t.object, true, ANN_NOTIFY_OBJECT_CHANGED);
    else notify(t.object, ANN_NOTIFY_OBJECT_CHANGED);
    if (const AnnObject* a = s.automation()) notify(a->AutoContainer, ANN_NOTIFY_CONTAINER_CHANGED);
}

bool chooseColour(const Session& s, bool fore) {
    AnnObject* a = s.automation();
    const AnnObject& current = annCurrentOf(*a);
    std::array<desktop::Color, 16> custom;
    std::memcpy(custom.data(), a->CustomColors, sizeof a->CustomColors);
    desktop::ColorRequest request{s.window, fore ? current.ForeColor : current.BackColor, &custom, desktop::CC_RGBINIT};
    const std::optional<desktop::Color> chosen = desktop::chooseColor(request);
    if (!(a = s.automation())) return false;
    std::memcpy(a->CustomColors, custom.data(), sizeof a->CustomColors);
    if (!chosen) return false;
    annTakeSnapshot(*a);
    if (fore) annStoreFollowing(*a, kForeColorKinds, Attribute::ForeColor, *chosen);
    else annStoreFollowing(*a, kBackColorKinds, Attribute::BackColor, *chosen);
    return true;
}

bool chooseFontFor(const Session& s) {
    AnnObject* a = s.automation();
    const AnnObject& current = annCurrentOf(*a);
    desktop::FontRequest request;
    request.owner = s.window;
    request.flags = desktop::CF_SCREENFONTS | desktop::CF_INITTOLOGFONTSTRUCT | desktop::CF_EFFECTS;
    request.fontType = desktop::SCREEN_FONTTYPE;
    request.color = current.ForeColor;
    request.initial.height = -annRound(current.FontSize / annResolutionY(*a) * annModule().dpiY);
    request.initial.weight = current.FontBold ? desktop::FW_BOLD : desktop::FW_NORMAL;
    request.initial.italic = current.FontItalic;
    request.initial.underline = current.FontUnderline;
    request.initial.strikeOut = current.FontStrikeThrough;
    request.initial.charSet = desktop::DEFAULT_CHARSET;
    request.initial.faceName = text::fromUtf8OrCp932(current.FontName.view());
    const std::optional<desktop::FontChoice> chosen = desktop::chooseFont(request);
    if (!chosen || !(a = s.automation())) return false;
    annTakeSnapshot(*a);
    const desktop::Font& f = chosen->font;
    annStoreFollowing(*a, kFontKinds, Attribute::FontSize, chosen->pointSizeTenths * annResolutionY(*a) / 720);
    annStoreFollowing(*a, kFontKinds, Attribute::FontBold, std::uint32_t(f.weight > 550));
    annStoreFollowing(*a, kFontKinds, Attribute::FontItalic, std::uint32_t(f.italic));
    annStoreFollowing(*a, kFontKinds, Attribute::FontUnderline, std::uint32_t(f.underline));
    annStoreFollowing(*a, kFontKinds, Attribute::FontStrikeThrough, std::uint32_t(f.strikeOut));
    annStoreFollowing(*a, kTextKinds, Attribute::FontName, std::string_view(f.faceName));
    annStoreFollowing(*a, kForeColorKinds, Attribute::ForeColor, chosen->color);
    return true;
}

bool chooseFile(const Session& s) {
    AnnObject* a = s.automation();
    const std::uint32_t kind = annCurrentOf(*a).Type;
    if (kind != ANN_AUDIO && kind != ANN_STAMP) return false;
    const bool audio = kind == ANN_AUDIO;
    desktop::OpenFileRequest request;
    request.owner = s.window;
    request.title = annAutoText(*a, audio ? kAudioTitle : kStampTitle);
    request.filter = annAutoText(*a, audio ? kAudioFilter : kStampFilter);
    for (char& ch : request.filter)
        if (ch == '|') ch = '\0';
    request.flags = desktop::OFN_HIDEREADONLY | desktop::OFN_PATHMUSTEXIST | desktop::OFN_FILEMUSTEXIST;
    const std::optional<std::string> path = desktop::getOpenFileName(request);
    if (!path || !(a = s.automation())) return false;
    annTakeSnapshot(*a);
    AnnObject& current = annCurrentOf(*a);
    if (audio) {
        annSetProperty(&current, kTextKinds, Attribute::Text, std::string_view(*path), 0);
        return true;
    }
    desktop::Bitmap loaded;
    if (desktop::loadBitmapFile(*path, loaded)) {
        annSetProperty(&current, kBitmapKinds, Attribute::Bitmap, &loaded, 0);
        desktop::freeBitmap(loaded);
    }
    return true;
}

void moveInOrder(const Session& s, bool front) {
    AnnObject* a = s.automation();
    annTakeSnapshot(*a);
    const ANNHANDLE container = a->AutoContainer;
    if (front) K_AnnBringToFront(a->AutoCurrent);
    else K_AnnSendToBack(a->AutoCurrent);
    notifyEach(container, false, ANN_NOTIFY_OBJECT_CHANGED);
    notify(container, ANN_NOTIFY_CONTAINER_CHANGED);
}

// The objects of a command on the clipboard in both forms: the annotation
// text, then the picture for other programs. True when both were placed.
bool copyToClipboard(const Target& t) {
    AnnObject* o = annLock(t.object);
    if (!o) return false;
    // The single object of the menu is the selected one; selected only, its
    // following siblings stay out of the picture.
    const int text = annCopyToClipboard(o, ANN_FORMAT_ANNOTATION, true, true);
    const int picture = annCopyToClipboard(o, ANN_FORMAT_METAFILE, true, false);
    return text == ANN_SUCCESS && picture == ANN_SUCCESS;
}

// The annotation text on the clipboard as new objects of the container,
// selected in place of what was.
void paste(const Session& s) {
    AnnObject* a = s.automation();
    annTakeSnapshot(*a);
    const ANNHANDLE container = a->AutoContainer;
    AnnObject* pasted = nullptr;
    const ANNHANDLE tree = annCopyFromClipboard(s.window, &pasted) == ANN_SUCCESS ? pasted->Self : 0;
    if (AnnObject* c = annLock(container)) unselectAll(*c);
    if ((pasted = annLock(tree))) {
        annSetProperty(pasted, kAllKinds, Attribute::Selected, std::uint32_t(1), ANN_FLAG_RECURSIVE);
        annSetProperty(pasted, kAllKinds, Attribute::Wnd, std::uintptr_t(s.window), ANN_FLAG_RECURSIVE);
        // A tree the container does not take belongs to no one: it goes.
        if (K_AnnInsert(container, tree, 1) != ANN_SUCCESS)
            if (AnnObject* o = annLock(tree); o && !o->Container) annDestroyTree(o, 0, false);
    }
    notify(container, ANN_NOTIFY_CONTAINER_CHANGED);
}

void command(const Session& s, unsigned id) {
    AnnObject* a = s.automation();
    if (id == kMenuDone) {
        (void)desktop::destroyMenu(a->AutoMenu);
        a->AutoMenu = 0;
        return;
    }
    const Target target = targetOf(*a);
    const ANNHANDLE container = a->AutoContainer;
    bool changed = false;
    switch (id) {
    case kCopy: copyToClipboard(target); return;
    case kCut:
    case kDelete:
        annTakeSnapshot(*a);
        // A cut takes the objects away only once the clipboard holds both
        // forms of them; what it could not place would otherwise be lost.
        if (id == kDelete || copyToClipboard(target))
            if (AnnObject* t = annLock(target.object)) annDestroyChosen(t, target.selected);
        notify(container, ANN_NOTIFY_CONTAINER_CHANGED);
        return;
    case kPaste: paste(s); return;
    case kToFront:
    case kToBack: moveInOrder(s, id == kToFront); return;
    case kSelectAll:
        annTakeSnapshot(*a);
        if (AnnObject* c = annLock(container))
            annSetProperty(c, kAllKinds, Attribute::Selected, std::uint32_t(1), ANN_FLAG_CHILDREN);
        return;
    case kUndoCommand: annUndo(*a); return;
    case kLineDialogCommand: changed = annRunDialog(kLineDialog, s.window, s.self) == desktop::IDOK; break;
    case kFillDialogCommand: changed = annRunDialog(kFillDialog, s.window, s.self) == desktop::IDOK; break;
    case kTextDialogCommand: changed = annRunDialog(kTextDialog, s.window, s.self) == desktop::IDOK; break;
    case kForeColorCommand:
    case kBackColorCommand: changed = chooseColour(s, id == kForeColorCommand); break;
    case kFontCommand: changed = chooseFontFor(s); break;
    case kFileCommand: changed = chooseFile(s); break;
    default: return;
    }
    if (changed) notifyChanged(s, target);
}

std::intptr_t autoWndProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    const AnnObject* a = annLock(static_cast<ANNHANDLE>(desktop::getProp(window, annModule().objectAtom)));
    // A window whose automation object is gone has no procedure of its own
    // left to pass the message to.
    if (!a) return desktop::defWindowProc(window, message, wParam, lParam);
    const Session s{a->Self, window};
    const desktop::WindowProc old = a->AutoOldWndProc;
    auto passOn = [&] { return desktop::callWindowProc(old, window, message, wParam, lParam); };
    const Point at = pointOf(lParam);
    switch (message) {
    case desktop::WM_SETCURSOR:
        return chooseCursor(s, lParam) == CursorChoice::Set ? 1 : passOn();
    case desktop::WM_COMMAND:
        if (a->AutoMenu) command(s, static_cast<unsigned>(desktop::lowWord(wParam)));
        else passOn();
        return 0;
    case desktop::WM_INITMENU:
    case desktop::WM_INITMENUPOPUP:
        if (!a->AutoMenu) passOn();
        return 0;
    case desktop::WM_MOUSEMOVE:
        if (!mouseMove(s, at)) passOn();
        return 0;
    case desktop::WM_LBUTTONDOWN:
    case desktop::WM_LBUTTONDBLCLK:
        if (!leftPress(s, at, wParam, message == desktop::WM_LBUTTONDBLCLK)) passOn();
        return 0;
    case desktop::WM_LBUTTONUP:
        if (!leftRelease(s, at)) passOn();
        return 0;
    case desktop::WM_RBUTTONDOWN:
        if (!rightPress(s, at, wParam)) passOn();
        return 0;
    case ANN_NOTIFY_MESSAGE:
        if (wParam == ANN_NOTIFY_INSERTED && a->AutoCreating) applyDefaults(*a, static_cast<ANNHANDLE>(lParam));
        return passOn();
    default: return passOn();
    }
}

bool isAutomation(const AnnObject* o) { return o && o->Type == ANN_AUTOMATION; }

}  // namespace

std::string annAutoText(const AnnObject& a, int index) {
    return index >= 0 && index < kAutoTextCount ? text::fromUtf8OrCp932(a.AutoTexts[index].view()) : std::string();
}

double annResolutionX(const AnnObject& a) { return a.DpiX > 0 && std::isfinite(a.DpiX) ? a.DpiX : annModule().dpiX; }
double annResolutionY(const AnnObject& a) { return a.DpiY > 0 && std::isfinite(a.DpiY) ? a.DpiY : annModule().dpiY; }

AnnObject& annCurrentOf(AnnObject& a) {
    AnnObject* current = annLock(a.AutoCurrent);
    return current ? *current : a;
}

void annStoreFollowing(AnnObject& a, const int* kinds, Attribute attribute, const PropertyValue& value) {
    AnnObject& current = annCurrentOf(a);
    annSetProperty(&current, kinds, attribute, value, 0);
    if (&current != &a) {
        annSetProperty(&a, kinds, attribute, value, 0);
    } else if (AnnObject* container = annLock(a.AutoContainer)) {
        annSetProperty(container, kinds, attribute, value, ANN_FLAG_SELECTED | ANN_FLAG_RECURSIVE);
    }
}

void annReleaseAutomation(AnnObject& a) {
    if (a.AutoMenu) {
        (void)desktop::destroyMenu(a.AutoMenu);
        a.AutoMenu = 0;
    }
    if (!a.ActiveState || !a.AutoWindow) return;
    const desktop::Atom atom = annModule().objectAtom;
    if (static_cast<ANNHANDLE>(desktop::getProp(a.AutoWindow, atom)) != a.Self) return;
    if (a.AutoCapturing && desktop::captureWindow() == a.AutoWindow) (void)desktop::releaseCapture();
    unhook(a);
    desktop::removeProp(a.AutoWindow, atom);
}

}  // namespace fg::annotation

using namespace fg::annotation;

namespace {

template <class T, class Read>
int32_t getAutomation(ANNHANDLE automation, T* out, Read&& read) {
    return annGuard([&] { return annGetProperty(annLock(automation), kAutomationKinds, out, read); });
}

int32_t setAutomation(ANNHANDLE automation, Attribute attribute, const PropertyValue& value, uint32_t flags = 0) {
    return annGuard([&] { return annSetProperty(annLock(automation), kAutomationKinds, attribute, value, flags); });
}

// The checks of the text exports: an automation object and an index of
// its texts.
const OwnedString* autoText(ANNHANDLE automation, uint32_t index) {
    const AnnObject* a = annLock(automation);
    return isAutomation(a) && index < kAutoTextCount ? &a->AutoTexts[index] : nullptr;
}

}  // namespace

extern "C" {

intptr_t K_AnnAutoWndProc(ANNWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    try {
        return autoWndProc(window, message, wParam, lParam);
    } catch (...) {
        annFailureResult();
        return 0;
    }
}

int32_t K_AnnSetActiveState(ANNHANDLE object, uint32_t state) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || state > 1) return ANN_ERROR_INVALID_PARAMETER;
        return setActiveState(*o, state);
    });
}

int32_t K_AnnSetTool(ANNHANDLE automation, uint32_t tool) {
    if (!annLock(automation) || tool >= kToolCount) return ANN_ERROR_INVALID_PARAMETER;
    return setAutomation(automation, Attribute::Tool, tool);
}
int32_t K_AnnGetTool(ANNHANDLE automation, uint32_t* tool) {
    return getAutomation(automation, tool, [](const AnnObject& a) { return a.Tool; });
}

int32_t K_AnnSetAutoContainer(ANNHANDLE automation, ANNHANDLE container) {
    return annGuard([&] {
        AnnObject* a = annLock(automation);
        if (!a) return ANN_ERROR_INVALID_PARAMETER;
        if (!isAutomation(a)) return ANN_ERROR_NOT_SUPPORTED;
        // The window it runs belongs to the container it has.
        if (a->ActiveState) return ANN_ERROR_INVALID_PARAMETER;
        return annSetProperty(a, kAutomationKinds, Attribute::AutoContainer, std::uintptr_t(container), 0);
    });
}
int32_t K_AnnGetAutoContainer(ANNHANDLE automation, ANNHANDLE* container) {
    return getAutomation(automation, container, [](const AnnObject& a) { return a.AutoContainer; });
}

int32_t K_AnnSetDpiX(ANNHANDLE automation, double dpi, uint32_t flags) {
    if (!annLock(automation) || !std::isfinite(dpi)) return ANN_ERROR_INVALID_PARAMETER;
    return setAutomation(automation, Attribute::DpiX, dpi, flags);
}
int32_t K_AnnGetDpiX(ANNHANDLE automation, double* dpi) {
    return getAutomation(automation, dpi, [](const AnnObject& a) { return a.DpiX; });
}
int32_t K_AnnSetDpiY(ANNHANDLE automation, double dpi, uint32_t flags) {
    if (!annLock(automation) || !std::isfinite(dpi)) return ANN_ERROR_INVALID_PARAMETER;
    return setAutomation(automation, Attribute::DpiY, dpi, flags);
}
int32_t K_AnnGetDpiY(ANNHANDLE automation, double* dpi) {
    return getAutomation(automation, dpi, [](const AnnObject& a) { return a.DpiY; });
}

int32_t K_AnnSetAutoMenuEnable(ANNHANDLE automation, int32_t enable) {
    return setAutomation(automation, Attribute::AutoMenuEnable, uint32_t(enable));
}
int32_t K_AnnGetAutoMenuEnable(ANNHANDLE automation, int32_t* enable) {
    return getAutomation(automation, enable, [](const AnnObject& a) { return a.AutoMenuEnable; });
}
int32_t K_AnnSetAutoDrawEnable(ANNHANDLE automation, int32_t enable) {
    return setAutomation(automation, Attribute::AutoDrawEnable, uint32_t(enable));
}
int32_t K_AnnGetAutoDrawEnable(ANNHANDLE automation, int32_t* enable) {
    return getAutomation(automation, enable, [](const AnnObject& a) { return a.AutoDrawEnable; });
}

int32_t K_AnnSetAutoText(ANNHANDLE automation, uint32_t index, const char* text) {
    return annGuard([&] {
        auto* slot = const_cast<OwnedString*>(autoText(automation, index));
        if (!slot) return ANN_ERROR_INVALID_PARAMETER;
        if (slot->assign(text ? std::string_view(text) : std::string_view())) return ANN_SUCCESS;
        slot->clear();
        return ANN_ERROR_NO_MEMORY;
    });
}

int32_t K_AnnGetAutoText(ANNHANDLE automation, uint32_t index, char* text) {
    return annGuard([&] {
        const OwnedString* slot = autoText(automation, index);
        if (!slot || !text) return ANN_ERROR_INVALID_PARAMETER;
        std::memcpy(text, slot->c_str(), slot->size() + 1);
        return ANN_SUCCESS;
    });
}

int32_t K_AnnGetAutoTextLen(ANNHANDLE automation, uint32_t index, int32_t* length) {
    return annGuard([&] {
        const OwnedString* slot = autoText(automation, index);
        if (!slot || !length) return ANN_ERROR_INVALID_PARAMETER;
        *length = static_cast<int32_t>(slot->size());
        return ANN_SUCCESS;
    });
}

}  // extern "C"
