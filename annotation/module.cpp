#include "annotation/module.h"

#include "annotation/guard.h"
#include "annotation/resources.h"
#include "platform/desktop/clipboard.h"
#include "platform/error.h"

namespace fg::annotation {

namespace {

constexpr std::uint32_t kProcessDetach = 0, kProcessAttach = 1;
constexpr int kImageIds[] = {kAudioImage, kAudioMask, kActiveAudioImage, kActiveAudioMask, kHotspotImage};
constexpr int kCursorIds[] = {kCursorDrawOver, kCursorHandle, kCursorRun, kCursorBody};
constexpr desktop::Color kLightGray = 0xC0C0C0;

}  // namespace

ModuleState& annModule() {
    static ModuleState state;
    return state;
}

const image::Image* annModuleImage(int id) {
    for (int i = 0; i < 5; ++i)
        if (kImageIds[i] == id) return annModule().images[i];
    return nullptr;
}

void annModuleInit(void* instance) {
    ModuleState& m = annModule();
    m.instance = instance;
    for (int i = 0; i < 5; ++i) m.images[i] = &resourceBitmap(kImageIds[i]);
    m.toolStrip = &resourceBitmap(kToolStrip);
    for (int i = 0; i < 4; ++i) m.cursors[i] = desktop::createCursor(resourceCursor(kCursorIds[i]));
    m.objectAtom = desktop::addAtom(kObjectPropertyName);
    m.clipboardFormat = desktop::registerClipboardFormat(kClipboardFormatName);
    // A class left from an earlier start stays as it is.
    (void)desktop::registerClass({kToolBarClassName, desktop::CS_GLOBALCLASS | desktop::CS_HREDRAW | desktop::CS_VREDRAW,
                            &K_AnnToolBarWndProc, 4, desktop::arrowCursor(), kLightGray});
    const std::unique_ptr<desktop::WindowDC> screen = desktop::getDC(0);
    m.dpiX = screen->deviceCaps(desktop::LOGPIXELSX);
    m.dpiY = screen->deviceCaps(desktop::LOGPIXELSY);
    m.defaultFontSize = m.dpiY * 10 / 72;
}

void annModuleExit() {
    ModuleState& m = annModule();
    m.toolStrip = nullptr;
    for (desktop::CursorHandle& c : m.cursors) {
        (void)desktop::destroyCursor(c);
        c = 0;
    }
    desktop::deleteAtom(m.objectAtom);
    m.objectAtom = 0;
}

std::int32_t annFailureResult() noexcept {
    const Error e = logCurrentError("zentrel");
    return e.number() == errnum::OutOfMemory ? ANN_ERROR_NO_MEMORY : ANN_ERROR_INVALID_PARAMETER;
}

}  // namespace fg::annotation

using namespace fg::annotation;

extern "C" {

int32_t DllMain(void* instance, uint32_t reason, void*) {
    try {
        ModuleState& m = annModule();
        if (reason == kProcessAttach) {
            if (m.attachCount == 0) annModuleInit(instance);
            ++m.attachCount;
        } else if (reason == kProcessDetach && m.attachCount > 0) {
            if (--m.attachCount == 0) annModuleExit();
        }
    } catch (...) {
        fg::logCurrentError("zentrel");
    }
    return 1;
}

}  // extern "C"
