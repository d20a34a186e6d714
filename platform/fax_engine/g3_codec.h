// One-dimensional G3 fax coding (Modified Huffman, ITU-T T.4) of single pages.
//
// A page file holds one page: an EOL before every line and the lines' white
// and black runs (each line starts white), nothing after the last line but
// the zero bits that fill its last byte. EOLs are not padded to byte
// boundaries. Bits are packed least significant bit first, the order that
// fax modems deliver and that fax2tiff reads by default.
//
// The file holds the page's lines and nothing else, so that every reader
// counts the same lines: the return to control (RTC, six EOLs) that ends a
// page on the line belongs to the transmission, and a reader of files such
// as fax2tiff takes each EOL after the first line's as the start of one more
// line (RTC reads as five white lines more, a lone EOL after the last line
// as one).
//
// The decoder is tolerant, as a fax receiver must be: it reads either bit
// order (it keeps the one that decodes better), skips fill bits before EOLs,
// and replaces a line it cannot decode by the line above it. A page on which
// no line decodes, or more than half of the lines are damaged, is refused.
// A page need not end with RTC: its last line may end on the data's last bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fg::fax {

// A black-and-white page: rows packed most significant bit first, 1 = black.
struct BilevelImage {
    int width = 0;
    int height = 0;
    std::size_t stride = 0;  // bytes per row
    std::vector<std::uint8_t> bits;

    BilevelImage() = default;
    BilevelImage(int width, int height);  // all white
    std::uint8_t* row(int y) { return bits.data() + static_cast<std::size_t>(y) * stride; }
    const std::uint8_t* row(int y) const { return bits.data() + static_cast<std::size_t>(y) * stride; }
    [[nodiscard]] bool black(int x, int y) const { return (row(y)[x >> 3] >> (7 - (x & 7))) & 1; }
    void setBlack(int x, int y) { row(y)[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7)); }
    bool operator==(const BilevelImage& o) const {
        return width == o.width && height == o.height && bits == o.bits;
    }
};

enum class BitOrder { LsbFirst, MsbFirst, Detect };

struct G3DecodeReport {
    int lines = 0;         // lines found on the page
    int width = 0;         // the page's width in pels: its most common line length
    int damagedLines = 0;  // lines replaced by the line above
    BitOrder bitOrder = BitOrder::LsbFirst;
    // The data ends inside a line that is shorter than the page: the file
    // was cut short. (A page cut exactly after a line's end cannot be told
    // from a page without RTC.)
    bool truncated = false;
};

// Standard page width of a fax line, and the widest line the decoder takes.
inline constexpr int kFaxWidth = 1728;
inline constexpr int kMaxG3Width = 8192;
inline constexpr int kMaxG3Lines = 32768;

// Encodes a page. Widths up to kMaxG3Width. With PageEnd::Rtc the lines
// are followed by RTC, as a transmitter that sends the page ends it.
enum class PageEnd { LinesOnly, Rtc };
std::string encodeG3(const BilevelImage& page, PageEnd end = PageEnd::LinesOnly);

// The page as a transmitter sends it: the data ended by RTC. Data that ends
// with RTC already (an older page file) is kept as it is; otherwise RTC
// follows the zero bits that fill the last byte, which a receiver takes as
// fill before an EOL.
std::string endedByRtc(std::string data);

// Decodes a page. Raises fg::Error 481 when the data is not a one-dimensional
// G3 page. The width is the most common line length on the page.
BilevelImage decodeG3(std::string_view data, BitOrder order = BitOrder::Detect, G3DecodeReport* report = nullptr);
// Decodes a page that must be whole, as the page files of the system are:
// as decodeG3, and a page cut short raises fg::Error 481 as well.
BilevelImage decodeWholeG3(std::string_view data);
// Read a page as decodeG3 and decodeWholeG3 do, and raise as they do, but
// do not draw it: for the checks of a page and of its bit order.
G3DecodeReport inspectG3(std::string_view data, BitOrder order = BitOrder::Detect);
G3DecodeReport inspectWholeG3(std::string_view data);

}  // namespace fg::fax
