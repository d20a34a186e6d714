// The automation's line, fill and text dialogs: their templates and their
// procedures. Each edits the automation's current object; the line and
// fill dialogs carry the change further, to the automation's defaults or
// to every selected object.
#include "annotation/automation.h"
#include "annotation/guard.h"
#include "annotation/module.h"
#include "annotation/text_lines.h"
#include "platform/desktop/dialog.h"
#include "platform/desktop/global_memory.h"
#include "platform/desktop/sound.h"
#include "platform/text.h"

#include <cmath>
#include <cstring>
#include <optional>

namespace fg::annotation {

namespace {

using desktop::WindowHandle;

constexpr int kWidthEdit = 1001, kStyleList = 1002, kFirstLabel = 1005;
constexpr int kModeList = 1002, kPatternList = 1003, kPolygonList = 1004;
constexpr int kTextEdit = 1001;
// The width field is read into a buffer of 32 bytes.
constexpr std::size_t kWidthBuffer = 32;

// Automation texts by dialog.
enum Text : int {
    kLineCaption = 35, kWidthLabel = 36, kStyleLabel = 37, kLineOk = 38, kLineCancel = 39, kFirstStyle = 40,
    kFillCaption = 46, kModeLabel = 47, kPatternLabel = 48, kPolygonLabel = 49, kFillOk = 50, kFillCancel = 51,
    kTransparent = 52, kTranslucent = 53, kOpaque = 54, kFirstPattern = 55, kFirstPolygonMode = 62,
    kTextCaption = 64, kTextOk = 65, kTextCancel = 66
};
constexpr int kLineStyles = 6, kFillPatterns = 7, kPolygonModes = 2;

desktop::DialogTemplate dialogTemplate(int resource) {
    using namespace desktop;
    DialogTemplate t;
    t.fontName = "ＭＳ Ｐゴシック";
    t.fontPoints = 9;
    const std::uint32_t label = 0, edit = WS_BORDER | WS_TABSTOP, button = WS_TABSTOP;
    switch (resource) {
    case kLineDialog:
        t.frame = {36, 24, 36 + 174, 24 + 87};
        t.controls = {{kFirstLabel, "STATIC", "", label, {7, 9, 62, 19}},
                      {kWidthEdit, "EDIT", "", edit, {66, 7, 167, 20}},
                      {kFirstLabel + 1, "STATIC", "", label, {7, 31, 62, 41}},
                      {kStyleList, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, {66, 29, 167, 110}},
                      {IDOK, "BUTTON", "OK", button | BS_DEFPUSHBUTTON, {60, 66, 110, 80}},
                      {IDCANCEL, "BUTTON", "", button, {117, 66, 167, 80}}};
        break;
    case kFillDialog:
        t.frame = {36, 24, 36 + 171, 24 + 122};
        t.controls = {{kFirstLabel, "STATIC", "", label, {7, 9, 60, 19}},
                      {kModeList, "COMBOBOX", "", CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, {64, 7, 164, 80}},
                      {kFirstLabel + 1, "STATIC", "", label, {7, 31, 60, 41}},
                      {kPatternList, "COMBOBOX", "", CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, {64, 29, 164, 110}},
                      {kFirstLabel + 2, "STATIC", "", label, {7, 53, 60, 63}},
                      {kPolygonList, "COMBOBOX", "", CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, {64, 51, 164, 100}},
                      {IDOK, "BUTTON", "OK", button | BS_DEFPUSHBUTTON, {57, 101, 107, 115}},
                      {IDCANCEL, "BUTTON", "", button, {114, 101, 164, 115}}};
        break;
    default:
        t.frame = {36, 24, 36 + 187, 24 + 97};
        t.controls = {{kTextEdit, "EDIT", "", edit | ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL, {7, 7, 180, 70}},
                      {IDOK, "BUTTON", "OK", button | BS_DEFPUSHBUTTON, {73, 76, 123, 90}},
                      {IDCANCEL, "BUTTON", "", button, {130, 76, 180, 90}}};
        break;
    }
    return t;
}

AnnObject* automationOf(WindowHandle dialog) { return annLock(static_cast<ANNHANDLE>(desktop::windowUserData(dialog))); }

void setTexts(WindowHandle dialog, const AnnObject& a, int caption, std::initializer_list<std::pair<int, int>> items) {
    (void)desktop::setWindowText(dialog, annAutoText(a, caption));
    for (const auto& [id, text] : items) (void)desktop::setDlgItemText(dialog, id, annAutoText(a, text));
}

void fillList(WindowHandle dialog, int id, const AnnObject& a, int first, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string item = annAutoText(a, first + i);
        desktop::sendDlgItemMessage(dialog, id, desktop::CB_ADDSTRING, 0, reinterpret_cast<std::intptr_t>(item.c_str()));
    }
}

int selectionOf(WindowHandle dialog, int id) {
    return static_cast<int>(desktop::sendDlgItemMessage(dialog, id, desktop::CB_GETCURSEL));
}

void select(WindowHandle dialog, int id, std::uint32_t index) {
    desktop::sendDlgItemMessage(dialog, id, desktop::CB_SETCURSEL, index);
}

// A decimal number that takes the whole text, read as the C library reads
// one (spaces and a sign before it); nothing for anything else, an empty
// text, or a value that is no finite number.
std::optional<double> parsePoints(const std::string& text) {
    double value = 0;
    if (!annParseReal(text, value)) return std::nullopt;
    return value;
}

double lineScale(const AnnObject& a) { return std::sqrt(annResolutionY(a) * annResolutionX(a)); }

void refuse(WindowHandle dialog, int id) {
    desktop::messageBeep(0);
    desktop::setFocus(desktop::dlgItem(dialog, id));
}

void initLine(WindowHandle dialog, AnnObject& a) {
    setTexts(dialog, a, kLineCaption,
             {{kFirstLabel, kWidthLabel}, {kFirstLabel + 1, kStyleLabel}, {desktop::IDOK, kLineOk}, {desktop::IDCANCEL, kLineCancel}});
    fillList(dialog, kStyleList, a, kFirstStyle, kLineStyles);
    const AnnObject& current = annCurrentOf(a);
    (void)desktop::setDlgItemText(dialog, kWidthEdit, annFormatReal(current.LineWidth / lineScale(a) * 72));
    select(dialog, kStyleList, current.LineStyle);
}

void okLine(WindowHandle dialog, AnnObject& a) {
    const std::optional<double> points = parsePoints(desktop::dlgItemText(dialog, kWidthEdit, kWidthBuffer));
    if (!points) return refuse(dialog, kWidthEdit);
    const ANNHANDLE self = a.Self;
    annTakeSnapshot(a);
    const double width = lineScale(a) * *points * 0.013888888888888888;
    if (width >= 0) annStoreFollowing(a, kLineKinds, Attribute::LineWidth, width);
    const int style = selectionOf(dialog, kStyleList);
    if (annLock(self) && style >= 0 && style < kLineStyles)
        annStoreFollowing(a, kLineKinds, Attribute::LineStyle, static_cast<std::uint32_t>(style));
    (void)desktop::endDialog(dialog, desktop::IDOK);
}

void initFill(WindowHandle dialog, AnnObject& a) {
    setTexts(dialog, a, kFillCaption,
             {{kFirstLabel, kModeLabel}, {kFirstLabel + 1, kPatternLabel}, {kFirstLabel + 2, kPolygonLabel},
              {desktop::IDOK, kFillOk}, {desktop::IDCANCEL, kFillCancel}});
    const AnnObject& current = annCurrentOf(a);
    const std::uint32_t kind = current.Type;
    // Text is never translucent: its list offers transparent and opaque.
    fillList(dialog, kModeList, a, kTransparent, 1);
    if (kind != ANN_TEXT) fillList(dialog, kModeList, a, kTranslucent, 1);
    fillList(dialog, kModeList, a, kOpaque, 1);
    fillList(dialog, kPatternList, a, kFirstPattern, kFillPatterns);
    fillList(dialog, kPolygonList, a, kFirstPolygonMode, kPolygonModes);
    select(dialog, kModeList, kind == ANN_TEXT ? (current.FillMode == 0 ? 0 : 1) : current.FillMode);
    if (kind == ANN_TEXT) (void)desktop::enableWindow(desktop::dlgItem(dialog, kPatternList), false);
    else select(dialog, kPatternList, current.FillPattern);
    if (kind == ANN_POLYGON || kind == ANN_AUTOMATION) select(dialog, kPolygonList, current.PolyFillMode);
    else (void)desktop::enableWindow(desktop::dlgItem(dialog, kPolygonList), false);
}

void okFill(WindowHandle dialog, AnnObject& a) {
    const ANNHANDLE self = a.Self;
    const std::uint32_t kind = annCurrentOf(a).Type;
    annTakeSnapshot(a);
    const int chosen = selectionOf(dialog, kModeList);
    const int mode = chosen + (kind == ANN_TEXT && chosen != 0 ? 1 : 0);
    if (mode >= 0 && mode <= ANN_FILLMODE_OPAQUE && !(kind == ANN_TEXT && mode == ANN_FILLMODE_TRANSLUCENT))
        annStoreFollowing(a, kFillModeKinds, Attribute::FillMode, static_cast<std::uint32_t>(mode));
    const int pattern = selectionOf(dialog, kPatternList);
    if (annLock(self) && kind != ANN_TEXT && pattern >= 0 && pattern < kFillPatterns)
        annStoreFollowing(a, kFillPatternKinds, Attribute::FillPattern, static_cast<std::uint32_t>(pattern));
    const int polygon = selectionOf(dialog, kPolygonList);
    if (annLock(self) && (kind == ANN_POLYGON || kind == ANN_AUTOMATION) && polygon >= 0 && polygon < kPolygonModes)
        annStoreFollowing(a, kPolyFillModeKinds, Attribute::PolyFillMode, static_cast<std::uint32_t>(polygon));
    (void)desktop::endDialog(dialog, desktop::IDOK);
}

// A buffer of the kernel library's allocator, freed with the scope.
struct Buffer {
    explicit Buffer(std::size_t bytes) : bytes(static_cast<char*>(desktop::memoryAllocate(bytes))) {}
    ~Buffer() { desktop::memoryFree(bytes); }
    char* bytes;
};

bool initText(WindowHandle dialog, AnnObject& a) {
    setTexts(dialog, a, kTextCaption, {{desktop::IDOK, kTextOk}, {desktop::IDCANCEL, kTextCancel}});
    desktop::sendDlgItemMessage(dialog, kTextEdit, desktop::EM_LIMITTEXT, 0);
    const OwnedString& text = annCurrentOf(a).Text;
    const Buffer copy(text.size() + 1);
    if (!copy.bytes) {
        desktop::messageBeep(0);
        return false;
    }
    std::memcpy(copy.bytes, text.c_str(), text.size() + 1);
    (void)desktop::setDlgItemText(dialog, kTextEdit, text::fromUtf8OrCp932(copy.bytes));
    return true;
}

void okText(WindowHandle dialog, AnnObject& a) {
    const std::string entered = desktop::dlgItemText(dialog, kTextEdit);
    const Buffer copy(entered.size() + 1);
    if (!copy.bytes) return refuse(dialog, kTextEdit);
    std::memcpy(copy.bytes, entered.c_str(), entered.size() + 1);
    const ANNHANDLE self = a.Self;
    annTakeSnapshot(a);
    // A stamp shows its text or its bitmap: the setter lets the bitmap go.
    if (AnnObject* again = annLock(self))
        annSetProperty(&annCurrentOf(*again), kTextKinds, Attribute::Text, std::string_view(copy.bytes, entered.size()), 0);
    (void)desktop::endDialog(dialog, desktop::IDOK);
}

using Init = bool (*)(WindowHandle, AnnObject&);
using Ok = void (*)(WindowHandle, AnnObject&);

std::intptr_t dialogProc(WindowHandle dialog, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                         Init init, Ok ok) {
    try {
        if (message == desktop::WM_INITDIALOG) {
            desktop::setWindowUserData(dialog, lParam);
            AnnObject* a = automationOf(dialog);
            return a && init(dialog, *a) ? 1 : 0;
        }
        if (message != desktop::WM_COMMAND) return 0;
        switch (desktop::lowWord(wParam)) {
        case desktop::IDOK:
            if (AnnObject* a = automationOf(dialog)) ok(dialog, *a);
            else (void)desktop::endDialog(dialog, desktop::IDCANCEL);
            return 1;
        case desktop::IDCANCEL: (void)desktop::endDialog(dialog, desktop::IDCANCEL); return 1;
        default: return 0;
        }
    } catch (...) {
        annFailureResult();
        (void)desktop::endDialog(dialog, desktop::IDCANCEL);
        return 1;
    }
}

}  // namespace

std::intptr_t annRunDialog(int resource, desktop::WindowHandle owner, ANNHANDLE automation) {
    const desktop::WindowProc procedure = resource == kLineDialog   ? &K_AnnLineDlgProc
                                          : resource == kFillDialog ? &K_AnnFillDlgProc
                                                                    : &K_AnnTextDlgProc;
    return desktop::dialogBox(dialogTemplate(resource), owner, procedure, static_cast<std::intptr_t>(automation));
}

}  // namespace fg::annotation

using namespace fg::annotation;

extern "C" {

intptr_t K_AnnLineDlgProc(ANNWND dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return dialogProc(dialog, message, wParam, lParam, [](WindowHandle d, AnnObject& a) { return initLine(d, a), true; }, okLine);
}

intptr_t K_AnnFillDlgProc(ANNWND dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return dialogProc(dialog, message, wParam, lParam, [](WindowHandle d, AnnObject& a) { return initFill(d, a), true; }, okFill);
}

intptr_t K_AnnTextDlgProc(ANNWND dialog, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return dialogProc(dialog, message, wParam, lParam, initText, okText);
}

}  // extern "C"
