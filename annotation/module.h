// The engine's state for the whole process: what the module's start loads
// and registers, and what every object's creation and painting reads.
#pragma once

#include "platform/desktop/system.h"
#include "platform/desktop/window.h"
#include "platform/image/image.h"

namespace fg::annotation {

inline constexpr const char* kObjectPropertyName = "ZentrelOBJECT";
inline constexpr const char* kClipboardFormatName = "KraytonTools 7.0 Annotation";
inline constexpr const char* kToolBarClassName = "ZentrelTOOLBAR";

struct ModuleState {
    void* instance = nullptr;
    int attachCount = 0;
    // The audio-clip images and masks and the hotspot image (102 to 106),
    // and the tool strip (107); null until the module starts.
    const image::Image* images[5] = {};
    const image::Image* toolStrip = nullptr;
    // Cursors 110 to 113.
    desktop::CursorHandle cursors[4] = {};
    desktop::Atom objectAtom = 0;
    unsigned clipboardFormat = 0;
    // The screen's resolution, and ten points in its pels.
    double dpiX = desktop::kScreenDpi, dpiY = desktop::kScreenDpi;
    double defaultFontSize = desktop::kScreenDpi * 10.0 / 72.0;
};

ModuleState& annModule();
// One of the images 102 to 106; null before the module has started.
const image::Image* annModuleImage(int id);

// The first attach and the last detach.
void annModuleInit(void* instance);
void annModuleExit();

}  // namespace fg::annotation
