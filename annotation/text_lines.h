// The lines of the annotation text: keywords and values written one line
// at a time with CR LF, read back a line at a time without reading ahead,
// numbers in a form that reads the same in every locale, and the six-bit
// code that carries strings and pels as printable lines.
#pragma once

#include "annotation/stream.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fg::annotation {

// A line and CR LF; ANN_ERROR_FILE_WRITE when the stream takes fewer bytes.
int annWriteLine(AnnStream& stream, std::string_view line);

// "%u" and "%.9G" of the C library in its own locale: 1, 0.5, 1.33333333,
// 1E-10.
std::string annFormatUnsigned(std::uint32_t value);
std::string annFormatReal(double value);

// The next line's token: the run of bytes from the start below 0x80 and
// not below 0x20, at most 80 of them; the control bytes and blank lines
// after it are its line end, and the stream is left right after them.
// ANN_ERROR_FILE_READ when the stream fails, the data ends, or nothing at
// all can be taken (a zero byte).
class LineReader {
public:
    explicit LineReader(AnnStream& stream) : stream_(stream) {}
    int next(std::string_view& token);
    AnnStream& stream() { return stream_; }

private:
    AnnStream& stream_;
    char line_[81] = {};
};

// A whole token as a number: an unsigned decimal (spaces and a sign before
// the digits taken, values beyond 32 bits as 0xFFFFFFFF), or a finite
// decimal real. False for anything else, hexadecimal and "INF" included.
bool annParseUnsigned(std::string_view token, std::uint32_t& value);
bool annParseReal(std::string_view token, double& value);

// The next line read as such a number; ANN_ERROR_FILE_READ when it is none.
int annReadUnsigned(LineReader& lines, std::uint32_t& value);
int annReadReal(LineReader& lines, double& value);

// Six-bit text: each three bytes become four characters from 0x20 to 0x5F,
// most significant bits first; one or two bytes left over give two or
// three. Lines of 60 characters, the last holding the rest.
int annEncodeText(AnnStream& stream, const std::uint8_t* bytes, std::size_t count);
// Exactly `count` bytes from the characters of as many lines as they take.
int annDecodeText(LineReader& lines, std::uint8_t* bytes, std::size_t count);

}  // namespace fg::annotation
