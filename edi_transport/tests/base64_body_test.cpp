// The request text and the answer decoding, to the byte.
#include "edi_transport/base64_body.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace fg::edi {
namespace {

TEST(Base64BodyTest, RequestTextHasItsHeaderLinesAndTerminator) {
    struct Case {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"", "begin-base64 644 request.zip\n===="},
        {"A", "begin-base64 644 request.zip\nQQ==\r\n===="},
        {"AB", "begin-base64 644 request.zip\nQUI=\r\n===="},
        {"ABC", "begin-base64 644 request.zip\nQUJD\r\n===="},
        {std::string("\xff\xfe\x00", 3), "begin-base64 644 request.zip\n//4A\r\n===="},
        // 45 bytes fill exactly one line of 60 characters; one more byte opens a second.
        {std::string(45, '\0'), "begin-base64 644 request.zip\n" + std::string(60, 'A') + "\r\n===="},
        {std::string(46, '\0'), "begin-base64 644 request.zip\n" + std::string(60, 'A') + "\r\nAA==\r\n===="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        EXPECT_EQ(encodeBase64File(c.bytes), c.text);
    }
    EXPECT_EQ(base64Char(0), "A");
    EXPECT_EQ(base64Char(63), "/");
    EXPECT_EQ(base64Char(64), "");
    EXPECT_EQ(base64Char(-1), "");
}

TEST(Base64BodyTest, AnswersDecodeWhateverTheirLastLineAndLineEnds) {
    struct Case {
        const char* text;
        bool ok;
        std::string bytes;
    } cases[] = {
        {"begin-base64 644 a.xml\nQUJD\r\n====", true, "ABC"},
        {"begin-base64 644 a.xml\nQUJD\r\n====\n", true, "ABC"},
        {"begin-base64 644 a.xml\nQUJD\r\n====\r\n", true, "ABC"},
        {"begin-base64 644 a.xml\r\nQU\r\nJD\n====", true, "ABC"},
        {"header\nQU JD\t\nQQ==\n====", true, "ABCA"},
        {"header\nQUI=\n====", true, "AB"},
        // Nothing between the first and the last LF, or no LF at all.
        {"begin-base64 644 a.xml\n====", false, ""},
        {"no line end at all", false, ""},
        {"", false, ""},
        // A group cut short, and padding where no byte can end.
        {"header\nQUJ\n====", false, ""},
        {"header\n=QUJ\n====", false, ""},
        {"header\nQU=J\n====", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string bytes = "left over";
        EXPECT_EQ(decodeBase64Text(c.text, bytes), c.ok);
        if (c.ok) {
            EXPECT_EQ(bytes, c.bytes);
        }
    }
}

TEST(Base64BodyTest, EveryRequestDecodesBackToItsBytes) {
    std::mt19937 random(7);
    for (std::size_t size : {0u, 1u, 2u, 3u, 44u, 45u, 46u, 89u, 90u, 91u, 1000u, 65537u}) {
        std::string bytes(size, '\0');
        for (char& b : bytes) b = static_cast<char>(random());
        std::string decoded;
        std::string text = encodeBase64File(bytes);
        // An empty file makes no base64 line, so there is nothing to decode.
        ASSERT_EQ(decodeBase64Text(text, decoded), size > 0) << size;
        EXPECT_EQ(decoded, size > 0 ? bytes : "");
        std::string lines = text.substr(text.find('\n') + 1);
        ASSERT_EQ(lines.substr(lines.size() - 4), "====");
        lines.resize(lines.size() - 4);
        for (std::size_t at = 0; at < lines.size();) {
            std::size_t end = lines.find("\r\n", at);
            ASSERT_NE(end, std::string::npos);
            EXPECT_LE(end - at, 60u);
            EXPECT_EQ(lines.find('\n', at), end + 1);
            at = end + 2;
        }
    }
}

// Texts that arrive in pieces of any size decode as they do whole, the
// last line that is not decoded included.
TEST(Base64BodyTest, ATextInPiecesDecodesAsTheWholeText) {
    struct Bytes : Base64TextDecoder::Output {
        std::string out;
        void write(std::string_view b) override { out.append(b); }
        void cutBack(std::uint64_t size) override { out.resize(size); }
    };
    std::mt19937 random(11);
    std::string data(5000, '\0');
    for (char& b : data) b = static_cast<char>(random());
    std::string oneLine = encodeBase64Bytes(data);
    const std::string texts[] = {
        encodeBase64File(data),
        "h\n" + oneLine + "\n====",                     // a single long line
        "h\nQUJD\nQUJD",                                // a last line that would decode
        "h\nQU\nJD\nQUJD\n",                            // the last LF dropped: "QUJD" is the last line
        "h\nQUJD\n=QUJ",                                // bad padding in the last line only
        "h\n=QUJ\nQUJD\n====", "h\nQUJ\n====", "h\n\n====", "h\n\n\n====", "no LF", "",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(0, 40));
        std::string whole;
        bool ok = decodeBase64Text(text, whole);
        for (std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, std::size_t{4096}}) {
            Bytes bytes;
            Base64TextDecoder decoder(bytes);
            bool taken = true;
            for (std::size_t at = 0; at < text.size() && taken; at += piece) taken = decoder.take(text.substr(at, piece));
            ASSERT_EQ(taken && decoder.finish(), ok) << piece;
            if (ok) {
                EXPECT_EQ(bytes.out, whole) << piece;
            }
        }
    }
}

}  // namespace
}  // namespace fg::edi
