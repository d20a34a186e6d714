#include "annotation/clipboard.h"

#include "annotation/guard.h"
#include "annotation/metafile_output.h"
#include "annotation/module.h"
#include "annotation/save_load.h"
#include "annotation/tree.h"
#include "platform/desktop/clipboard.h"
#include "platform/owned.h"

namespace fg::annotation {

namespace {

// The clipboard open for one call, closed on every path.
struct OpenClipboard {
    bool open;
    explicit OpenClipboard(desktop::WindowHandle owner) : open(desktop::openClipboard(owner)) {}
    ~OpenClipboard() {
        if (open) (void)desktop::closeClipboard();
    }
    OpenClipboard(const OpenClipboard&) = delete;
    OpenClipboard& operator=(const OpenClipboard&) = delete;
};

int copyText(AnnObject* object, bool selectedOnly) {
    desktop::MemoryHandle block = 0;
    if (const int r = annSaveMemory(object, ANN_FORMAT_ANNOTATION, selectedOnly, &block, nullptr); r != ANN_SUCCESS)
        return r;
    if (!desktop::setClipboardData(annModule().clipboardFormat, block)) {
        desktop::globalFree(block);
        return ANN_ERROR_NO_MEMORY;
    }
    return ANN_SUCCESS;
}

int copyPicture(AnnObject* object, bool selectedOnly) {
    const desktop::Rect bounds = annRoot(object)->BoundsRect;
    desktop::MetafilePicture picture{desktop::MM_TEXT, bounds.width(), bounds.height(),
                                     annRecordMetafile(object, selectedOnly)};
    return desktop::setClipboardMetafile(picture) ? ANN_SUCCESS : ANN_ERROR_NO_MEMORY;
}

}  // namespace

int annCopyToClipboard(AnnObject* object, std::uint32_t format, bool selectedOnly, bool emptyFirst) {
    if (!object) return ANN_ERROR_INVALID_PARAMETER;
    // Checked before the clipboard is opened, so that a format no one can
    // place never costs the user what the clipboard held.
    if (format > ANN_FORMAT_METAFILE) return ANN_ERROR_NOT_SUPPORTED;
    // The clipboard takes only what a save would write (a picture's frame
    // must fit the metafile's 16-bit fields): a picture placed with a frame
    // cut down would be wrong, and a cut would destroy the objects for it.
    if (const int r = annCheckSavable(*object, format); r != ANN_SUCCESS) return r;
    const OpenClipboard clipboard(object->Wnd);
    if (!clipboard.open) return 0;
    if (emptyFirst) (void)desktop::emptyClipboard();
    return format == ANN_FORMAT_ANNOTATION ? copyText(object, selectedOnly) : copyPicture(object, selectedOnly);
}

int annCutToClipboard(AnnObject* object, std::uint32_t format, bool selectedOnly, bool emptyFirst) {
    const int r = annCopyToClipboard(object, format, selectedOnly, emptyFirst);
    return r == ANN_SUCCESS ? annDestroyChosen(object, selectedOnly) : r;
}

int annCopyFromClipboard(desktop::WindowHandle window, AnnObject** root) {
    *root = nullptr;
    const OpenClipboard clipboard(window);
    if (!clipboard.open) return 0;
    const desktop::MemoryHandle block = desktop::clipboardData(annModule().clipboardFormat);
    if (!block) return ANN_ERROR_NOT_SUPPORTED;
    const void* bytes = desktop::globalLock(block);
    if (!bytes) return ANN_ERROR_INVALID_PARAMETER;
    const Owned<desktop::MemoryHandle, desktop::globalUnlock> locked(block);
    // The block may be larger than the text; the reader stops at its end.
    MemoryStream stream(bytes, static_cast<std::uint32_t>(desktop::globalSize(block)));
    return annLoadTree(stream, root);
}

bool annClipboardReady() { return desktop::isClipboardFormatAvailable(annModule().clipboardFormat); }

std::uint32_t annSelectCount(AnnObject& object) {
    std::uint32_t count = 0;
    for (AnnObject* o = &object; o; o = annNextBelow(o, &object))
        if (o->Selected) ++count;
    return count;
}

}  // namespace fg::annotation

using namespace fg::annotation;

extern "C" {

int32_t K_AnnCopyToClipboard(ANNHANDLE object, uint32_t format, int32_t selectedOnly, int32_t emptyFirst) {
    return annGuard([&] { return annCopyToClipboard(annLock(object), format, selectedOnly != 0, emptyFirst != 0); });
}

int32_t K_AnnCutToClipboard(ANNHANDLE object, uint32_t format, int32_t selectedOnly, int32_t emptyFirst) {
    return annGuard([&] { return annCutToClipboard(annLock(object), format, selectedOnly != 0, emptyFirst != 0); });
}

int32_t K_AnnCopyFromClipboard(ANNWND window, ANNHANDLE* object) {
    return annGuard([&] {
        if (!object) return ANN_ERROR_INVALID_PARAMETER;
        AnnObject* root = nullptr;
        const int r = annCopyFromClipboard(window, &root);
        *object = r == ANN_SUCCESS ? root->Self : 0;
        return r;
    });
}

int32_t K_AnnClipboardReady(int32_t* ready) {
    return annGuard([&] {
        if (!ready) return ANN_ERROR_INVALID_PARAMETER;
        *ready = annClipboardReady();
        return ANN_SUCCESS;
    });
}

int32_t K_AnnGetSelectCount(ANNHANDLE object, uint32_t* count) {
    return annGuard([&] {
        AnnObject* o = annLock(object);
        if (!o || !count) return ANN_ERROR_INVALID_PARAMETER;
        *count = annSelectCount(*o);
        return ANN_SUCCESS;
    });
}

}  // extern "C"
