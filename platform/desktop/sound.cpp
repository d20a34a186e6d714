#include "platform/desktop/sound.h"

#include "platform/desktop/desktop_state.h"
#include "platform/error.h"
#include "platform/files.h"

#include <algorithm>
#include <cstdint>

namespace fg::desktop {

namespace {

std::shared_ptr<SoundBackend>& backend() {
    static std::shared_ptr<SoundBackend> b = std::make_shared<NullSound>();
    return b;
}

std::uint32_t le32(std::string_view b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b[at + static_cast<std::size_t>(i)]);
    return v;
}
std::uint32_t le16(std::string_view b, std::size_t at) {
    return static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8);
}

}  // namespace

bool isWaveFile(std::string_view b) {
    if (b.size() < 12 || b.substr(0, 4) != "RIFF" || b.substr(8, 4) != "WAVE") return false;
    const std::size_t end = std::min<std::size_t>(b.size(), std::size_t(le32(b, 4)) + 8);
    bool format = false, data = false;
    for (std::size_t at = 12; at + 8 <= end;) {
        const std::string_view id = b.substr(at, 4);
        const std::size_t size = le32(b, at + 4);
        if (size > end - at - 8) return false;  // a chunk past the end of the file
        if (id == "fmt ") {
            if (size < 16) return false;
            const std::size_t f = at + 8;
            format = le16(b, f + 2) > 0 && le32(b, f + 4) > 0 && le16(b, f + 12) > 0;
            if (!format) return false;
        } else if (id == "data") {
            data = format;  // the samples must follow their format
        }
        at += 8 + size + (size & 1);
    }
    return format && data;
}

bool NullSound::play(const std::string& path, unsigned) {
    try {
        if (!isWaveFile(fs::readFile(path))) return false;
    } catch (const Error&) {
        return false;
    }
    played_.push_back(path);
    return true;
}

void NullSound::beep(unsigned type) { beeps_.push_back(type); }

void setSoundBackend(std::shared_ptr<SoundBackend> b) { backend() = b ? std::move(b) : std::make_shared<NullSound>(); }
SoundBackend& soundBackend() { return *backend(); }

bool playSound(const std::string& path, unsigned flags) { return !path.empty() && backend()->play(path, flags); }
void messageBeep(unsigned type) { backend()->beep(type); }

void detail::resetSound() { setSoundBackend(nullptr); }

}  // namespace fg::desktop
