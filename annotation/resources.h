// The engine's own pictures: the audio-clip images and masks, the hotspot,
// the tool strip and the four cursors, drawn here at first use.
#pragma once

#include "platform/desktop/system.h"
#include "platform/image/image.h"

namespace fg::annotation {

// Resource numbers.
inline constexpr int kAudioImage = 102, kAudioMask = 103, kActiveAudioImage = 104, kActiveAudioMask = 105,
                     kHotspotImage = 106, kToolStrip = 107;
inline constexpr int kCursorDrawOver = 110, kCursorHandle = 111, kCursorRun = 112, kCursorBody = 113;

// 102 to 106: 32 x 32 pels of 4 bits with the sixteen standard colours; an
// image is black and a mask white where the picture is transparent, so that
// the mask combined with AND and then the image with OR lays the picture
// over anything. 107: sixteen 16 x 15 tool images side by side on the
// button face colour. An empty image for another number.
const image::Image& resourceBitmap(int id);
// 110 to 113; an empty shape for another number.
desktop::CursorShape resourceCursor(int id);

}  // namespace fg::annotation
