// Sound: wave files played to their end and the message beep, through a
// back-end. The server has no speaker: its back-end only checks that a file
// is a wave file a player could play, and keeps what it was asked.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fg::desktop {

inline constexpr unsigned SND_SYNC = 0, SND_NODEFAULT = 2;

class SoundBackend {
public:
    virtual ~SoundBackend() = default;
    // True when the sound played to its end.
    [[nodiscard]] virtual bool play(const std::string& path, unsigned flags) = 0;
    virtual void beep(unsigned type) = 0;
};

// A RIFF file of form WAVE with a format chunk of PCM or another coding
// (channels, rate and block size above 0) and a data chunk, every chunk
// within the file.
[[nodiscard]] bool isWaveFile(std::string_view bytes);

class NullSound : public SoundBackend {
public:
    [[nodiscard]] bool play(const std::string& path, unsigned flags) override;
    void beep(unsigned type) override;
    const std::vector<std::string>& played() const { return played_; }
    const std::vector<unsigned>& beeps() const { return beeps_; }

private:
    std::vector<std::string> played_;
    std::vector<unsigned> beeps_;
};

// The back-end in use: a NullSound until another is set (null: a fresh one).
void setSoundBackend(std::shared_ptr<SoundBackend> backend);
SoundBackend& soundBackend();

[[nodiscard]] bool playSound(const std::string& path, unsigned flags);
void messageBeep(unsigned type);

}  // namespace fg::desktop
