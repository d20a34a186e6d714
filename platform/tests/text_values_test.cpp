#include "platform/error.h"
#include "platform/testing/error_of.h"
#include "platform/text.h"
#include "platform/values.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace fg;
using fg::testing::errorOf;

TEST(Text, Utf16UnitsCountAndSlice) {
    struct Case {
        std::string text;
        std::size_t units;
    };
    for (const Case& c : std::vector<Case>{{"", 0}, {"abc", 3}, {"髙橋", 2}, {"a😀b", 4}, {"ｱ①", 2}})
        EXPECT_EQ(text::length16(c.text), c.units) << c.text;
    EXPECT_EQ(text::mid16("a😀b", 1, 2), "😀");
    EXPECT_EQ(text::mid16("髙橋商店", 2), "商店");
    EXPECT_EQ(text::mid16("abc", 5, 1), "");
    EXPECT_EQ(text::toUtf8(text::toUtf16("①㈱😀")), "①㈱😀");
    // Malformed UTF-8 (a stray continuation byte, a cut sequence, an overlong form) becomes U+FFFD.
    EXPECT_EQ(text::toUtf8(text::toUtf16("a\x80" "b\xE3\x81")), "a\uFFFD" "b\uFFFD");
    EXPECT_EQ(text::toUtf8(text::toUtf16("\xC0\xAF")), "\uFFFD");
    EXPECT_EQ(text::toUtf8(u"\xD800x"), "\uFFFDx");  // a lone surrogate
}

TEST(Text, CodePage932RoundTripsTheFieldsCharacters) {
    const std::string utf8 = "①㈱～髙\\~ｱ,日本";
    const std::string sjis = "\x87\x40\x87\x8A\x81\x60\xFB\xFC\\~\xB1,\x93\xFA\x96\x7B";
    bool lossless = false;
    EXPECT_EQ(text::toCp932(utf8, &lossless), sjis);
    EXPECT_TRUE(lossless);
    EXPECT_EQ(text::fromCp932(sjis), utf8);
    EXPECT_EQ(text::cp932Length(utf8), sjis.size());

    EXPECT_EQ(text::toCp932("aé😀b", &lossless), "a??b");
    EXPECT_FALSE(lossless);
    EXPECT_EQ(text::cp932Length("aé"), 3u);  // an unencodable character counts two
    EXPECT_EQ(text::cp932Width(U'a'), 1);
    EXPECT_EQ(text::cp932Width(U'ｱ'), 1);
    EXPECT_EQ(text::cp932Width(U'髙'), 2);
    EXPECT_EQ(text::cp932Width(U'é'), 0);
}

TEST(Text, UndecodableCodePage932BytesLoseOnlyThemselves) {
    // A lead byte followed by a comma must not swallow the comma of a CSV line.
    EXPECT_EQ(text::fromCp932("a\x81,b,c"), "a\uFFFD,b,c");
    EXPECT_EQ(text::fromCp932("\x81\x0D\x0A"), "\uFFFD\r\n");
    EXPECT_EQ(text::fromCp932("x\x93"), "x\uFFFD");  // cut at the end
    EXPECT_EQ(text::fromCp932("\xA0|\xFD"), "\uFFFD|\uFFFD");
}

// Stored names and texts may come as UTF-8 or as code page 932; what is
// not well-formed UTF-8 is read as code page 932.
TEST(Text, Utf8OrCodePage932) {
    const std::string sjis = text::toCp932("ﾃｷｽﾄ 注文書");
    const struct {
        std::string bytes;
        bool utf8;
    } cases[] = {
        {"", true},
        {"plain", true},
        {"注文書😀", true},
        {"\xEF\xBF\xBD", true},  // a replacement character of the text itself
        {sjis, false},
        {"\xC0\xAF", false},          // an overlong slash
        {"\xED\xA0\x80", false},      // a surrogate
        {"\xF4\x90\x80\x80", false},  // beyond U+10FFFF
        {"\xE3\x81", false},          // cut short
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        EXPECT_EQ(text::isUtf8(c.bytes), c.utf8);
        EXPECT_EQ(text::fromUtf8OrCp932(c.bytes), c.utf8 ? c.bytes : text::fromCp932(c.bytes));
    }
    EXPECT_EQ(text::fromUtf8OrCp932(sjis), "ﾃｷｽﾄ 注文書");
}

TEST(Text, SplitKeepsEmptyFieldsAndNonEmptyPartsDropThem) {
    using Parts = std::vector<std::string>;
    struct Case {
        const char* text;
        Parts fields;  // split at "*"
        Parts words;   // the non-empty parts between blanks
    } cases[] = {
        {"", {""}, {}},
        {"a", {"a"}, {"a"}},
        {"1*ATZ*0*1*0*", {"1", "ATZ", "0", "1", "0", ""}, {"1*ATZ*0*1*0*"}},
        {"**", {"", "", ""}, {"**"}},
        {"  -r  -y x ", {"  -r  -y x "}, {"-r", "-y", "x"}},
        {"髙*①", {"髙", "①"}, {"髙*①"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::split(c.text, '*'), c.fields) << c.text;
        EXPECT_EQ(text::nonEmptyParts(c.text, ' '), c.words) << c.text;
    }
    EXPECT_EQ(text::split("0301,,1101", ','), (Parts{"0301", "", "1101"}));
    // Joined as the stored lists have always been written: no separator
    // after empty parts at the front.
    const std::pair<Parts, const char*> joins[] = {
        {{}, ""}, {{"a"}, "a"}, {{"a", "", "b"}, "a,,b"}, {{"", "a"}, "a"}, {{"", ""}, ""}, {{"a", ""}, "a,"}};
    for (const auto& [parts, joined] : joins) EXPECT_EQ(text::join(parts, ','), joined);
}

TEST(Text, BlanksAndCase) {
    EXPECT_EQ(text::trim("  a b \t"), "a b \t");
    EXPECT_EQ(text::trimBlanks("\r\n a b \t\n"), "a b");
    EXPECT_EQ(text::trimBlanks(" \t"), "");
    EXPECT_EQ(text::toUpperAscii("aZé"), "AZé");
    EXPECT_TRUE(text::iequals("FaxSendLog.XML", "faxsendlog.xml"));
    EXPECT_FALSE(text::iequals("a", "ab"));
    EXPECT_EQ(text::icompare("ＡＢＣ", "ａｂｃ"), 0);  // full-width letters fold too
    EXPECT_LT(text::icompare("apple", "Banana"), 0);
    EXPECT_GT(text::icompare("abc", "AB"), 0);
    // Every spelling icompare takes for a text, in byte order, each taken.
    using Spellings = std::vector<std::string>;
    EXPECT_EQ(text::caseSpellings("a1.X", 4), (Spellings{"A1.X", "A1.x", "a1.X", "a1.x"}));
    EXPECT_EQ(text::caseSpellings("ｂ髙", 4), (Spellings{"Ｂ髙", "ｂ髙"}));
    EXPECT_EQ(text::caseSpellings("123_", 0), (Spellings{"123_"}));
    for (const std::string& s : text::caseSpellings("Ab.ｘｍl", 6)) EXPECT_EQ(text::icompare(s, "aB.ＸＭL"), 0) << s;
    EXPECT_TRUE(text::caseSpellings("abcde", 4).empty());        // more letters than asked for
    EXPECT_TRUE(text::caseSpellings("a\xff.xml", 8).empty());    // not UTF-8
}

TEST(Text, LinesEndAtAnyLineEnd) {
    using L = std::vector<std::string>;
    struct Case {
        const char* text;
        L lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"a\r\n", {"a"}},
        {"\n\na\n\n", {"", "", "a", ""}},
        {"a\r\r\nb", {"a", "", "b"}},
    };
    for (const Case& c : cases) EXPECT_EQ(text::lines(c.text), c.lines) << c.text;
    EXPECT_EQ(text::nonEmptyParts("/a//b c/", '/'), (L{"a", "b c"}));
    EXPECT_EQ(text::nonEmptyParts("", '/'), L{});
}

TEST(Values, WholeNumberConversions) {
    struct Case {
        const char* text;
        long expected;  // or the error number, when error is set
        bool error;
    };
    const std::vector<Case> int32Cases = {
        {"12", 12, false},      {"  -7 ", -7, false},     {"\t42\t", 42, false}, {"+3", 3, false},
        {"1.5", 2, false},      {"2.5", 2, false},        {"-2.5", -2, false},   {"1e3", 1000, false},
        {"&H1F", 31, false},    {".5", 0, false},         {"2147483647", 2147483647, false},
        {"2147483648", errnum::Overflow, true},           {"-2147483649", errnum::Overflow, true},
        {"1e10", errnum::Overflow, true},                 {"1e400", errnum::Overflow, true},
        {"", errnum::TypeMismatch, true},                 {"   ", errnum::TypeMismatch, true},
        {"abc", errnum::TypeMismatch, true},              {"12abc", errnum::TypeMismatch, true},
        {"inf", errnum::TypeMismatch, true},              {"nan", errnum::TypeMismatch, true},
        {"-infinity", errnum::TypeMismatch, true},        {"+-3", errnum::TypeMismatch, true},
        {"1 2", errnum::TypeMismatch, true},              {"０１", errnum::TypeMismatch, true},
    };
    for (const Case& c : int32Cases) {
        if (c.error) {
            try {
                toInt32(c.text);
                ADD_FAILURE() << "no error for \"" << c.text << "\"";
            } catch (const Error& e) {
                EXPECT_EQ(e.number(), c.expected) << c.text;
            }
        } else {
            EXPECT_EQ(toInt32(c.text), c.expected) << c.text;
        }
    }
    EXPECT_EQ(toInt16("-32768"), -32768);
    EXPECT_EQ(toInt16(" 32767 "), 32767);
    try {
        toInt16("32768");
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::Overflow);
    }
    EXPECT_TRUE(isNumeric(" 3.25 "));
    EXPECT_FALSE(isNumeric("nan"));
    EXPECT_DOUBLE_EQ(toDouble(" -3.25"), -3.25);
    EXPECT_THROW(toDouble("x"), Error);
}

TEST(Values, BooleansAndNumbersAsText) {
    EXPECT_TRUE(toBoolean("true"));
    EXPECT_TRUE(toBoolean(" TRUE "));
    EXPECT_FALSE(toBoolean("False"));
    EXPECT_FALSE(toBoolean("0"));
    EXPECT_TRUE(toBoolean("-1"));
    EXPECT_TRUE(toBoolean("2"));
    try {
        (void)toBoolean("yes");
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::TypeMismatch);
    }
    EXPECT_EQ(fromBoolean(true), "True");
    EXPECT_EQ(fromNumber(3.0), "3");
    EXPECT_EQ(fromNumber(-0.0), "0");
    EXPECT_EQ(fromNumber(2.5), "2.5");
    EXPECT_EQ(fromNumber(-1234567LL), "-1234567");
}

TEST(Values, VariantHoldsWhatItWasGiven) {
    EXPECT_TRUE(Variant().isEmpty());
    EXPECT_EQ(Variant().toText(), "");
    EXPECT_EQ(Variant().toNumber(), 0);
    EXPECT_THROW(Variant(Variant::Null{}).toText(), Error);
    EXPECT_EQ(Variant(Variant::Null{}).textOrEmpty(), "");
    EXPECT_EQ(Variant(7).textOrEmpty(), "7");
    EXPECT_EQ(Variant("12").toNumber(), 12);
    EXPECT_THROW(Variant("x").toNumber(), Error);
    EXPECT_EQ(Variant(7).toText(), "7");
    EXPECT_EQ(Variant(true).toText(), "True");
    EXPECT_EQ(Variant(true).toNumber(), -1);
    EXPECT_TRUE(Variant(1.5).isNumber());
}

TEST(Values, CollectionIsOneBasedWithCaseInsensitiveKeys) {
    Collection<std::string> c;
    c.add("first", "Key1");
    c.add("second");
    c.add("third", "ＫＥＹ３");
    EXPECT_EQ(c.count(), 3u);
    EXPECT_EQ(c.item(1), "first");
    EXPECT_EQ(c.item(2), "second");
    EXPECT_EQ(c.item("key1"), "first");
    EXPECT_EQ(c.item("ｋｅｙ３"), "third");
    EXPECT_TRUE(c.contains("KEY1"));

    EXPECT_EQ(errorOf([&] { c.item(0); }), errnum::InvalidProcedureCall);
    EXPECT_EQ(errorOf([&] { c.item(4); }), errnum::InvalidProcedureCall);
    EXPECT_EQ(errorOf([&] { c.item("missing"); }), errnum::InvalidProcedureCall);
    EXPECT_EQ(errorOf([&] { c.remove("missing"); }), errnum::InvalidProcedureCall);
    EXPECT_EQ(errorOf([&] { c.remove(9); }), errnum::InvalidProcedureCall);
    EXPECT_EQ(errorOf([&] { c.add("again", "KEY1"); }), 457);

    c.remove("Key1");
    EXPECT_EQ(c.item(1), "second");
    c.remove(1);
    EXPECT_EQ(c.count(), 1u);
    const auto& cc = c;
    EXPECT_EQ(cc.item("ｋｅｙ３"), "third");
}

TEST(Errors, CarryNumberDescriptionAndSource) {
    Error e = Error::standard(errnum::FileNotFound, "Delmora");
    EXPECT_EQ(e.number(), 53);
    EXPECT_EQ(e.description(), "ファイルが見つかりません。");
    EXPECT_EQ(e.source(), "Delmora");
    EXPECT_STREQ(e.what(), "53: ファイルが見つかりません。");
    EXPECT_EQ(errnum::ClientClassError, static_cast<long>(static_cast<int32_t>(0x80040201u)));
    Error own(40001, "送信に失敗しました。");
    own.setSource("FaxSend");
    EXPECT_EQ(own.source(), "FaxSend");
}
