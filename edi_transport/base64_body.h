// The text form of EDI request and answer files: a "begin-base64" line,
// base64 lines and a closing "====".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace fg::edi {

// The request body: "begin-base64 644 request.zip" and LF (always that name),
// the base64 of `bytes` in lines of 60 characters each ended by CR LF, then
// "====" with nothing after it.
std::string encodeBase64File(std::string_view bytes);
// Padded base64 without line breaks.
std::string encodeBase64Bytes(std::string_view bytes);
// One character of the alphabet; "" outside 0..63.
std::string base64Char(int value);
// Decodes the characters between the first LF and the last LF of `text`
// (after its last character is dropped, so "====", "====" LF and "====" CR LF
// all end it alike). Characters outside the alphabet are skipped. False when
// there is nothing between the two LFs, when a group is cut short, or when
// padding stands where no byte can end.
bool decodeBase64Text(std::string_view text, std::string& bytes);

// decodeBase64Text for a text that comes piece by piece: the bytes go to
// `out` as they are decoded, and nothing of the text is held but the group
// under way, whatever its size. Only the end tells whether the line under
// way is the text's last, which is not decoded: bytes of it that went out
// are taken back then.
class Base64TextDecoder {
public:
    class Output {
    public:
        virtual ~Output() = default;
        virtual void write(std::string_view bytes) = 0;
        // Takes back every byte written after the first `size`.
        virtual void cutBack(std::uint64_t size) = 0;
    };

    explicit Base64TextDecoder(Output& out) : out_(out) {}

    // The next piece of the text. False once the text cannot decode,
    // whatever may follow. What `out` raises goes to the caller.
    bool take(std::string_view piece);
    // The text has ended: true when it decoded, `out` then holding exactly
    // its bytes.
    bool finish();
    // Characters taken so far.
    std::uint64_t textSize() const { return textSize_; }

private:
    struct Group {
        int values[4] = {0, 0, 0, 0};
        int filled = 0;
        bool broken = false;  // a bad group since the last line end
        std::uint64_t written = 0;
    };
    bool step(char c, std::string& bytes);

    Output& out_;
    std::uint64_t textSize_ = 0;
    bool held_ = false;  // the last character, which the text drops, waits
    char last_ = 0;
    bool afterFirstLine_ = false;
    std::uint64_t sinceFirstLine_ = 0;  // characters after the first LF
    bool lineEnded_ = false;            // an LF after the first one
    std::uint64_t lastLineEnd_ = 0;     // its place, counted after the first LF
    Group now_;
    Group atLineEnd_;  // as it stood at that LF
    bool failed_ = false;
};

}  // namespace fg::edi
