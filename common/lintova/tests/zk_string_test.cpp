#include "common/lintova/zk_string.h"

#include "platform/error.h"
#include "platform/testing/error_of.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

namespace fg {
namespace {

const ZkString zk;

// The number a call raised; the library raises every error under its own name.
long errorOf(const std::function<void()>& call, std::string* description = nullptr) {
    testing::Raised raised = testing::raisedBy(call);
    if (raised.number) {
        EXPECT_EQ(raised.source, "Lintova.ZkString");
    }
    if (description) *description = raised.description;
    return raised.number;
}

TEST(ZkString, Version) { EXPECT_EQ(zk.Version(), "0.00.002: Ambrel ZkString 1.0 Library."); }

TEST(ZkString, CharacterCodesAndNumberBases) {
    EXPECT_EQ(zk.ASC("abc", 2), 98);
    EXPECT_EQ(zk.ASC("abc"), 97);
    EXPECT_EQ(zk.ASC(""), -1);
    EXPECT_EQ(zk.ASC("日本", 2), 0x672C);
    EXPECT_EQ(zk.ASC("\xf0\x9f\x98\x80", 2), 0xDE00);  // units, not code points
    for (int bad : {0, 4, -1}) EXPECT_EQ(errorOf([&] { zk.ASC("abc", bad); }), 1000) << bad;

    struct ToNum {
        std::string text;
        int radix;
        int32_t value;
    };
    for (const auto& c : std::vector<ToNum>{{"ff", 16, 255},
                                            {"FF", 16, 255},
                                            {"0x1A", 16, 26},
                                            {"0xg", 16, 0},
                                            {" \t-101", 2, -5},
                                            {"+12z", 10, 12},
                                            {"", 10, 0},
                                            {"xyz", 10, 0},
                                            {"z", 36, 35},
                                            {"2147483647", 10, INT32_MAX},
                                            {"-2147483648", 10, INT32_MIN},
                                            {"７", 10, 0}})
        EXPECT_EQ(zk.BaseToNum(c.text, static_cast<int16_t>(c.radix)), c.value) << c.text << " " << c.radix;
    struct BadNum {
        std::string text;
        int radix;
    };
    for (const auto& c : std::vector<BadNum>{{"1", 1}, {"1", 37}, {"1", 0}, {"2147483648", 10}, {"ffffffff", 16},
                                             {"-2147483649", 10}})
        EXPECT_EQ(errorOf([&] { zk.BaseToNum(c.text, static_cast<int16_t>(c.radix)); }), 1000) << c.text;

    struct ToBase {
        int32_t number;
        int radix;
        Variant digits, lower;
        std::string text;
    };
    for (const auto& c : std::vector<ToBase>{{255, 16, {}, {}, "FF"},
                                             {255, 16, {}, true, "ff"},
                                             {255, 16, 4, {}, "00FF"},
                                             {255, 16, 2, {}, "FF"},
                                             {-1, 16, {}, {}, "FFFFFFFF"},
                                             {-255, 10, {}, {}, "-255"},
                                             {-5, 10, 4, {}, "-005"},
                                             {INT32_MIN, 10, {}, {}, "-2147483648"},
                                             {0, 2, {}, {}, "0"},
                                             {5, 2, 8, {}, "00000101"},
                                             {35, 36, {}, {}, "Z"},
                                             {10, 8, {}, "yes", "12"},
                                             {255, 16, "x", {}, "FF"}})
        EXPECT_EQ(zk.NumToBase(c.number, static_cast<int16_t>(c.radix), c.digits, c.lower), c.text)
            << c.number << " " << c.radix;
    std::string text;
    EXPECT_EQ(errorOf([&] { zk.NumToBase(255, 16, 1); }, &text), 2007);
    EXPECT_EQ(text, "zkErrTooFewDigits: Specify a number of digits large enough for the result.");
    EXPECT_EQ(errorOf([&] { zk.NumToBase(-5, 10, 1); }), 2007);
    EXPECT_EQ(errorOf([&] { zk.NumToBase(1, 37); }, &text), 1000);
    EXPECT_EQ(text, "Invalid parameter");
    EXPECT_EQ(errorOf([&] { zk.NumToBase(1, 1); }), 1000);
    EXPECT_EQ(errorOf([&] { zk.NumToBase(1, 10, 33); }), 1000);
    EXPECT_EQ(errorOf([&] { zk.NumToBase(1, 10, -1); }), 1000);
}

TEST(ZkString, ChangeCase) {
    struct Case {
        std::string source;
        Variant type, delimiters;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"aBc", {}, {}, "AbC"},
        {"aBc", zkCaseInvert, {}, "AbC"},
        {"ＡｂC日本1", zkCaseInvert, {}, "ａＢc日本1"},
        {"hello world", zkCaseEachWord, {}, "Hello World"},
        {"hello  wORLD\tx", zkCaseEachWord, {}, "Hello  WORLD\tX"},
        {"hello-world foo", zkCaseEachWord, "-", "Hello-World foo"},
        {"hello world", zkCaseFirstWord, {}, "Hello world"},
        {"ａｂｃ äöü αβγ кот abc", zkCaseUpper, {}, "ＡＢＣ ÄÖÜ ΑΒΓ КОТ ABC"},
        {"ＡＢＣ ÄÖÜ ΑΒΓ КОТ ABC", zkCaseLower, {}, "ａｂｃ äöü αβγ кот abc"},
        // Kana, kanji and characters outside the first plane have no case.
        {"かなカナ漢字\xf0\x9f\x98\x80\xf0\x90\x90\xa8", zkCaseUpper, {}, "かなカナ漢字\xf0\x9f\x98\x80\xf0\x90\x90\xa8"},
        {"", zkCaseUpper, {}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(zk.ChangeCase(c.source, c.type, c.delimiters), c.expected) << c.source;
    EXPECT_EQ(errorOf([] { zk.ChangeCase("a", 5); }), 1000);
    EXPECT_EQ(errorOf([] { zk.ChangeCase("a", -1); }), 1000);
}

TEST(ZkString, DeleteAndInsert) {
    EXPECT_EQ(zk.Delete("abcdef", 2, 3), "aef");
    EXPECT_EQ(zk.Delete("abcdef", 9, 3), "abcde");
    EXPECT_EQ(zk.Delete("abcdef"), "bcdef");
    EXPECT_EQ(zk.Delete("abcdef", 5, 100), "abcd");
    EXPECT_EQ(zk.Delete("abcdef", 3, 0), "abcdef");
    EXPECT_EQ(zk.Delete("日本語", 2), "日語");
    EXPECT_EQ(zk.Delete("", 1), "");
    EXPECT_EQ(errorOf([] { zk.Delete("abc", 0); }), 1000);
    EXPECT_EQ(errorOf([] { zk.Delete("abc", 1, -1); }), 1000);

    EXPECT_EQ(zk.Insert("abc", "XY", 1), "aXYbc");
    EXPECT_EQ(zk.Insert("abc", "XY", 0), "XYabc");
    EXPECT_EQ(zk.Insert("abc", "XY"), "XYabc");
    EXPECT_EQ(zk.Insert("abc", "XY", 10), "abcXY");
    EXPECT_EQ(zk.Insert("日本", "の", 1), "日の本");
    EXPECT_EQ(zk.Insert("abc", "", 1), "abc");
    EXPECT_EQ(zk.Insert("", "XY", 0), "");
    EXPECT_EQ(errorOf([] { zk.Insert("abc", "X", -1); }), 1000);
}

TEST(ZkString, Search) {
    struct Case {
        std::string source, search;
        Variant position, caseSensitive, wholeWord, delimiters;
        int32_t expected;
    };
    const std::vector<Case> cases = {
        {"xxABCxx", "a?c", {}, {}, {}, {}, 3},
        {"xxABCxx", "a?c", {}, true, {}, {}, 0},
        {"why? yes", "\\?", {}, {}, {}, {}, 4},
        {"a\\b", "\\\\", {}, {}, {}, {}, 2},
        {"abcabc", "abc", 2, {}, {}, {}, 4},
        {"abcabc", "abc", 7, {}, {}, {}, 0},
        {"abc", "", {}, {}, {}, {}, 0},
        {"ab", "abc", {}, {}, {}, {}, 0},
        // Full-width letters compare without case too; kana do not fold.
        {"ｘＣＡＴ", "ｃａｔ", {}, {}, {}, {}, 2},
        {"ｘＣＡＴ", "ｃａｔ", {}, true, {}, {}, 0},
        {"アイ", "あい", {}, {}, {}, {}, 0},
        // Whole words.
        {"concat cat", "cat", {}, {}, true, {}, 8},
        {"concat", "cat", {}, {}, true, {}, 0},
        {"cat", "cat", {}, {}, true, {}, 1},
        {"cats cat", "cat", {}, {}, true, {}, 6},
        {"a-cat-b", "cat", {}, {}, true, "-", 3},
        {"a-cat-b", "cat", {}, {}, true, {}, 0},
        {"x a b", "a?b", {}, {}, true, {}, 0},  // "?" may not match a delimiter inside a word
        {"cat cow", "t c", {}, {}, true, {}, 3},  // a delimiter in the word drops the rule
        {"日本 本", "本", {}, {}, true, {}, 4},
    };
    for (const auto& c : cases)
        EXPECT_EQ(zk.InStr(c.source, c.search, c.position, c.caseSensitive, c.wholeWord, c.delimiters), c.expected)
            << c.source << " / " << c.search;
    EXPECT_EQ(errorOf([] { zk.InStr("abc", "b", 0); }), 1000);

    std::string s = "one two one";
    EXPECT_EQ(zk.Replace(s, "ONE", "1", 2), 9);
    EXPECT_EQ(s, "one two 1");
    EXPECT_EQ(zk.Replace(s, "three", "3"), 0);
    EXPECT_EQ(s, "one two 1");
    EXPECT_EQ(zk.Replace(s, "two ", Variant(5)), 5);  // no text to put in: the match goes
    EXPECT_EQ(s, "one 1");
    s = "concat cat";
    EXPECT_EQ(zk.Replace(s, "cat", "dog", {}, {}, true), 8);
    EXPECT_EQ(s, "concat dog");

    struct All {
        std::string source, search;
        Variant replace, caseSensitive, wholeWord;
        std::string expected;
    };
    const std::vector<All> all = {
        {"aaa", "aa", "b", {}, {}, "ba"},
        {"a.b.c", ".", "--", {}, {}, "a--b--c"},
        {"aaa", "a", "aa", {}, {}, "aaaaaa"},
        {"Cat cat CAT", "cat", "dog", {}, {}, "dog dog dog"},
        {"Cat cat CAT", "cat", "dog", true, {}, "Cat dog CAT"},
        {"cat concat cat", "cat", "dog", {}, true, "dog concat dog"},
        {"x1y2z", "?", "", {}, {}, ""},
        {"abc", "", "x", {}, {}, "abc"},
        {"ab", "abc", "x", {}, {}, "ab"},
        {"受注者コード", "コード", "番号", {}, {}, "受注者番号"},
    };
    for (const auto& c : all)
        EXPECT_EQ(zk.ReplaceAll(c.source, c.search, c.replace, c.caseSensitive, c.wholeWord), c.expected)
            << c.source << " / " << c.search;
}

TEST(ZkString, TrimAndSqueezeByCharacterSet) {
    struct Case {
        std::string source;
        Variant set;
        std::string left, right, both;
    };
    const std::string nul("\0", 1);
    const std::vector<Case> cases = {
        {" \t\r\n x y \n", {}, "x y \n", " \t\r\n x y", "x y"},
        {nul + "x" + nul, 0, "x" + nul, nul + "x", "x"},
        {"xxabcxx", "x", "abcxx", "xxabc", "abc"},
        {"xyabcyx", "xy", "abcyx", "xyabc", "abc"},
        {" x ", "", " x ", " x ", " x "},          // an empty string is an empty set
        {" x ", 256, " x ", " x ", " x "},         // so is a number past the flags
        {" x ", -1, " x ", " x ", " x "},
        {" x ", "abc-not-a-number", " x ", " x ", " x "},
        {"\x01" "a\x1f", zkCharSetControl, "a\x1f", "\x01" "a", "a"},
        {"1a2", zkCharSetNonAlpha, "a2", "1a", "a"},
        {"abc12.5+xyz", zkCharSetNonNumeric, "12.5+xyz", "abc12.5+", "12.5+"},
        {"(a1)", zkCharSetNonAlphaNumeric, "a1)", "(a1", "a1"},
        {"(a1)", zkCharSetNonDigit, "1)", "(a1", "1"},
        {"\x7f" "a ", zkCharSetNonPrintable, "a ", "\x7f" "a ", "a "},
        {"\xc2\x81" "a\xc2\x9d", zkCharSetNonAnsi, "a\xc2\x9d", "\xc2\x81" "a", "a"},
        {"  12ab34  ", zkCharSetWhiteSpace | zkCharSetNonAlpha, "ab34  ", "  12ab", "ab"},
        {"ａ日本ａ", "ａ", "日本ａ", "ａ日本", "日本"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zk.LTrim(c.source, c.set), c.left) << c.source;
        EXPECT_EQ(zk.RTrim(c.source, c.set), c.right) << c.source;
        EXPECT_EQ(zk.Trim(c.source, c.set), c.both) << c.source;
    }

    EXPECT_EQ(zk.Squeeze("a   b"), "a b");
    EXPECT_EQ(zk.Squeeze("a   b", {}, ""), "ab");
    EXPECT_EQ(zk.Squeeze(" a \t\n b "), " a b ");
    EXPECT_EQ(zk.Squeeze("a--b---c", "-", "+"), "a+b+c");
    EXPECT_EQ(zk.Squeeze("a--b", "-", 5), "a b");  // no text given: one space
    EXPECT_EQ(zk.Squeeze("日本　　語", "　", "・"), "日本・語");
}

TEST(ZkString, TabsAndSpaces) {
    struct Case {
        std::string tabs;
        Variant width;
        std::string spaces;
    };
    // Each pair converts both ways.
    const std::vector<Case> both = {
        {"\tx", 4, "    x"},
        {"ab\tc", 4, "ab  c"},
        {"\t", {}, "        "},
        {"\t", 0, "        "},
        {"abc\tx", 4, "abc x"},
        {"\t  x", 4, "      x"},
        // Double-width characters take two columns: kanji, and characters
        // code page 932 cannot hold; half-width katakana take one.
        {"日本\tx", 4, "日本    x"},
        {"日\tx", 4, "日  x"},
        {"ｶ\tx", 4, "ｶ   x"},
        {"\xf0\x9f\x98\x80\tx", 4, "\xf0\x9f\x98\x80  x"},
        {"é\tx", 4, "é  x"},
        {"a\nb\tc", 4, "a\nb   c"},
        {"a\r\tb", 4, "a\r    b"},
    };
    for (const auto& c : both) {
        EXPECT_EQ(zk.TabsToSpaces(c.tabs, c.width), c.spaces) << c.tabs;
        EXPECT_EQ(zk.SpacesToTabs(c.spaces, c.width), c.tabs) << c.spaces;
    }
    EXPECT_EQ(zk.TabsToSpaces("no tabs  here", 4), "no tabs  here");
    EXPECT_EQ(zk.SpacesToTabs("a b", 4), "a b");  // the run ends before the stop
    EXPECT_EQ(zk.SpacesToTabs("日 x", 4), "日 x");
    // A tab restarts the column count for the spaces after it.
    EXPECT_EQ(zk.SpacesToTabs("ab\t    c", 4), "ab\t\tc");
    EXPECT_EQ(errorOf([] { zk.TabsToSpaces("\t", -1); }), 1000);
    EXPECT_EQ(errorOf([] { zk.SpacesToTabs(" ", -4); }), 1000);
}

TEST(ZkString, SpellNumber) {
    struct Case {
        Variant number;
        std::string words;
    };
    const std::vector<Case> cases = {
        {12345, "twelve thousand three hundred forty five"},
        {-7, "negative seven"},
        {1000000, "one million"},
        {1000001, "one million one"},
        {100, "one hundred"},
        {115, "one hundred fifteen"},
        {10, "ten"},
        {90, "ninety"},
        {0, ""},
        {12.7, "twelve"},
        {-0.5, ""},
        {"  42.99 ", "forty two"},
        {"-3", "negative three"},
        {"1,234", "one thousand two hundred thirty four"},
        {"abc", ""},
        {Variant(), ""},
        {Variant(Variant::Null{}), ""},
        {true, ""},
        {"999999999999999",
         "nine hundred ninety nine trillion nine hundred ninety nine billion nine hundred ninety nine million "
         "nine hundred ninety nine thousand nine hundred ninety nine"},
        {"1000000000000", "one trillion"},
        {"-000", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(zk.SpellNumber(c.number), c.words) << c.words;

    std::string text;
    EXPECT_EQ(errorOf([] { zk.SpellNumber("1234567890123456"); }, &text), 2001);
    EXPECT_EQ(text, "zkErrNumberTooLarge: cannot spell numbers with more than 15 digits.");
    EXPECT_EQ(errorOf([] { zk.SpellNumber(1e15); }), 2001);
    EXPECT_EQ(errorOf([] { zk.SpellNumber(-1e16); }), 2001);
    EXPECT_EQ(zk.SpellNumber(-999999999999999.0).substr(0, 17), "negative nine hun");
}

}  // namespace
}  // namespace fg
