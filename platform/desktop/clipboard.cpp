#include "platform/desktop/clipboard.h"

#include "platform/desktop/desktop_state.h"
#include "platform/text.h"

#include <map>
#include <optional>

namespace fg::desktop {

namespace {

struct Clipboard {
    std::map<std::string, unsigned> formats;  // upper-case name: number
    unsigned nextFormat = 0xC000;
    bool open = false;
    WindowHandle opener = 0, owner = 0;
    std::map<unsigned, MemoryHandle> blocks;
    std::optional<MetafilePicture> picture;
};

Clipboard& board() {
    static Clipboard c;
    return c;
}

void freeFormat(unsigned format) {
    Clipboard& c = board();
    if (format == CF_METAFILEPICT) c.picture.reset();
    if (auto it = c.blocks.find(format); it != c.blocks.end()) {
        globalFree(it->second);
        c.blocks.erase(it);
    }
}

}  // namespace

unsigned registerClipboardFormat(std::string_view name) {
    if (name.empty()) return 0;
    auto [it, added] = board().formats.try_emplace(text::toUpperAscii(name), 0);
    if (added) it->second = board().nextFormat++;
    return it->second;
}

bool openClipboard(WindowHandle owner) {
    if (board().open) return false;
    board().open = true;
    board().opener = owner;
    return true;
}

bool closeClipboard() {
    if (!board().open) return false;
    board().open = false;
    return true;
}

bool emptyClipboard() {
    Clipboard& c = board();
    if (!c.open) return false;
    for (const auto& [format, block] : c.blocks) globalFree(block);
    c.blocks.clear();
    c.picture.reset();
    c.owner = c.opener;
    return true;
}

bool setClipboardData(unsigned format, MemoryHandle block) {
    if (!board().open || !block || format == CF_METAFILEPICT || globalLock(block) == nullptr) return false;
    (void)globalUnlock(block);
    freeFormat(format);
    board().blocks[format] = block;
    return true;
}

bool setClipboardMetafile(const MetafilePicture& picture) {
    if (!board().open) return false;
    freeFormat(CF_METAFILEPICT);
    board().picture = picture;
    return true;
}

MemoryHandle clipboardData(unsigned format) {
    if (!board().open) return 0;
    auto it = board().blocks.find(format);
    return it == board().blocks.end() ? 0 : it->second;
}

const MetafilePicture* clipboardMetafile() {
    return board().open && board().picture ? &*board().picture : nullptr;
}

bool isClipboardFormatAvailable(unsigned format) {
    return format == CF_METAFILEPICT ? board().picture.has_value() : board().blocks.count(format) > 0;
}

WindowHandle clipboardOwner() { return board().owner; }

void detail::resetClipboard() {
    Clipboard& c = board();
    for (const auto& [format, block] : c.blocks) globalFree(block);
    // Registered formats stay: a module registers its own once, at start.
    Clipboard fresh;
    fresh.formats = std::move(c.formats);
    fresh.nextFormat = c.nextFormat;
    c = std::move(fresh);
}

}  // namespace fg::desktop
