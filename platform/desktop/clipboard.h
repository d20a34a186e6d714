// The clipboard of the process: registered formats by name, global memory
// blocks that belong to the clipboard once placed, and metafile pictures.
// One window at a time holds it open.
#pragma once

#include "platform/desktop/global_memory.h"
#include "platform/desktop/metafile.h"
#include "platform/desktop/window.h"

#include <string_view>

namespace fg::desktop {

inline constexpr unsigned CF_TEXT = 1, CF_METAFILEPICT = 3;

// A metafile with its mapping mode and extent.
struct MetafilePicture {
    int mapMode = MM_TEXT;
    int xExt = 0, yExt = 0;
    Metafile metafile;
};

// The same number for the same name, matched without regard to case;
// 0 for an empty name.
unsigned registerClipboardFormat(std::string_view name);

// False while another opening has not been closed.
[[nodiscard]] bool openClipboard(WindowHandle owner);
[[nodiscard]] bool closeClipboard();
// Frees every content; the opener becomes the owner. Needs the clipboard open.
[[nodiscard]] bool emptyClipboard();
// Places a block (which then belongs to the clipboard) or a picture under
// a format, freeing what the format held. Needs the clipboard open.
[[nodiscard]] bool setClipboardData(unsigned format, MemoryHandle block);
[[nodiscard]] bool setClipboardMetafile(const MetafilePicture& picture);
// What a format holds (the clipboard's own block or picture), 0 or null when
// nothing or the clipboard is not open.
MemoryHandle clipboardData(unsigned format);
const MetafilePicture* clipboardMetafile();
[[nodiscard]] bool isClipboardFormatAvailable(unsigned format);
WindowHandle clipboardOwner();

}  // namespace fg::desktop
