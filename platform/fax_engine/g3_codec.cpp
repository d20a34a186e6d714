#include "platform/fax_engine/g3_codec.h"

#include "platform/error.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>

namespace fg::fax {

namespace {

struct Code {
    std::uint16_t bits;
    std::uint8_t length;
};

// Terminating codes for runs 0..63, make-up codes for 64..1728 in steps of
// 64, and the make-up codes that both colours share for 1792..2560.
constexpr Code kWhiteTerm[64] = {
    {0x35, 8}, {0x07, 6}, {0x07, 4}, {0x08, 4}, {0x0B, 4}, {0x0C, 4}, {0x0E, 4}, {0x0F, 4},
    {0x13, 5}, {0x14, 5}, {0x07, 5}, {0x08, 5}, {0x08, 6}, {0x03, 6}, {0x34, 6}, {0x35, 6},
    {0x2A, 6}, {0x2B, 6}, {0x27, 7}, {0x0C, 7}, {0x08, 7}, {0x17, 7}, {0x03, 7}, {0x04, 7},
    {0x28, 7}, {0x2B, 7}, {0x13, 7}, {0x24, 7}, {0x18, 7}, {0x02, 8}, {0x03, 8}, {0x1A, 8},
    {0x1B, 8}, {0x12, 8}, {0x13, 8}, {0x14, 8}, {0x15, 8}, {0x16, 8}, {0x17, 8}, {0x28, 8},
    {0x29, 8}, {0x2A, 8}, {0x2B, 8}, {0x2C, 8}, {0x2D, 8}, {0x04, 8}, {0x05, 8}, {0x0A, 8},
    {0x0B, 8}, {0x52, 8}, {0x53, 8}, {0x54, 8}, {0x55, 8}, {0x24, 8}, {0x25, 8}, {0x58, 8},
    {0x59, 8}, {0x5A, 8}, {0x5B, 8}, {0x4A, 8}, {0x4B, 8}, {0x32, 8}, {0x33, 8}, {0x34, 8},
};
constexpr Code kWhiteMakeup[27] = {
    {0x1B, 5}, {0x12, 5}, {0x17, 6}, {0x37, 7}, {0x36, 8}, {0x37, 8}, {0x64, 8}, {0x65, 8}, {0x68, 8},
    {0x67, 8}, {0xCC, 9}, {0xCD, 9}, {0xD2, 9}, {0xD3, 9}, {0xD4, 9}, {0xD5, 9}, {0xD6, 9}, {0xD7, 9},
    {0xD8, 9}, {0xD9, 9}, {0xDA, 9}, {0xDB, 9}, {0x98, 9}, {0x99, 9}, {0x9A, 9}, {0x18, 6}, {0x9B, 9},
};
constexpr Code kBlackTerm[64] = {
    {0x37, 10}, {0x02, 3},  {0x03, 2},  {0x02, 2},  {0x03, 3},  {0x03, 4},  {0x02, 4},  {0x03, 5},
    {0x05, 6},  {0x04, 6},  {0x04, 7},  {0x05, 7},  {0x07, 7},  {0x04, 8},  {0x07, 8},  {0x18, 9},
    {0x17, 10}, {0x18, 10}, {0x08, 10}, {0x67, 11}, {0x68, 11}, {0x6C, 11}, {0x37, 11}, {0x28, 11},
    {0x17, 11}, {0x18, 11}, {0xCA, 12}, {0xCB, 12}, {0xCC, 12}, {0xCD, 12}, {0x68, 12}, {0x69, 12},
    {0x6A, 12}, {0x6B, 12}, {0xD2, 12}, {0xD3, 12}, {0xD4, 12}, {0xD5, 12}, {0xD6, 12}, {0xD7, 12},
    {0x6C, 12}, {0x6D, 12}, {0xDA, 12}, {0xDB, 12}, {0x54, 12}, {0x55, 12}, {0x56, 12}, {0x57, 12},
    {0x64, 12}, {0x65, 12}, {0x52, 12}, {0x53, 12}, {0x24, 12}, {0x37, 12}, {0x38, 12}, {0x27, 12},
    {0x28, 12}, {0x58, 12}, {0x59, 12}, {0x2B, 12}, {0x2C, 12}, {0x5A, 12}, {0x66, 12}, {0x67, 12},
};
constexpr Code kBlackMakeup[27] = {
    {0x0F, 10}, {0xC8, 12}, {0xC9, 12}, {0x5B, 12}, {0x33, 12}, {0x34, 12}, {0x35, 12},
    {0x6C, 13}, {0x6D, 13}, {0x4A, 13}, {0x4B, 13}, {0x4C, 13}, {0x4D, 13}, {0x72, 13},
    {0x73, 13}, {0x74, 13}, {0x75, 13}, {0x76, 13}, {0x77, 13}, {0x52, 13}, {0x53, 13},
    {0x54, 13}, {0x55, 13}, {0x5A, 13}, {0x5B, 13}, {0x64, 13}, {0x65, 13},
};
constexpr Code kSharedMakeup[13] = {
    {0x08, 11}, {0x0C, 11}, {0x0D, 11}, {0x12, 12}, {0x13, 12}, {0x14, 12}, {0x15, 12},
    {0x16, 12}, {0x17, 12}, {0x1C, 12}, {0x1D, 12}, {0x1E, 12}, {0x1F, 12},
};
constexpr Code kEol = {0x001, 12};

// The decode tables put each code at every index it begins, so they hold
// only if no code of a colour is the start of another, nor of the eleven
// zeros that begin an EOL. Checked while compiling, in every build.
constexpr bool startsWith(Code longer, Code shorter) {
    return shorter.length <= longer.length && (longer.bits >> (longer.length - shorter.length)) == shorter.bits;
}
template <std::size_t Makeup>
constexpr bool prefixFree(const Code (&term)[64], const Code (&makeup)[Makeup]) {
    Code all[64 + Makeup + 13 + 1] = {};
    std::size_t n = 0;
    for (Code c : term) all[n++] = c;
    for (Code c : makeup) all[n++] = c;
    for (Code c : kSharedMakeup) all[n++] = c;
    all[n++] = {0, 11};
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j)
            if (i != j && startsWith(all[i], all[j])) return false;
    return true;
}
static_assert(prefixFree(kWhiteTerm, kWhiteMakeup), "the white codes are prefix-free");
static_assert(prefixFree(kBlackTerm, kBlackMakeup), "the black codes are prefix-free");

// ---- Encoding -------------------------------------------------------------

// Codes with their bits reversed, so that the writer can put them into the
// stream least significant bit first without reversing every byte afterwards.
struct RevCode {
    std::uint16_t bits;
    std::uint8_t length;
};

RevCode reversed(Code c) {
    std::uint16_t r = 0;
    for (int i = 0; i < c.length; ++i)
        if (c.bits & (1u << i)) r = static_cast<std::uint16_t>(r | (1u << (c.length - 1 - i)));
    return {r, c.length};
}

struct EncodeTables {
    RevCode term[2][64];
    RevCode makeup[2][40];  // index n is the make-up code of run 64 * (n + 1)
    RevCode eol;
};

const EncodeTables& encodeTables() {
    static const EncodeTables t = [] {
        EncodeTables e{};
        for (int i = 0; i < 64; ++i) {
            e.term[0][i] = reversed(kWhiteTerm[i]);
            e.term[1][i] = reversed(kBlackTerm[i]);
        }
        for (int i = 0; i < 27; ++i) {
            e.makeup[0][i] = reversed(kWhiteMakeup[i]);
            e.makeup[1][i] = reversed(kBlackMakeup[i]);
        }
        for (int i = 0; i < 13; ++i) e.makeup[0][27 + i] = e.makeup[1][27 + i] = reversed(kSharedMakeup[i]);
        e.eol = reversed(kEol);
        return e;
    }();
    return t;
}

class BitWriter {
public:
    explicit BitWriter(std::string& out) : out_(out) {}
    void put(RevCode c) {
        acc_ |= static_cast<std::uint64_t>(c.bits) << n_;
        n_ += c.length;
        // Four bytes at a time, first byte first.
        if (n_ >= 32) {
            const char bytes[4] = {static_cast<char>(acc_ & 0xFF), static_cast<char>((acc_ >> 8) & 0xFF),
                                   static_cast<char>((acc_ >> 16) & 0xFF), static_cast<char>((acc_ >> 24) & 0xFF)};
            out_.append(bytes, 4);
            acc_ >>= 32;
            n_ -= 32;
        }
    }
    void flush() {
        for (; n_ > 0; n_ -= 8, acc_ >>= 8) out_.push_back(static_cast<char>(acc_ & 0xFF));
        acc_ = 0;
        n_ = 0;
    }

private:
    std::string& out_;
    std::uint64_t acc_ = 0;
    int n_ = 0;
};

void putRun(BitWriter& w, const EncodeTables& t, int colour, int run) {
    while (run >= 2560 + 64) {
        w.put(t.makeup[colour][39]);
        run -= 2560;
    }
    if (run >= 64) {
        w.put(t.makeup[colour][run / 64 - 1]);
        run %= 64;
    }
    w.put(t.term[colour][run]);
}

// Position of the first pel at or after `x` whose colour differs from
// `colour` (1 black), or `width`. Looks at 64 pels at a time where the row
// has them: most of a page is long runs of white.
int nextChange(const std::uint8_t* row, std::size_t rowBytes, int x, int width, int colour) {
    const std::uint64_t skip = colour ? ~std::uint64_t(0) : 0;
    while (x < width) {
        const std::size_t byte = static_cast<std::size_t>(x) >> 3;
        if (byte + 8 <= rowBytes) {
            // The eight bytes as one big-endian word: pel x is bit 63 - (x & 7).
            std::uint64_t w;
            std::memcpy(&w, row + byte, 8);
            if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
            w = (w ^ skip) << (x & 7);
            if (w) return std::min(x + std::countl_zero(w), width);
            x = static_cast<int>((byte + 8) * 8);
            continue;
        }
        std::uint8_t b = static_cast<std::uint8_t>(row[byte] ^ static_cast<std::uint8_t>(skip));
        b = static_cast<std::uint8_t>(b << (x & 7));
        if (b) return std::min(x + std::countl_zero(b), width);
        x = (x | 7) + 1;
    }
    return width;
}

// ---- Decoding -------------------------------------------------------------

constexpr int kPeek = 13;

// A decode table entry: the run in the upper twelve bits, the code's length
// in the lower four; 0 where no code begins, kEolEntry where eleven zeros
// (the start of an EOL) do. Two bytes an entry keep both tables in the
// first-level cache.
//
// Where the peeked bits hold two terminating codes, one of each colour, each
// of a run below 32 (a glyph's stroke and the gap after it, the bulk of a
// page of print), the entry is a pair: kPairTag, the second run in bits 9 to
// 13, the first in bits 4 to 8, the two codes' length in the lower four. A
// line is read a pair at a time where it can be, half the look-ups.
using Entry = std::uint16_t;
constexpr Entry kEolEntry = 0xFFFF;
constexpr Entry kPairTag = 0xC000;  // single entries stay below: 2560 << 4 | 13 is 0xA00D
constexpr int kMaxCodeLength = 13;
constexpr int kPairRun = 32;

// The tables of a check, which needs the lines' widths alone: an entry
// says how far a code, or a pair of them, moves along the line, and whether
// the colour changes, without branches to tell a pair from a single code.
// The length in bits 0 to 3, the run in bits 4 to 9 (in 64s for a make-up
// code, bit 10), bit 11 where the colour changes; kCheckStop where the
// line's EOL or a fault begins, which the full reading takes over.
constexpr Entry kCheckStop = 0x8000;
constexpr Entry kCheckMakeup = 1u << 10;
constexpr Entry kCheckTurn = 1u << 11;

struct DecodeTables {
    std::vector<Entry> colour[2];
    std::vector<Entry> check;  // white's, then black's: the colour is an offset, not a table to look up
};

void addCode(std::vector<Entry>& table, Code c, int run) {
    std::uint32_t first = static_cast<std::uint32_t>(c.bits) << (kPeek - c.length);
    std::uint32_t count = 1u << (kPeek - c.length);
    for (std::uint32_t i = 0; i < count; ++i) {
        table[first + i] = static_cast<Entry>(run << 4 | c.length);
    }
}

const DecodeTables& decodeTables() {
    static const DecodeTables t = [] {
        DecodeTables d;
        for (int c = 0; c < 2; ++c) d.colour[c].assign(1u << kPeek, Entry{0});
        for (int i = 0; i < 64; ++i) {
            addCode(d.colour[0], kWhiteTerm[i], i);
            addCode(d.colour[1], kBlackTerm[i], i);
        }
        for (int i = 0; i < 27; ++i) {
            addCode(d.colour[0], kWhiteMakeup[i], 64 * (i + 1));
            addCode(d.colour[1], kBlackMakeup[i], 64 * (i + 1));
        }
        for (int i = 0; i < 13; ++i) {
            addCode(d.colour[0], kSharedMakeup[i], 1792 + 64 * i);
            addCode(d.colour[1], kSharedMakeup[i], 1792 + 64 * i);
        }
        // No code has eleven leading zeros: those entries are the EOLs'.
        for (int c = 0; c < 2; ++c)
            for (std::uint32_t i = 0; i < (1u << (kPeek - 11)); ++i) d.colour[c][i] = kEolEntry;
        // Pairs: the bits after a terminating code, with zeros for the bits
        // not peeked, give the other colour's code where it is no longer
        // than the bits that are.
        const DecodeTables single = d;
        for (int c = 0; c < 2; ++c)
            for (std::uint32_t i = 0; i < (1u << kPeek); ++i) {
                const Entry first = single.colour[c][i];
                if (first == kEolEntry || (first & 15) == 0 || (first >> 4) >= kPairRun) continue;
                const int length = first & 15;
                const Entry second = single.colour[1 - c][(i << length) & ((1u << kPeek) - 1)];
                if (second == kEolEntry || (second & 15) == 0 || (second >> 4) >= kPairRun ||
                    length + (second & 15) > kPeek)
                    continue;
                d.colour[c][i] = static_cast<Entry>(kPairTag | (second >> 4) << 9 | (first >> 4) << 4 |
                                                    (length + (second & 15)));
            }
        d.check.assign(2u << kPeek, kCheckStop);
        for (int c = 0; c < 2; ++c) {
            Entry* check = d.check.data() + (static_cast<std::size_t>(c) << kPeek);
            for (std::uint32_t i = 0; i < (1u << kPeek); ++i) {
                const Entry e = d.colour[c][i];
                if (e == kEolEntry || (e & 15) == 0) continue;
                if (e >= kPairTag)
                    check[i] = static_cast<Entry>((((e >> 4) & (kPairRun - 1)) + ((e >> 9) & (kPairRun - 1))) << 4 |
                                                       (e & 15));
                else if ((e >> 4) < 64)
                    check[i] = static_cast<Entry>(kCheckTurn | (e >> 4) << 4 | (e & 15));
                else
                    check[i] = static_cast<Entry>(kCheckMakeup | (e >> 10) << 4 | (e & 15));
            }
        }
        return d;
    }();
    return t;
}

class BitReader {
public:
    BitReader(std::string_view data, bool reverse)
        : next_(data.data()), end_(data.data() + data.size()), bits_(static_cast<std::uint64_t>(data.size()) * 8),
          reverse_(reverse) {
        refill();
    }
    // The next `n` bits (n <= 32) in stream order, zeros past the end.
    std::uint32_t peek(int n) const { return static_cast<std::uint32_t>(window_ >> (64 - n)); }
    void consume(int n) {
        window_ <<= n;
        have_ -= n;
        consumed_ += static_cast<std::uint64_t>(n);
        if (have_ < 32) refill();
    }
    bool exhausted() const { return consumed_ >= bits_; }

private:
    // Takes four bytes at a time: at least 32 bits are in the window after.
    void refill() {
        std::uint32_t w = 0;
        if (end_ - next_ >= 4) {
            std::memcpy(&w, next_, 4);
            next_ += 4;
        } else {
            for (int i = 0; next_ < end_; ++i, ++next_)
                w |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(*next_)) << (8 * i);
        }
        if (reverse_) {
            w = (w >> 1 & 0x55555555u) | (w & 0x55555555u) << 1;
            w = (w >> 2 & 0x33333333u) | (w & 0x33333333u) << 2;
            w = (w >> 4 & 0x0F0F0F0Fu) | (w & 0x0F0F0F0Fu) << 4;
        }
        // The first byte in the highest bits.
        if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap32(w);
        window_ |= static_cast<std::uint64_t>(w) << (32 - have_);
        have_ += 32;
    }
    const char* next_;
    const char* end_;
    std::uint64_t bits_;
    bool reverse_;
    std::uint64_t window_ = 0;
    int have_ = 0;
    std::uint64_t consumed_ = 0;
};

// Runs of zeros this long cannot occur inside a line: they begin an EOL.
constexpr int kEolZeros = 11;

// Skips fill and the EOL it leads to. False at the end of the data.
bool skipEol(BitReader& r) {
    while (!r.exhausted()) {
        std::uint32_t w = r.peek(32);
        if (w == 0) {
            r.consume(32);
            continue;
        }
        r.consume(std::countl_zero(w) + 1);
        return true;
    }
    return false;
}

// Moves to the next EOL after a damaged line. No run of eleven zeros starts
// within a run of fewer zeros or at the one bit that ends it, so the search
// goes on after that one bit.
bool findEol(BitReader& r) {
    while (!r.exhausted()) {
        const int zeros = std::countl_zero(r.peek(32));
        if (zeros >= kEolZeros) return skipEol(r);
        r.consume(zeros + 1);
    }
    return false;
}

// The lines of a page as their black runs (start and end pel), in the order
// of the lines, so that the page is drawn at its own width once the width
// is known.
struct RawPage {
    std::vector<std::uint16_t> runs;
    std::vector<std::uint32_t> firstRun;  // per line, its first entry in `runs`; one more at the end
    std::vector<int> widths;              // -1 for a line that did not decode
    bool endedInLine = false;             // no EOL followed the last line: the data ended in it
    bool beganWithEol = false;
};

void fillBlack(std::uint8_t* row, int from, int to) {
    if (from >= to) return;
    int fb = from >> 3, lb = (to - 1) >> 3;
    std::uint8_t first = static_cast<std::uint8_t>(0xFF >> (from & 7));
    std::uint8_t last = static_cast<std::uint8_t>(0xFF << (7 - ((to - 1) & 7)));
    if (fb == lb) {
        row[fb] |= static_cast<std::uint8_t>(first & last);
        return;
    }
    row[fb] |= first;
    if (lb > fb + 1) std::memset(row + fb + 1, 0xFF, static_cast<std::size_t>(lb - fb - 1));
    row[lb] |= last;
}

// Decodes one line, adding its black runs when the page is to be drawn; its
// width, or -1 when the line is damaged.
template <bool Draw>
int decodeLine(BitReader& r, const DecodeTables& t, std::vector<std::uint16_t>& runs) {
    int pos = 0;
    int colour = 0;
    int runStart = 0;
    if constexpr (!Draw) {
        // A check goes as far as it can through the codes that are neither
        // the EOL, nor a fault, nor beyond the widest line; the loop below
        // reads what stopped it.
        const Entry* check = t.check.data();
        static_assert(kCheckTurn << 2 == 1u << kPeek, "a turn moves to the other colour's half");
        std::uint32_t half = 0;  // 0 white, 1 << kPeek black
        Entry last = 0;
        for (;;) {
            const Entry e = check[half | r.peek(kPeek)];
            if (e & kCheckStop) break;
            const int run = ((e >> 4) & 63) << ((e & kCheckMakeup) ? 6 : 0);
            if (pos + run > kMaxG3Width) break;
            r.consume(e & 15);
            pos += run;
            half ^= (e & kCheckTurn) << 2;
            last = e;
        }
        colour = half ? 1 : 0;
        // After a make-up code the run goes on: the line may not end there.
        runStart = (last & kCheckMakeup) ? -1 : pos;
    }
    const Entry* table[2] = {t.colour[0].data(), t.colour[1].data()};
    for (;;) {
        const Entry e = table[colour][r.peek(kPeek)];
        if (e >= kPairTag) {
            if (e == kEolEntry) {
                // End of the line: it must end after a terminating code.
                return runStart == pos ? pos : -1;
            }
            // Two runs, each ending with a terminating code: the colour
            // after them is the one before.
            const int first = (e >> 4) & (kPairRun - 1);
            const int second = (e >> 9) & (kPairRun - 1);
            if (pos + first + second > kMaxG3Width) {
                // The first code alone overruns the line, or the second
                // does: read as code by code, up to the one that does.
                const Code& code = colour ? kBlackTerm[first] : kWhiteTerm[first];
                if (pos + first > kMaxG3Width) {
                    r.consume(code.length);
                } else {
                    r.consume(e & 15);
                }
                return -1;
            }
            const int blackFrom = colour ? runStart : pos + first;
            const int blackTo = colour ? pos + first : pos + first + second;
            if (Draw && blackTo > blackFrom) {
                runs.push_back(static_cast<std::uint16_t>(blackFrom));
                runs.push_back(static_cast<std::uint16_t>(blackTo));
            }
            r.consume(e & 15);
            pos += first + second;
            runStart = pos;
            continue;
        }
        const int length = e & 15;
        if (length == 0) return -1;
        r.consume(length);
        const int run = e >> 4;
        pos += run;
        if (pos > kMaxG3Width) return -1;
        if (run < 64) {
            if (Draw && colour && pos > runStart) {
                runs.push_back(static_cast<std::uint16_t>(runStart));
                runs.push_back(static_cast<std::uint16_t>(pos));
            }
            colour ^= 1;
            runStart = pos;
        }
        // Past the end of the data the reader gives zeros, which read as an
        // EOL: a last line whose last code ends on the data's last bit is
        // whole when that code was a terminating one.
    }
}

// Decodes into `page`, whose storage is reused: a page of print has a few
// black runs per coded byte, and fresh memory for them on every page costs
// more than the decoding. A page that is only checked keeps no runs: its
// lines' widths are all a check needs.
template <bool Draw>
void decodeRaw(std::string_view data, bool reverse, RawPage& page) {
    static_assert(kMaxG3Width <= 0xFFFF && kMaxCodeLength < 15, "runs and entries fit their fields");
    const DecodeTables& t = decodeTables();
    BitReader r(data, reverse);
    page.runs.clear();
    page.firstRun.clear();
    page.widths.clear();
    page.endedInLine = false;
    page.firstRun.push_back(0);
    // A page begins with an EOL; a stream that does not is read from its first bit.
    page.beganWithEol = r.peek(kEolZeros) == 0;
    if (page.beganWithEol && !skipEol(r)) return;
    while (!r.exhausted() && page.widths.size() < static_cast<std::size_t>(kMaxG3Lines)) {
        if (r.peek(kEolZeros) == 0) {
            // An EOL right after an EOL: the return to control ends the page.
            if (!page.widths.empty()) break;
            if (!skipEol(r)) break;
            continue;
        }
        const std::size_t mark = page.runs.size();
        int width = decodeLine<Draw>(r, t, page.runs);
        if (width < 0) page.runs.resize(mark);
        page.widths.push_back(width);
        page.firstRun.push_back(static_cast<std::uint32_t>(page.runs.size()));
        // No EOL after the line: the data ends in it (or in its fill).
        if (!(width < 0 ? findEol(r) : skipEol(r))) {
            page.endedInLine = true;
            break;
        }
    }
}

// The page's width: the most common width of its whole lines. A last line
// that the data's end closed proves nothing by itself (trailing junk reads
// as runs too): it counts only if it has the width of the others.
int commonWidth(const RawPage& page) {
    std::map<int, int> counts;
    std::size_t closed = page.widths.size() - (page.endedInLine ? 1 : 0);
    for (std::size_t i = 0; i < closed; ++i)
        if (page.widths[i] > 0) ++counts[page.widths[i]];
    int best = 0, bestCount = 0;
    for (auto [w, n] : counts)
        if (n > bestCount || (n == bestCount && w == kFaxWidth)) best = w, bestCount = n;
    // A page of one line has only that line to go by, when the data began
    // as a page does, with an EOL.
    if (closed == 0 && page.beganWithEol && !page.widths.empty()) return std::max(page.widths.back(), 0);
    return best;
}

int damaged(const RawPage& p, int width) {
    int n = 0;
    for (int w : p.widths)
        if (w != width) ++n;
    return n;
}

[[noreturn]] void notG3(const char* why) {
    throw Error(errnum::InvalidPicture, std::string("ピクチャが不正です。(") + why + ")", "G3");
}

}  // namespace

BilevelImage::BilevelImage(int w, int h)
    : width(w), height(h), stride(static_cast<std::size_t>((w + 7) / 8)),
      bits(stride * static_cast<std::size_t>(h), 0) {}

std::string encodeG3(const BilevelImage& page, PageEnd end) {
    if (page.width < 1 || page.width > kMaxG3Width || page.height < 1 || page.height > kMaxG3Lines)
        notG3("page size out of range");
    const EncodeTables& t = encodeTables();
    std::string out;
    out.reserve(static_cast<std::size_t>(page.height) * 40 + 16);
    BitWriter w(out);
    for (int y = 0; y < page.height; ++y) {
        w.put(t.eol);
        const std::uint8_t* row = page.row(y);
        int x = 0;
        int colour = 0;
        do {
            int next = nextChange(row, page.stride, x, page.width, colour);
            putRun(w, t, colour, next - x);
            x = next;
            colour ^= 1;
        } while (x < page.width);
    }
    if (end == PageEnd::Rtc)
        for (int i = 0; i < 6; ++i) w.put(t.eol);
    w.flush();
    return out;
}

namespace {

// Whether the data ends with six EOLs, read backwards from its last one bit
// in the order the data is packed (least significant bit first): the five
// later EOLs follow each other closely, the first may have fill before it.
bool endsWithRtc(std::string_view data) {
    std::size_t bit = data.size() * 8;
    auto bitAt = [&](std::size_t i) { return (static_cast<unsigned char>(data[i / 8]) >> (i % 8)) & 1; };
    while (bit > 0 && !bitAt(bit - 1)) --bit;
    for (int eol = 0; eol < 6; ++eol) {
        if (bit == 0) return false;
        --bit;  // the EOL's one bit
        int zeros = 0;
        while (bit > 0 && !bitAt(bit - 1) && zeros <= 11) {
            --bit;
            ++zeros;
        }
        if (eol < 5 ? zeros != 11 : zeros < 11) return false;
    }
    return true;
}

}  // namespace

std::string endedByRtc(std::string data) {
    if (endsWithRtc(data)) return data;
    // Six EOLs (eleven zero bits and a one) packed from a byte boundary.
    static constexpr unsigned char kRtc[] = {0x00, 0x08, 0x80, 0x00, 0x08, 0x80, 0x00, 0x08, 0x80};
    data.append(reinterpret_cast<const char*>(kRtc), sizeof kRtc);
    return data;
}

namespace {

// The decoding storage of a thread, for either bit order; storage beyond
// this many runs is let go after the page.
constexpr std::size_t kKeptRuns = 1u << 20;
RawPage& scratchPage(int order) {
    thread_local RawPage pages[2];
    return pages[order];
}
void trimScratch() {
    for (int i = 0; i < 2; ++i)
        if (scratchPage(i).runs.capacity() > kKeptRuns) scratchPage(i) = RawPage{};
}

// A page's lines in the bit order that reads them best, and its width.
struct ReadPage {
    const RawPage& page;
    int width = 0;
    int bad = 0;
    BitOrder used = BitOrder::LsbFirst;

    G3DecodeReport report() const {
        G3DecodeReport r;
        r.lines = static_cast<int>(page.widths.size());
        r.width = width;
        r.damagedLines = bad;
        r.bitOrder = used;
        // A last line that the data's end cut short: more of the page was coded.
        r.truncated = page.endedInLine && page.widths.back() != width;
        return r;
    }
};

template <bool Draw>
ReadPage readPage(std::string_view data, BitOrder order) {
    trimScratch();  // after a page that raised
    RawPage& lsb = scratchPage(0);
    RawPage& msb = scratchPage(1);
    const RawPage* page = &lsb;
    BitOrder used = order;
    int width = 0;
    if (order == BitOrder::Detect) {
        decodeRaw<Draw>(data, true, lsb);
        int wl = commonWidth(lsb);
        if (wl > 0 && damaged(lsb, wl) == 0) {
            width = wl;
            used = BitOrder::LsbFirst;
        } else {
            decodeRaw<Draw>(data, false, msb);
            int wm = commonWidth(msb);
            auto good = [](const RawPage& p, int w) { return w > 0 ? static_cast<int>(p.widths.size()) - damaged(p, w) : 0; };
            if (good(msb, wm) > good(lsb, wl)) {
                page = &msb;
                width = wm;
                used = BitOrder::MsbFirst;
            } else {
                width = wl;
                used = BitOrder::LsbFirst;
            }
        }
    } else {
        decodeRaw<Draw>(data, order == BitOrder::LsbFirst, lsb);
        width = commonWidth(lsb);
    }
    if (width <= 0) notG3("no line of the page decodes as G3");
    const int lines = static_cast<int>(page->widths.size());
    const int bad = damaged(*page, width);
    if (bad * 2 > lines) notG3("most lines of the page are damaged");
    return ReadPage{*page, width, bad, used};
}

void refuseCutShort(const G3DecodeReport& report) {
    if (report.truncated)
        notG3(("the page is cut short after " + std::to_string(report.lines - 1) + " lines").c_str());
}

}  // namespace

BilevelImage decodeG3(std::string_view data, BitOrder order, G3DecodeReport* report) {
    const ReadPage read = readPage<true>(data, order);
    const RawPage& page = read.page;
    const int width = read.width;
    const int lines = static_cast<int>(page.widths.size());
    BilevelImage out(width, lines);
    int lastGood = -1;
    for (int y = 0; y < lines; ++y) {
        const auto line = static_cast<std::size_t>(y);
        if (page.widths[line] == width) {
            // The line's runs end within its width, which is the page's.
            std::uint8_t* row = out.row(y);
            for (std::uint32_t i = page.firstRun[line]; i < page.firstRun[line + 1]; i += 2)
                fillBlack(row, page.runs[i], page.runs[i + 1]);
            lastGood = y;
        } else if (lastGood >= 0) {
            std::memcpy(out.row(y), out.row(lastGood), out.stride);
        }
    }
    if (report) *report = read.report();
    trimScratch();
    return out;
}

G3DecodeReport inspectG3(std::string_view data, BitOrder order) {
    G3DecodeReport report = readPage<false>(data, order).report();
    trimScratch();
    return report;
}

BilevelImage decodeWholeG3(std::string_view data) {
    G3DecodeReport report;
    BilevelImage page = decodeG3(data, BitOrder::Detect, &report);
    refuseCutShort(report);
    return page;
}

G3DecodeReport inspectWholeG3(std::string_view data) {
    G3DecodeReport report = inspectG3(data);
    refuseCutShort(report);
    return report;
}

}  // namespace fg::fax
