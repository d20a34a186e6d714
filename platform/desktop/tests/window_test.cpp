#include "platform/desktop/bitmap.h"
#include "platform/desktop/clipboard.h"
#include "platform/desktop/sound.h"
#include "platform/files.h"
#include "platform/image/bmp.h"
#include "platform/testing/desktop_host.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace fg::desktop {
namespace {

constexpr std::uint32_t kProbe = WM_USER + 1;
std::vector<std::string> trail;

std::intptr_t outer(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t);
WindowProc outerPrevious = nullptr, middlePrevious = nullptr;

std::intptr_t middle(WindowHandle h, std::uint32_t m, std::uintptr_t w, std::intptr_t l) {
    if (m != kProbe) return callWindowProc(middlePrevious, h, m, w, l);
    trail.push_back("middle");
    if (w == 1) return 10;  // consumed here
    return callWindowProc(middlePrevious, h, m, w, l) + 1;
}

std::intptr_t outer(WindowHandle h, std::uint32_t m, std::uintptr_t w, std::intptr_t l) {
    if (m == kProbe) trail.push_back("outer");
    return callWindowProc(outerPrevious, h, m, w, l) + (m == kProbe ? 100 : 0);
}

// A window's procedure replaced twice: each hands on what it does not keep
// to the one it replaced, and putting them back in turn restores the chain.
TEST(Windows, SubclassedProceduresChainToTheOnesTheyReplaced) {
    testing::DesktopReset reset;
    testing::HostWindow host;
    host.answer[kProbe] = 1000;
    middlePrevious = setWindowProc(host.handle(), middle);
    outerPrevious = setWindowProc(host.handle(), outer);
    EXPECT_EQ(windowProc(host.handle()), outer);

    struct Case {
        std::uintptr_t wParam;
        std::intptr_t result;
        std::vector<std::string> trail;
        std::size_t hostSaw;
    } cases[] = {
        {0, 1101, {"outer", "middle"}, 1},  // down to the host and back up
        {1, 110, {"outer", "middle"}, 0},   // kept by the middle procedure
    };
    for (const auto& c : cases) {
        trail.clear();
        host.clearLog();
        EXPECT_EQ(sendMessage(host.handle(), kProbe, c.wParam), c.result);
        EXPECT_EQ(trail, c.trail);
        EXPECT_EQ(host.messages(kProbe).size(), c.hostSaw);
    }
    // Unhooked from the outside in, the host answers alone again.
    EXPECT_EQ(setWindowProc(host.handle(), outerPrevious), outer);
    EXPECT_EQ(setWindowProc(host.handle(), middlePrevious), middle);
    trail.clear();
    EXPECT_EQ(sendMessage(host.handle(), kProbe), 1000);
    EXPECT_TRUE(trail.empty());
    EXPECT_EQ(setWindowProc(0, middle), nullptr);
}

// The chosen command is posted while the menu is shown, so it comes before a
// message posted once the menu is gone.
TEST(Windows, AMenuChoiceArrivesBeforeAMessagePostedAfterTheMenu) {
    testing::DesktopReset reset;
    testing::HostWindow host;
    auto menus = testing::ScriptedMenuDriver::install();
    auto build = [] {
        const MenuHandle menu = createPopupMenu(), properties = createPopupMenu();
        (void)appendMenu(menu, MF_STRING, 100, "切り取り(&T)");
        (void)appendMenu(menu, MF_STRING | MF_GRAYED | MF_DISABLED, 101, "ｺﾋﾟｰ(&C)");
        (void)appendMenu(menu, MF_SEPARATOR, 0, "");
        (void)appendMenu(properties, MF_STRING, 106, "直線(&L)...");
        (void)appendMenu(menu, MF_POPUP, properties, "ﾃﾞﾌｫﾙﾄ ﾌﾟﾛﾊﾟﾃｨ(&O)");
        return menu;
    };
    struct Case {
        unsigned choice;
        std::vector<std::uintptr_t> commands;  // as delivered
    } cases[] = {
        {106, {106, 111}},  // from the submenu
        {100, {100, 111}},
        {101, {111}},  // disabled: nothing chosen
        {0, {111}},    // dismissed
        {999, {111}},  // not on the menu
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.choice);
        host.clearLog();
        menus->choices = {c.choice};
        const MenuHandle menu = build();
        EXPECT_TRUE(trackPopupMenu(menu, TPM_RIGHTBUTTON, {300, 200}, host.handle()));
        (void)postMessage(host.handle(), WM_COMMAND, 111);
        EXPECT_TRUE(destroyMenu(menu));
        EXPECT_TRUE(host.messages(WM_COMMAND).empty());  // nothing until the pump runs
        EXPECT_EQ(host.messages(WM_INITMENU).size(), 1u);
        dispatchMessages();
        std::vector<std::uintptr_t> delivered;
        for (const Message& m : host.messages(WM_COMMAND)) delivered.push_back(lowWord(m.wParam));
        EXPECT_EQ(delivered, c.commands);
    }
    const auto& shown = menus->shown.front();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_TRUE(shown[0].enabled);
    EXPECT_FALSE(shown[1].enabled);
    EXPECT_TRUE(shown[2].separator);
    ASSERT_EQ(shown[3].submenu.size(), 1u);
    EXPECT_EQ(shown[3].submenu[0].text, "直線(&L)...");
    EXPECT_EQ(menus->shownAt.front(), (Point{300, 200}));
}

// A line-width dialog in the engine's manner: the driver reads and sets its
// controls, an unreadable value keeps it open with a beep, OK and cancel end it.
struct LineValues {
    double points = 0;
    int style = 0;
};
std::intptr_t lineDialog(WindowHandle dialog, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    auto* values = reinterpret_cast<LineValues*>(windowUserData(dialog));
    switch (message) {
    case WM_INITDIALOG: {
        setWindowUserData(dialog, lParam);
        values = reinterpret_cast<LineValues*>(lParam);
        (void)setWindowText(dialog, "直線");
        for (const char* s : {"実線", "点線", "鎖線"}) sendDlgItemMessage(dialog, 1002, CB_ADDSTRING, 0, reinterpret_cast<std::intptr_t>(s));
        sendDlgItemMessage(dialog, 1002, CB_SETCURSEL, static_cast<std::uintptr_t>(values->style));
        (void)setDlgItemText(dialog, 1001, "0.75");
        (void)enableWindow(dlgItem(dialog, 1003), false);
        return 1;
    }
    case WM_COMMAND:
        if (lowWord(wParam) == IDOK) {
            const std::string text = dlgItemText(dialog, 1001, 32);
            char* end = nullptr;
            const double v = std::strtod(text.c_str(), &end);
            if (text.empty() || *end) {
                messageBeep(0);
                setFocus(dlgItem(dialog, 1001));
                return 1;
            }
            values->points = v;
            values->style = static_cast<int>(sendDlgItemMessage(dialog, 1002, CB_GETCURSEL));
            (void)endDialog(dialog, IDOK);
            return 1;
        }
        if (lowWord(wParam) == IDCANCEL) {
            (void)endDialog(dialog, IDCANCEL);
            return 1;
        }
        return 0;
    default: return 0;
    }
}

TEST(Dialogs, ADriverReadsAndSetsControlsAndEndsWithOkOrCancel) {
    testing::DesktopReset reset;
    testing::HostWindow host;
    auto sound = std::make_shared<NullSound>();
    setSoundBackend(sound);
    const DialogTemplate line{"caption", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, {36, 24, 210, 111},
                              "ＭＳ Ｐゴシック", 9,
                              {{1001, "EDIT", "", WS_TABSTOP, {60, 8, 120, 20}},
                               {1002, "COMBOBOX", "", CBS_DROPDOWNLIST, {60, 28, 160, 90}},
                               {1003, "COMBOBOX", "", CBS_DROPDOWN, {60, 48, 160, 90}},
                               {IDOK, "BUTTON", "OK", BS_DEFPUSHBUTTON, {20, 70, 70, 84}},
                               {IDCANCEL, "BUTTON", "ｷｬﾝｾﾙ", 0, {90, 70, 140, 84}}}};
    auto dialogs = testing::ScriptedDialogDriver::install();
    dialogs->scripts.push_back([&](DialogSession& d) {
        EXPECT_EQ(d.caption(), "直線");
        EXPECT_EQ(d.text(1001), "0.75");
        EXPECT_EQ(d.items(1002), (std::vector<std::string>{"実線", "点線", "鎖線"}));
        EXPECT_EQ(d.selection(1002), 1);
        EXPECT_FALSE(d.enabled(1003));
        d.select(1003, 0);  // disabled: no effect
        EXPECT_EQ(d.selection(1003), -1);
        d.type(1001, "1,5");
        d.click(IDOK);
        EXPECT_FALSE(d.ended());
        EXPECT_EQ(focusWindow(), dlgItem(d.window(), 1001));
        d.type(1001, "2.25");
        d.select(1002, 2);
        d.click(IDOK);
        EXPECT_TRUE(d.ended());
        EXPECT_EQ(d.result(), IDOK);
    });
    dialogs->scripts.push_back([](DialogSession& d) {
        d.type(1001, "9");
        d.click(IDCANCEL);
    });
    dialogs->scripts.push_back(nullptr);  // left open: cancelled

    struct Case {
        std::intptr_t result;
        double points;
        int style;
    } cases[] = {{IDOK, 2.25, 2}, {IDCANCEL, 0, 1}, {IDCANCEL, 0, 1}};
    for (const auto& c : cases) {
        LineValues values{0, 1};
        EXPECT_EQ(dialogBox(line, host.handle(), lineDialog, reinterpret_cast<std::intptr_t>(&values)), c.result);
        EXPECT_EQ(values.points, c.points);
        EXPECT_EQ(values.style, c.style);
    }
    EXPECT_EQ(sound->beeps(), std::vector<unsigned>{0});
    EXPECT_EQ(dialogs->captions.size(), 3u);
    EXPECT_EQ(childWindows(host.handle()), std::vector<WindowHandle>{});  // every dialog is gone
}

TEST(Dialogs, CommonDialogsCancelUnlessADriverAnswers) {
    testing::DesktopReset reset;
    testing::TempDir dir;
    fs::writeFileAtomic(dir / "a.wav", "x");
    ColorRequest colour{0, 0x123456, nullptr, CC_RGBINIT};
    EXPECT_FALSE(chooseColor(colour));
    auto answers = testing::ScriptedCommonDialogs::install();
    answers->colors = {0x00FF00};
    answers->files = {dir / "a.wav", dir / "missing.wav", std::string(300, 'x')};
    EXPECT_EQ(chooseColor(colour), Color{0x00FF00});
    EXPECT_EQ(answers->colorRequests.at(0).initial, Color{0x123456});
    const OpenFileRequest open{0, "ｵｰﾃﾞｨｵ ﾌｧｲﾙ", std::string("Wave\0*.wav\0", 11), OFN_FILEMUSTEXIST};
    EXPECT_EQ(getOpenFileName(open), dir / "a.wav");
    EXPECT_FALSE(getOpenFileName(open));  // no such file
    EXPECT_FALSE(getOpenFileName(open));  // longer than the buffer
    EXPECT_FALSE(chooseFont({}));
}

// A block placed under a registered format comes back byte for byte; the
// clipboard owns it from then on and frees it when emptied.
TEST(Clipboard, ARegisteredFormatRoundTrips) {
    testing::DesktopReset reset;
    testing::HostWindow host, other;
    const unsigned format = registerClipboardFormat("KraytonTools 7.0 Annotation");
    EXPECT_GE(format, 0xC000u);
    EXPECT_EQ(registerClipboardFormat("kraytontools 7.0 annotation"), format);
    EXPECT_NE(registerClipboardFormat("another"), format);
    const std::size_t blocksBefore = globalBlockCount();

    const std::string text = "KTANNBEGIN\r\nKTANNEND\r\n";
    const MemoryHandle block = globalAlloc(GMEM_MOVEABLE, text.size());
    std::memcpy(globalLock(block), text.data(), text.size());
    (void)globalUnlock(block);
    EXPECT_FALSE(setClipboardData(format, block));  // not open
    ASSERT_TRUE(openClipboard(host.handle()));
    EXPECT_FALSE(openClipboard(other.handle()));  // held by the host
    EXPECT_TRUE(emptyClipboard());
    EXPECT_TRUE(setClipboardData(format, block));
    MetafileRecorder recorder;
    recorder.rectangle({0, 0, 5, 5});
    EXPECT_TRUE(setClipboardMetafile({MM_TEXT, 5, 5, recorder.close()}));
    EXPECT_TRUE(closeClipboard());
    EXPECT_EQ(clipboardOwner(), host.handle());

    EXPECT_TRUE(isClipboardFormatAvailable(format));
    EXPECT_TRUE(isClipboardFormatAvailable(CF_METAFILEPICT));
    EXPECT_EQ(clipboardData(format), 0u);  // only while open
    ASSERT_TRUE(openClipboard(other.handle()));
    const MemoryHandle got = clipboardData(format);
    ASSERT_NE(got, 0u);
    EXPECT_EQ(std::string(static_cast<const char*>(globalLock(got)), globalSize(got)), text);
    (void)globalUnlock(got);
    ASSERT_NE(clipboardMetafile(), nullptr);
    EXPECT_EQ(metafileRecords(clipboardMetafile()->metafile).size(), 1u);
    EXPECT_TRUE(emptyClipboard());
    EXPECT_TRUE(closeClipboard());
    EXPECT_FALSE(isClipboardFormatAvailable(format));
    EXPECT_EQ(globalBlockCount(), blocksBefore);
    EXPECT_EQ(globalLock(block), nullptr);  // freed with the clipboard's contents
}

TEST(GlobalMemory, BlocksLockGrowAndFailWithoutThrowing) {
    const MemoryHandle h = globalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 3);
    auto* p = static_cast<std::uint8_t*>(globalLock(h));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0] | p[1] | p[2], 0);
    p[0] = 7;
    EXPECT_EQ(globalHandle(p), h);
    EXPECT_EQ(globalReAlloc(h, 40000, GMEM_ZEROINIT), h);
    p = static_cast<std::uint8_t*>(globalLock(h));
    EXPECT_EQ(p[0], 7);
    EXPECT_EQ(p[39999], 0);
    EXPECT_EQ(globalSize(h), 40000u);
    setGlobalMemoryLimit(1000);
    EXPECT_EQ(globalAlloc(GMEM_MOVEABLE, 1001), 0u);
    EXPECT_EQ(globalReAlloc(h, 50000, 0), 0u);
    EXPECT_EQ(globalSize(h), 40000u);  // unchanged
    EXPECT_EQ(memoryAllocate(5000), nullptr);
    setGlobalMemoryLimit(SIZE_MAX);
    EXPECT_EQ(globalFree(h), 0u);
    EXPECT_EQ(globalFree(h), h);
    EXPECT_EQ(globalLock(h), nullptr);
    void* q = memoryAllocate(10, true);
    q = memoryReallocate(q, 20);
    ASSERT_NE(q, nullptr);
    memoryFree(q);
    EXPECT_EQ(globalHandle(q), 0u);
}

// Invalidation is readable until a paint, which erases with the class
// background when asked; the pump paints once nothing else waits.
TEST(Windows, InvalidatedAreasArePaintedByThePumpAndCaptureAndPropertiesFollowTheWindow) {
    testing::DesktopReset reset;
    testing::HostWindow host({50, 40});
    {
        auto dc = getDC(host.handle());
        dc->fillRect({0, 0, 50, 40}, Brush::solid(0));
    }
    const Rect a{1, 2, 10, 12}, b{40, 30, 60, 60};
    (void)invalidateRect(host.handle(), &a, false);
    (void)invalidateRect(host.handle(), &b, true);
    EXPECT_EQ(invalidRects(host.handle()), (std::vector<Rect>{a, {40, 30, 50, 40}}));
    EXPECT_EQ(updateRect(host.handle()), (Rect{1, 2, 50, 40}));
    EXPECT_EQ(dispatchMessages(), 0);
    EXPECT_EQ(host.messages(WM_PAINT).size(), 1u);
    EXPECT_TRUE(invalidRects(host.handle()).empty());
    EXPECT_EQ(windowSurface(host.handle()).pixel(5, 5), (image::Rgb{255, 255, 255}));  // erased
    EXPECT_EQ(windowSurface(host.handle()).pixel(0, 0), (image::Rgb{0, 0, 0}));        // outside
    EXPECT_TRUE(updateWindow(host.handle()));
    EXPECT_EQ(host.messages(WM_PAINT).size(), 1u);  // nothing more to paint

    EXPECT_EQ(setCapture(host.handle()), 0u);
    const Atom atom = addAtom("ZentrelOBJECT");
    EXPECT_EQ(addAtom("zentrelobject"), atom);
    EXPECT_TRUE(setProp(host.handle(), atom, 42));
    EXPECT_EQ(getProp(host.handle(), "ZENTRELOBJECT"), 42);
    EXPECT_EQ(deleteAtom(atom), 0);
    EXPECT_EQ(atomName(atom), "ZentrelOBJECT");  // added twice, deleted once
    const WindowHandle old = host.handle();
    (void)destroyWindow(old);
    EXPECT_EQ(captureWindow(), 0u);
    EXPECT_EQ(getProp(old, atom), 0);
    EXPECT_FALSE(postMessage(old, WM_USER));
    EXPECT_EQ(sendMessage(old, WM_USER), 0);
    testing::HostWindow again;
    EXPECT_NE(again.handle(), old);  // a slot used again gives a new handle
}

TEST(Sound, OnlyWaveFilesPlay) {
    auto riff = [](std::string chunks) {
        std::string size(4, '\0');
        const auto n = static_cast<std::uint32_t>(4 + chunks.size());
        std::memcpy(size.data(), &n, 4);
        return "RIFF" + size + "WAVE" + chunks;
    };
    const std::string fmt = std::string("fmt \x10\0\0\0\x01\0\x01\0\x40\x1f\0\0\x80\x3e\0\0\x02\0\x10\0", 24);
    const std::string data = std::string("data\x04\0\0\0\0\0\0\0", 12);
    struct Case {
        const char* what;
        std::string bytes;
        bool plays;
    } cases[] = {
        {"pcm", riff(fmt + data), true},
        {"no data", riff(fmt), false},
        {"data before its format", riff(data + fmt), false},
        {"chunk past the end", riff(fmt + std::string("data\xFF\0\0\0", 8)), false},
        {"no channels", riff(std::string(fmt).replace(10, 2, std::string(2, '\0')) + data), false},
        {"not a riff", "hello", false},
    };
    testing::TempDir dir;
    auto sound = std::make_shared<NullSound>();
    setSoundBackend(sound);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::writeFileAtomic(dir / "s.wav", c.bytes);
        EXPECT_EQ(playSound(dir / "s.wav", SND_NODEFAULT), c.plays);
    }
    EXPECT_FALSE(playSound(dir / "missing.wav", SND_NODEFAULT));
    EXPECT_EQ(sound->played().size(), 1u);
}

TEST(Bitmaps, RecordsKeepTheirDepthThroughRowsPaletteDrawingAndFiles) {
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        Bitmap b;
        ASSERT_TRUE(createBitmap(b, 9, 3, bits, nullptr, 11, 22));
        EXPECT_EQ(b.bitsPerPixel(), bits);
        EXPECT_EQ(b.colorCount(), bits <= 8 ? 1 << bits : 0);
        std::vector<std::uint8_t> row(b.bytesPerLine(), 0xA5);
        EXPECT_TRUE(putBitmapRow(b, 2, row.data(), row.size()));
        EXPECT_FALSE(putBitmapRow(b, 3, row.data(), row.size()));
        Bitmap copy;
        ASSERT_TRUE(copyBitmap(copy, b));
        std::vector<std::uint8_t> back(copy.bytesPerLine());
        EXPECT_TRUE(getBitmapRow(copy, 2, back.data(), back.size()));
        EXPECT_EQ(back, row);
        EXPECT_EQ(copy.attributes[1], 22u);
        {
            auto dc = bitmapDC(copy);
            dc->fillRect({0, 0, 9, 1}, Brush::solid(0));
        }
        EXPECT_EQ(copy.bitsPerPixel(), bits);
        EXPECT_EQ(copy.image.pixel(3, 0), (image::Rgb{0, 0, 0}));
        EXPECT_EQ(copy.image.row(2)[0], 0xA5);
    }
    Bitmap b;
    EXPECT_FALSE(createBitmap(b, 9, 3, 2, nullptr, 0, 0));
    ASSERT_TRUE(createBitmap(b, 2, 2, 4, nullptr, 0, 0));
    EXPECT_TRUE(setBitmapPaletteEntries(b, {1, 2, 3, 0, 4, 5, 6, 0}));
    EXPECT_EQ(bitmapPaletteEntries(b), (std::vector<std::uint8_t>{1, 2, 3, 0, 4, 5, 6, 0}));
    EXPECT_FALSE(setBitmapPaletteEntries(b, std::vector<std::uint8_t>(17 * 4)));

    testing::TempDir dir;
    fs::writeFileAtomic(dir / "stamp.bmp", image::encodeBmp(b.image));
    Bitmap loaded;
    ASSERT_TRUE(loadBitmapFile(dir / "stamp.bmp", loaded));
    EXPECT_EQ(loaded.image, b.image);
    EXPECT_FALSE(loadBitmapFile(dir / "missing.bmp", loaded));
    EXPECT_EQ(loaded.image, b.image);
    Bitmap turned;
    ASSERT_TRUE(resampleBitmap(loaded, turned, 4, 2));
    ASSERT_TRUE(rotateBitmap(turned, 9000));
    EXPECT_EQ(turned.image.width(), 2);
    EXPECT_EQ(turned.image.height(), 4);
}

}  // namespace
}  // namespace fg::desktop
