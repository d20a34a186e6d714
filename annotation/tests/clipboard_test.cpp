// The clipboard: annotation text copied and pasted back, the metafile
// picture, what happens to what the clipboard held, a clipboard someone
// else holds open, cuts, and the count of selected objects.
#include "annotation/module.h"
#include "engine_fixture.h"
#include "platform/desktop/clipboard.h"
#include "platform/desktop/metafile.h"
#include "platform/testing/desktop_host.h"
#include "saved_trees.h"

#include <cstring>
#include <string>

namespace fg::annotation {
namespace {

class Clipboard : public EngineTest {
protected:
    static unsigned annotationFormat() { return annModule().clipboardFormat; }
    // A block of the given bytes placed on the clipboard under a format.
    static void place(unsigned format, const std::string& bytes, bool empty = true) {
        const desktop::MemoryHandle block = desktop::globalAlloc(desktop::GMEM_MOVEABLE, bytes.size());
        std::memcpy(desktop::globalLock(block), bytes.data(), bytes.size());
        (void)desktop::globalUnlock(block);
        ASSERT_TRUE(desktop::openClipboard(0));
        if (empty) (void)desktop::emptyClipboard();
        EXPECT_TRUE(desktop::setClipboardData(format, block));
        (void)desktop::closeClipboard();
    }
    static bool available(unsigned format) { return desktop::isClipboardFormatAvailable(format); }
    static int32_t ready() {
        int32_t r = -1;
        EXPECT_EQ(K_AnnClipboardReady(&r), ANN_SUCCESS);
        return r;
    }
};

TEST_F(Clipboard, ACopyPastesBackAsTheSameTree) {
    testing::HostWindow window;
    const ANNHANDLE root = everyKindTree();
    K_AnnSetWnd(root, window.handle());
    EXPECT_EQ(ready(), 0);
    ASSERT_EQ(K_AnnCopyToClipboard(root, ANN_FORMAT_ANNOTATION, 0, 1), ANN_SUCCESS);
    EXPECT_EQ(ready(), 1);
    EXPECT_EQ(desktop::clipboardOwner(), window.handle()) << "opened for the object's window";

    ANNHANDLE pasted = 0;
    ASSERT_EQ(K_AnnCopyFromClipboard(window.handle(), &pasted), ANN_SUCCESS);
    EXPECT_EQ(describe(record(pasted)), describe(record(root)));
    EXPECT_EQ(record(pasted).Wnd, 0u) << "a pasted tree has no window until it is inserted";
    K_AnnDestroy(pasted, 0);

    // Only the selected objects, inside their containers.
    ANNHANDLE group = 0, polygon = 0;
    for (AnnObject* o = &record(root); o; o = annNextBelow(o, &record(root)))
        if (o->Type == ANN_POLYGON) polygon = o->Self, group = o->Container->Self;
    K_AnnSetSelected(polygon, 1, 0);
    ASSERT_EQ(K_AnnCopyToClipboard(root, ANN_FORMAT_ANNOTATION, 1, 1), ANN_SUCCESS);
    ASSERT_EQ(K_AnnCopyFromClipboard(0, &pasted), ANN_SUCCESS);
    uint32_t kinds[3] = {99, 99, 99};
    const AnnObject& top = record(pasted);
    kinds[0] = top.Type;
    kinds[1] = top.FirstChild ? top.FirstChild->Type : 99;
    kinds[2] = top.FirstChild && top.FirstChild->FirstChild ? top.FirstChild->FirstChild->Type : 99;
    EXPECT_EQ(kinds[0], uint32_t(ANN_CONTAINER));
    EXPECT_EQ(kinds[1], uint32_t(ANN_CONTAINER));
    EXPECT_EQ(kinds[2], uint32_t(ANN_POLYGON));
    EXPECT_EQ(record(group).ForeColor, top.FirstChild->ForeColor);
    EXPECT_EQ(top.FirstChild->NextSibling, nullptr);
    EXPECT_EQ(top.FirstChild->FirstChild->NextSibling, nullptr);
    K_AnnDestroy(pasted, 0);
    K_AnnDestroy(root, 0);
}

TEST_F(Clipboard, AMetafilePictureHasTheRootsExtent) {
    const ANNHANDLE root = container(0, {10, 20, 110, 70});
    const ANNHANDLE rect = box(root, ANN_RECTANGLE, {5, 5, 45, 25});
    ASSERT_EQ(K_AnnCopyToClipboard(rect, ANN_FORMAT_METAFILE, 0, 1), ANN_SUCCESS);
    ASSERT_TRUE(desktop::openClipboard(0));
    const desktop::MetafilePicture* picture = desktop::clipboardMetafile();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->mapMode, desktop::MM_TEXT);
    EXPECT_EQ(picture->xExt, 103);
    EXPECT_EQ(picture->yExt, 53);
    const std::vector<desktop::MetafileRecord> records = desktop::metafileRecords(picture->metafile);
    (void)desktop::closeClipboard();
    ASSERT_GE(records.size(), 3u);
    EXPECT_EQ(records[1], (desktop::MetafileRecord{desktop::meta::SETWINDOWORG, {19, 9}}));
    int rectangles = 0;
    for (const auto& r : records) rectangles += r.function == desktop::meta::RECTANGLE;
    EXPECT_EQ(rectangles, 1) << "the object passed, not its container";
    EXPECT_FALSE(available(annotationFormat()));
    K_AnnDestroy(root, 0);
}

TEST_F(Clipboard, KeepsOrEmptiesWhatTheClipboardHeldAsAsked) {
    const ANNHANDLE root = container(0, {0, 0, 50, 50});
    place(desktop::CF_TEXT, "someone's text");
    ASSERT_EQ(K_AnnCopyToClipboard(root, ANN_FORMAT_ANNOTATION, 0, 0), ANN_SUCCESS);
    EXPECT_TRUE(available(desktop::CF_TEXT));
    ASSERT_EQ(K_AnnCopyToClipboard(root, ANN_FORMAT_METAFILE, 0, 0), ANN_SUCCESS);
    EXPECT_TRUE(available(desktop::CF_TEXT));
    EXPECT_TRUE(available(annotationFormat()));
    EXPECT_TRUE(available(desktop::CF_METAFILEPICT));

    // A format no one places leaves the clipboard alone, even when asked
    // to empty it.
    EXPECT_EQ(K_AnnCopyToClipboard(root, 2, 0, 1), ANN_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(available(desktop::CF_TEXT));

    ASSERT_EQ(K_AnnCopyToClipboard(root, ANN_FORMAT_ANNOTATION, 0, 1), ANN_SUCCESS);
    EXPECT_FALSE(available(desktop::CF_TEXT));
    EXPECT_FALSE(available(desktop::CF_METAFILEPICT));
    K_AnnDestroy(root, 0);
}

TEST_F(Clipboard, AnswersEveryFailure) {
    const ANNHANDLE root = container(0, {0, 0, 50, 50});
    ANNHANDLE pasted = 5;
    EXPECT_EQ(K_AnnCopyToClipboard(0, 0, 0, 1), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnCopyFromClipboard(0, nullptr), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnClipboardReady(nullptr), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnCopyFromClipboard(0, &pasted), ANN_ERROR_NOT_SUPPORTED) << "no annotation text";
    EXPECT_EQ(pasted, 0u);

    // Someone else holds the clipboard open.
    ASSERT_TRUE(desktop::openClipboard(0));
    EXPECT_EQ(K_AnnCopyToClipboard(root, ANN_FORMAT_ANNOTATION, 0, 1), 0);
    EXPECT_EQ(K_AnnCopyFromClipboard(0, &pasted), 0);
    (void)desktop::closeClipboard();

    // Text that does not load, and a block larger than its text (the
    // bytes after the end are not read).
    place(annotationFormat(), lines({"KTANNBEGIN", "BEGINOBJECT", "3", "ENDOBJECT", "KTANNEND"}));
    EXPECT_EQ(K_AnnCopyFromClipboard(0, &pasted), ANN_ERROR_FILE_READ);
    EXPECT_EQ(pasted, 0u);
    place(annotationFormat(), lines({"KTANNBEGIN", "BEGINOBJECT", "0", "TAG", "8", "ENDOBJECT", "KTANNEND"}) +
                                  std::string(100, '\0') + "garbage");
    ASSERT_EQ(K_AnnCopyFromClipboard(0, &pasted), ANN_SUCCESS);
    EXPECT_EQ(record(pasted).Tag, 8u);
    K_AnnDestroy(pasted, 0);

    // A save that fails places nothing.
    place(desktop::CF_TEXT, "kept");
    desktop::setGlobalMemoryLimit(100);
    EXPECT_EQ(K_AnnCopyToClipboard(root, ANN_FORMAT_ANNOTATION, 0, 0), ANN_ERROR_FILE_WRITE);
    desktop::setGlobalMemoryLimit(SIZE_MAX);
    EXPECT_FALSE(available(annotationFormat()));
    EXPECT_TRUE(available(desktop::CF_TEXT));
    EXPECT_EQ(ready(), 0);
    K_AnnDestroy(root, 0);
}

TEST_F(Clipboard, ACutDestroysWhatItPlacedAndNothingWhenItFails) {
    const ANNHANDLE root = container(0, {0, 0, 100, 100});
    const ANNHANDLE a = box(root, ANN_RECTANGLE, {1, 1, 5, 5});
    const ANNHANDLE b = box(root, ANN_ELLIPSE, {10, 10, 20, 20});
    ANNHANDLE group = 0;
    ASSERT_EQ(K_AnnCreateItem(root, ANN_CONTAINER, 1, &group), ANN_SUCCESS);
    const ANNHANDLE deep = box(group, ANN_NOTE, {30, 30, 40, 40});
    const ANNHANDLE deeper = box(group, ANN_TEXT, {50, 50, 60, 60});
    K_AnnSetSelected(a, 1, 0);
    K_AnnSetSelected(deep, 1, 0);
    const std::size_t live = annLiveObjectCount();
    const struct {
        const char* what;
        ANNHANDLE object;
        uint32_t format;
        bool holdOpen;
        std::size_t memoryLimit;
        int32_t result;
    } failures[] = {
        {"no object", 0, ANN_FORMAT_ANNOTATION, false, SIZE_MAX, ANN_ERROR_INVALID_PARAMETER},
        {"a format no one places", root, 2, false, SIZE_MAX, ANN_ERROR_NOT_SUPPORTED},
        {"the clipboard held open by another", root, ANN_FORMAT_ANNOTATION, true, SIZE_MAX, 0},
        {"no memory for the text", root, ANN_FORMAT_ANNOTATION, false, 100, ANN_ERROR_FILE_WRITE},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.what);
        if (f.holdOpen) {
            ASSERT_TRUE(desktop::openClipboard(0));
        }
        desktop::setGlobalMemoryLimit(f.memoryLimit);
        EXPECT_EQ(K_AnnCutToClipboard(f.object, f.format, 1, 1), f.result);
        desktop::setGlobalMemoryLimit(SIZE_MAX);
        if (f.holdOpen) (void)desktop::closeClipboard();
        EXPECT_EQ(annLiveObjectCount(), live) << "nothing destroyed";
        EXPECT_FALSE(available(annotationFormat()));
    }

    // The selected ones go, the rest stays.
    ASSERT_EQ(K_AnnCutToClipboard(root, ANN_FORMAT_ANNOTATION, 1, 1), ANN_SUCCESS);
    EXPECT_TRUE(available(annotationFormat()));
    EXPECT_EQ(annLock(a), nullptr);
    EXPECT_EQ(annLock(deep), nullptr);
    EXPECT_NE(annLock(b), nullptr);
    EXPECT_EQ(record(group).FirstChild->Self, deeper);

    // Without the switch: the object with everything below it.
    ASSERT_EQ(K_AnnCutToClipboard(group, ANN_FORMAT_METAFILE, 0, 1), ANN_SUCCESS);
    EXPECT_EQ(annLock(group), nullptr);
    EXPECT_EQ(annLock(deeper), nullptr);
    EXPECT_TRUE(available(desktop::CF_METAFILEPICT));
    EXPECT_EQ(record(root).FirstChild->Self, b);
    K_AnnDestroy(root, 0);
}

TEST_F(Clipboard, RefusesAPictureTheFileWriterRefusesAndACutOfItKeepsTheTree) {
    for (const double extent : {3e4, 1e5, 2e9}) {
        SCOPED_TRACE(extent);
        const ANNHANDLE root = container(0, {-extent, -extent, extent, extent});
        const ANNHANDLE child = box(root, ANN_RECTANGLE, {1, 1, 5, 5});
        ANNMEMORY memory = 0;
        ASSERT_EQ(K_AnnSaveMemory(root, ANN_FORMAT_METAFILE, 0, &memory, nullptr), ANN_ERROR_INVALID_PARAMETER);
        place(desktop::CF_TEXT, "kept");
        const std::size_t live = annLiveObjectCount();
        EXPECT_EQ(K_AnnCopyToClipboard(root, ANN_FORMAT_METAFILE, 0, 1), ANN_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(K_AnnCutToClipboard(root, ANN_FORMAT_METAFILE, 0, 1), ANN_ERROR_INVALID_PARAMETER);
        EXPECT_EQ(annLiveObjectCount(), live);
        EXPECT_EQ(record(root).FirstChild->Self, child);
        EXPECT_FALSE(available(desktop::CF_METAFILEPICT));
        EXPECT_TRUE(available(desktop::CF_TEXT)) << "a refused copy leaves what the clipboard held";
        K_AnnDestroy(root, 0);
    }
}

TEST_F(Clipboard, SelectCountTakesTheObjectAndEverySelectedObjectBelowIt) {
    const ANNHANDLE root = container(0, {0, 0, 100, 100});
    const ANNHANDLE a = box(root, ANN_RECTANGLE, {1, 1, 5, 5});
    box(root, ANN_ELLIPSE, {1, 1, 5, 5});
    ANNHANDLE group = 0;
    ASSERT_EQ(K_AnnCreateItem(root, ANN_CONTAINER, 1, &group), ANN_SUCCESS);
    const ANNHANDLE deep = box(group, ANN_NOTE, {1, 1, 5, 5});
    const ANNHANDLE deeper = box(group, ANN_TEXT, {1, 1, 5, 5});
    uint32_t count = 99;
    EXPECT_EQ(K_AnnGetSelectCount(root, &count), ANN_SUCCESS);
    EXPECT_EQ(count, 0u);
    for (ANNHANDLE h : {root, a, deep, deeper, group}) K_AnnSetSelected(h, 1, 0);
    EXPECT_EQ(K_AnnGetSelectCount(root, &count), ANN_SUCCESS);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(K_AnnGetSelectCount(group, &count), ANN_SUCCESS);
    EXPECT_EQ(count, 3u) << "the group and its two children, not its siblings";
    EXPECT_EQ(K_AnnGetSelectCount(a, &count), ANN_SUCCESS);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(K_AnnGetSelectCount(0, &count), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnGetSelectCount(root, nullptr), ANN_ERROR_INVALID_PARAMETER);
    K_AnnDestroy(root, 0);
}

}  // namespace
}  // namespace fg::annotation
