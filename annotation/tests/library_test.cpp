// The library as the imaging control uses it: loaded by its name at run
// time, every export found under its own name, the module started by the
// load.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(Library, LoadsAndOffersEveryExportByName) {
    void* library = dlopen(ZENTREL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const char* const exports[] = {
        "DllMain", "K_AnnCreate", "K_AnnCreateContainer", "K_AnnCreateItem", "K_AnnDestroy", "K_AnnInsert",
        "K_AnnRemove", "K_AnnBringToFront", "K_AnnSendToBack", "K_AnnGetContainer", "K_AnnGetTopContainer",
        "K_AnnEnumerate", "K_AnnHitTest", "K_AnnSetRect", "K_AnnGetRect", "K_AnnGetBoundingRect", "K_AnnSetPoints",
        "K_AnnSetWnd", "K_AnnGetWnd", "K_AnnSetUserMode", "K_AnnGetUserMode", "K_AnnGetActiveState", "K_AnnGetType",
        "K_AnnSetVisible", "K_AnnGetVisible", "K_AnnSetSelected", "K_AnnGetSelected", "K_AnnSetTag", "K_AnnGetTag",
        "K_AnnSetFontBold", "K_AnnGetFontBold", "K_AnnSetFontItalic", "K_AnnGetFontItalic",
        "K_AnnSetFontStrikeThrough", "K_AnnGetFontStrikeThrough", "K_AnnSetFontUnderline", "K_AnnGetFontUnderline",
        "K_AnnSetForeColor", "K_AnnGetForeColor", "K_AnnSetBackColor", "K_AnnGetBackColor", "K_AnnSetLineWidth",
        "K_AnnGetLineWidth", "K_AnnSetLineStyle", "K_AnnGetLineStyle", "K_AnnSetFillPattern", "K_AnnGetFillPattern",
        "K_AnnSetFillMode", "K_AnnGetFillMode", "K_AnnSetPolyFillMode", "K_AnnGetPolyFillMode", "K_AnnSetFontSize",
        "K_AnnGetFontSize", "K_AnnSetScalarX", "K_AnnGetScalarX", "K_AnnSetScalarY", "K_AnnGetScalarY",
        "K_AnnSetOffsetX", "K_AnnGetOffsetX", "K_AnnSetOffsetY", "K_AnnGetOffsetY", "K_AnnSetText", "K_AnnGetText",
        "K_AnnGetTextLen", "K_AnnSetFontName", "K_AnnGetFontName", "K_AnnGetFontNameLen", "K_AnnSetBitmap",
        "K_AnnGetBitmap", "K_AnnDraw", "K_AnnPrint", "K_AnnRealize", "K_AnnFlip", "K_AnnReverse", "K_AnnRotate",
        "K_AnnResize", "K_AnnMove", "K_AnnSelectPoint", "K_AnnSelectRect", "K_AnnToolBarWndProc",
        "K_AnnDefine", "K_AnnCreateToolBar", "K_AnnSetToolBarChecked", "K_AnnGetToolBarChecked",
        "K_AnnSetToolBarButtonVisible", "K_AnnGetToolBarButtonVisible", "K_AnnLineDlgProc", "K_AnnFillDlgProc",
        "K_AnnTextDlgProc", "K_AnnAutoWndProc", "K_AnnSetActiveState", "K_AnnSetTool", "K_AnnGetTool",
        "K_AnnSetAutoContainer", "K_AnnGetAutoContainer", "K_AnnSetDpiX", "K_AnnGetDpiX", "K_AnnSetDpiY",
        "K_AnnGetDpiY", "K_AnnSetAutoMenuEnable", "K_AnnGetAutoMenuEnable", "K_AnnSetAutoDrawEnable",
        "K_AnnGetAutoDrawEnable", "K_AnnSetAutoText", "K_AnnGetAutoText", "K_AnnGetAutoTextLen", "K_AnnSetUndoDepth",
        "K_AnnUndo", "K_AnnCopy", "K_AnnGetItem", "K_AnnGetSelectRect",
        "K_AnnSave", "K_AnnSaveOffset", "K_AnnSaveMemory", "K_AnnLoad", "K_AnnLoadOffset", "K_AnnLoadMemory",
        "K_AnnCopyToClipboard", "K_AnnCutToClipboard", "K_AnnCopyFromClipboard", "K_AnnClipboardReady", "K_AnnGetSelectCount",
    };
    for (const char* name : exports) EXPECT_NE(dlsym(library, name), nullptr) << name;

    // The load started the module: a new text object has ten points at the
    // screen's resolution.
    using Create = int32_t (*)(uint32_t, uintptr_t*);
    using GetSize = int32_t (*)(uintptr_t, double*);
    using Destroy = int32_t (*)(uintptr_t, uint32_t);
    auto create = reinterpret_cast<Create>(dlsym(library, "K_AnnCreate"));
    auto getSize = reinterpret_cast<GetSize>(dlsym(library, "K_AnnGetFontSize"));
    auto destroy = reinterpret_cast<Destroy>(dlsym(library, "K_AnnDestroy"));
    uintptr_t text = 0;
    ASSERT_EQ(create(15, &text), 1);
    double size = 0;
    EXPECT_EQ(getSize(text, &size), 1);
    EXPECT_DOUBLE_EQ(size, 96 * 10 / 72.0);
    EXPECT_EQ(destroy(text, 0), 1);
    EXPECT_EQ(destroy(text, 0), -13);
    dlclose(library);
}

}  // namespace
