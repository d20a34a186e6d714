#include "common/lintova/zk_parse.h"

#include "platform/error.h"
#include "platform/testing/error_of.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace fg {
namespace {

struct Found {
    std::string token;
    int32_t position;
    int32_t length;
    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Found& f) {
    return os << "{\"" << f.token << "\" @" << f.position << " len " << f.length << "}";
}

// Every token of a source, in order.
std::vector<Found> tokens(ZkParse& p, const std::string& source) {
    std::vector<Found> out;
    for (bool more = p.Parse(source); more; more = p.NextToken()) {
        out.push_back({p.Token(), p.Position(), p.Length()});
        if (out.size() > 1000) break;  // a tokenizer that never ends fails here, not by hanging
    }
    return out;
}

std::vector<std::string> texts(ZkParse& p, const std::string& source) {
    std::vector<std::string> out;
    for (const auto& f : tokens(p, source)) out.push_back(f.token);
    return out;
}

const std::string Q = "\"";

using testing::errorOf;
using testing::raisedBy;

TEST(ZkParse, VersionAndStartValues) {
    ZkParse p;
    EXPECT_EQ(p.Version(), "0.00.002: Ambrel ZkString 1.0 Library.");
    EXPECT_EQ(p.Delimiters(), "");
    EXPECT_EQ(p.QuotePairs(), "");
    EXPECT_EQ(p.GroupPairs(), "");
    EXPECT_EQ(p.Escape(), "");
    EXPECT_TRUE(p.EmptyTokens());
    EXPECT_TRUE(p.RemoveQuotes());
    EXPECT_TRUE(p.TrimTokens());
    EXPECT_TRUE(p.DoubleQuoteRule());
    EXPECT_EQ(p.Token(), "");
    EXPECT_EQ(p.Length(), 0);
    EXPECT_EQ(p.Position(), 0);
    EXPECT_EQ(p.PreviousDelimiter(), "");
    EXPECT_EQ(p.NextDelimiter(), "");
}

// The index loader's settings: token k is field k of a CSV line.
TEST(ZkParse, IndexLineSettings) {
    struct Case {
        std::string source;
        std::vector<Found> expected;
    };
    const std::vector<Case> cases = {
        {"a,b,c", {{"a", 1, 1}, {"b", 3, 1}, {"c", 5, 1}}},
        {"a,,c", {{"a", 1, 1}, {"", 3, 0}, {"c", 4, 1}}},
        {",a", {{"", 1, 0}, {"a", 2, 1}}},
        {"a,", {{"a", 1, 1}, {"", 3, 0}}},
        {",", {{"", 1, 0}, {"", 2, 0}}},
        {",,", {{"", 1, 0}, {"", 2, 0}, {"", 3, 0}}},
        {Q + "x,y" + Q + ",z", {{"x,y", 2, 3}, {"z", 7, 1}}},
        {Q + "a" + Q + Q + "b" + Q, {{"a\"b", 2, 3}}},
        {Q + Q, {{"", 1, 0}}},
        {Q + Q + ",x", {{"", 1, 0}, {"x", 4, 1}}},
        {" " + Q + "a b" + Q + " ", {{"a b", 3, 3}}},
        {"  a  ,\tb\t", {{"a", 3, 1}, {"b", 8, 1}}},
        {"a,   ,c", {{"a", 1, 1}, {"", 3, 0}, {"c", 7, 1}}},
        // An unclosed quote takes the rest of the line.
        {"a," + Q + "b,c", {{"a", 1, 1}, {"b,c", 4, 3}}},
        // Quotes are dropped wherever they stand, not only at the ends.
        {"ab" + Q + "c,d" + Q + "e,f", {{"abc,de", 1, 6}, {"f", 10, 1}}},
        // Quoted content that begins or ends with a quote.
        {Q + Q + Q + "x" + Q, {{"\"x", 2, 2}}},
        {Q + "x" + Q + Q + Q, {{"x\"", 2, 2}}},
        // Where the tokenizer's own rules part from CSV: a quoted field made of
        // quotes only keeps one quote too many, because the closing quote
        // follows a dropped one and is copied as its double.
        {Q + Q + Q + Q, {{"\"\"", 2, 2}}},
        {Q + Q + Q + Q + Q + Q, {{"\"\"\"", 2, 3}}},
        // Other blanks than space and tab are kept.
        {"\r a \r", {{"\r a \r", 1, 5}}},
        {"\xe3\x80\x80" "a", {{"\xe3\x80\x80" "a", 1, 2}}},
        // Positions and lengths count UTF-16 units.
        {"受注者,コード", {{"受注者", 1, 3}, {"コード", 5, 3}}},
        {"\xf0\x9f\x98\x80,x", {{"\xf0\x9f\x98\x80", 1, 2}, {"x", 4, 1}}},
        {Q + "株式会社,本社" + Q + ",ｶﾅ", {{"株式会社,本社", 2, 7}, {"ｶﾅ", 11, 2}}},
    };
    ZkParse p = indexLineParser();
    for (const auto& c : cases) EXPECT_EQ(tokens(p, c.source), c.expected) << c.source;
}

TEST(ZkParse, EmptySourceAndEndOfTokens) {
    ZkParse p = indexLineParser();
    EXPECT_FALSE(p.Parse(""));
    EXPECT_EQ(p.Token(), "");
    EXPECT_EQ(p.Length(), 0);
    EXPECT_EQ(p.Position(), 0);
    EXPECT_FALSE(p.NextToken());

    ASSERT_TRUE(p.Parse("a,b"));
    ASSERT_TRUE(p.NextToken());
    EXPECT_EQ(p.Token(), "b");
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(p.NextToken());
        EXPECT_EQ(p.Token(), "");
        EXPECT_EQ(p.Length(), 0);
        EXPECT_EQ(p.Position(), 0);
        EXPECT_EQ(p.PreviousDelimiter(), "");
        EXPECT_EQ(p.NextDelimiter(), "");
    }
    // A new Parse starts over.
    EXPECT_EQ(texts(p, "x,y"), (std::vector<std::string>{"x", "y"}));
}

TEST(ZkParse, QuoteSettings) {
    struct Case {
        std::string quotes;
        bool removeQuotes;
        bool doubleQuoteRule;
        std::string source;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        // Doubled quotes stand for one with the rule, for none without it.
        {"\"\"", true, true, Q + "a" + Q + Q + "b" + Q, {"a\"b"}},
        {"\"\"", true, false, Q + "a" + Q + Q + "b" + Q, {"ab"}},
        // Without the rule the doubled quote closes and reopens: still one token.
        {"\"\"", true, false, Q + "a" + Q + Q + ",b" + Q + ",c", {"a,b", "c"}},
        // Quotes kept when they are not to be removed.
        {"\"\"", false, true, Q + "x,y" + Q + ",z", {"\"x,y\"", "z"}},
        {"\"\"", false, true, Q + Q, {"\"\""}},
        // No quote pairs: a quote is an ordinary character.
        {"", true, true, Q + "x,y" + Q, {"\"x", "y\""}},
        // Pairs of distinct characters, and more than one pair.
        {"[]", true, true, "[a,b],c", {"a,b", "c"}},
        {"[]''", true, true, "'a,b',[c,d]", {"a,b", "c,d"}},
        // A closer alone does not open a quote.
        {"[]", true, true, "a],b", {"a", "b"}},
        // Distinct pairs, doubled closer inside: the rule keeps one.
        {"[]", true, true, "[a]]b],c", {"a]b", "c"}},
    };
    for (const auto& c : cases) {
        ZkParse p;
        p.setDelimiters(",");
        p.setQuotePairs(c.quotes);
        p.setRemoveQuotes(c.removeQuotes);
        p.setDoubleQuoteRule(c.doubleQuoteRule);
        EXPECT_EQ(texts(p, c.source), c.expected) << c.quotes << " " << c.source;
    }
}

TEST(ZkParse, Escapes) {
    struct Case {
        std::string quotes;
        std::string escape;
        std::string source;
        std::vector<Found> expected;
    };
    const std::vector<Case> cases = {
        // The escape stays in the token; the escaped delimiter does not split.
        {"", "\\", "a\\,b", {{"a\\,b", 1, 4}}},
        {"", "\\", "a\\,b,c", {{"a\\,b", 1, 4}, {"c", 6, 1}}},
        // An escaped quote neither opens nor is dropped.
        {"\"\"", "\\", "\\\"a,b", {{"\\\"a", 1, 3}, {"b", 5, 1}}},
        // Inside quotes an escaped quote does not close.
        {"\"\"", "\\", Q + "a\\" + Q + ",b" + Q + ",c", {{"a\\\",b", 2, 5}, {"c", 9, 1}}},
        // An escape at the very end ends the token at the end.
        {"", "\\", "ab\\", {{"ab\\", 1, 3}}},
        // A token that begins with an escape is positioned on the escape.
        {"\"\"", "\\", " \\,x", {{"\\,x", 2, 3}}},
        // A longer escape: the scan passes its first character and the next.
        {"", "%%", "a%%,b", {{"a%%", 1, 3}, {"b", 5, 1}}},
        {"", "%%", "a%,b", {{"a%", 1, 2}, {"b", 4, 1}}},
    };
    for (const auto& c : cases) {
        ZkParse p;
        p.setDelimiters(",");
        p.setQuotePairs(c.quotes);
        p.setEscape(c.escape);
        EXPECT_EQ(tokens(p, c.source), c.expected) << c.escape << " " << c.source;
    }
}

TEST(ZkParse, GroupPairs) {
    struct Case {
        bool emptyTokens;
        std::string source;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {true, "a,(b,c),d", {"a", "", "b,c", "", "d"}},
        {false, "a,(b,c),d", {"a", "", "b,c", "d"}},
        {true, "(b,c),d", {"", "b,c", "", "d"}},
        {false, "(b,c),d", {"b,c", "d"}},
        // Groups nest; quotes and escapes count for nothing inside them.
        {true, "x,(a,(b,c),d)", {"x", "", "a,(b,c),d", ""}},
        // The quote inside the group opens nothing (the brace after it still
        // closes), though the token then loses it like any quote.
        {false, "(a,{b,\"},c}),d", {"a,{b,},c}", "d"}},
        // An unclosed group takes the rest of the line.
        {true, "a,(b,c", {"a", "", "b,c"}},
        {false, "(b,c", {"b,c"}},
        // A group right after text ends that token.
        {true, "ab(c),d", {"ab", "c", "", "d"}},
    };
    for (const auto& c : cases) {
        ZkParse p;
        p.setDelimiters(",");
        p.setQuotePairs("\"\"");
        p.setEscape("\\");
        p.setGroupPairs("(){}");
        p.setEmptyTokens(c.emptyTokens);
        EXPECT_EQ(texts(p, c.source), c.expected) << c.emptyTokens << " " << c.source;
    }
}

TEST(ZkParse, DeeplyNestedGroupsAreInputNotACrash) {
    ZkParse p;
    p.setDelimiters(",");
    p.setGroupPairs("()");
    std::string deep = "x," + std::string(200000, '(') + std::string(200000, ')') + ",y";
    EXPECT_EQ(texts(p, deep).size(), 5u);
    std::string unclosed(200000, '(');
    EXPECT_EQ(texts(p, unclosed).size(), 2u);
}

TEST(ZkParse, EmptyTokensOffAndDelimiterReporting) {
    ZkParse p;
    p.setDelimiters(",;");
    p.setEmptyTokens(false);
    ASSERT_TRUE(p.Parse(",,a,;b,,"));
    EXPECT_EQ(p.Token(), "a");
    EXPECT_EQ(p.Position(), 3);
    EXPECT_EQ(p.PreviousDelimiter(), ",,");
    EXPECT_EQ(p.NextDelimiter(), ",;");
    ASSERT_TRUE(p.NextToken());
    EXPECT_EQ(p.Token(), "b");
    EXPECT_EQ(p.Position(), 6);
    EXPECT_EQ(p.PreviousDelimiter(), ",;");
    EXPECT_EQ(p.NextDelimiter(), ",,");
    EXPECT_FALSE(p.NextToken());
    EXPECT_EQ(p.PreviousDelimiter(), "");

    // Delimiters only: no token at all.
    EXPECT_FALSE(p.Parse(",;,"));
    EXPECT_FALSE(p.NextToken());
    EXPECT_FALSE(p.NextToken());

    // With empty tokens each delimiter stands alone.
    p.setEmptyTokens(true);
    ASSERT_TRUE(p.Parse("a,;b"));
    EXPECT_EQ(p.PreviousDelimiter(), "");
    EXPECT_EQ(p.NextDelimiter(), ",");
    ASSERT_TRUE(p.NextToken());
    EXPECT_EQ(p.Token(), "");
    EXPECT_EQ(p.PreviousDelimiter(), ",");
    EXPECT_EQ(p.NextDelimiter(), ";");
    ASSERT_TRUE(p.NextToken());
    EXPECT_EQ(p.Token(), "b");
    EXPECT_EQ(p.NextDelimiter(), "");

    // Groups report their opener and closer as delimiters.
    p.setGroupPairs("()");
    ASSERT_TRUE(p.Parse("a(b),c"));
    EXPECT_EQ(p.NextDelimiter(), "(");
    ASSERT_TRUE(p.NextToken());
    EXPECT_EQ(p.Token(), "b");
    EXPECT_EQ(p.PreviousDelimiter(), "(");
    EXPECT_EQ(p.NextDelimiter(), ")");
}

TEST(ZkParse, TrimSetting) {
    ZkParse p = indexLineParser();
    p.setTrimTokens(false);
    EXPECT_EQ(tokens(p, " a ,\tb"), (std::vector<Found>{{" a ", 1, 3}, {"\tb", 5, 2}}));
    // Untrimmed blanks outside the quotes stay; the quotes still go.
    EXPECT_EQ(texts(p, " " + Q + "a" + Q + " "), (std::vector<std::string>{" a "}));
}

TEST(ZkParse, RulesChangedBetweenTokens) {
    ZkParse p;
    p.setDelimiters(",");
    ASSERT_TRUE(p.Parse("a,b;c;d,e"));
    EXPECT_EQ(p.Token(), "a");
    p.setDelimiters(",;");
    ASSERT_TRUE(p.NextToken());
    EXPECT_EQ(p.Token(), "b");
    ASSERT_TRUE(p.NextToken());
    EXPECT_EQ(p.Token(), "c");
}

TEST(ZkParse, Errors) {
    struct Case {
        std::function<void(ZkParse&)> call;
        long number;
        std::string text;
    };
    const std::vector<Case> cases = {
        {[](ZkParse& p) { p.Parse("a"); }, 2002,
         "zkErrSetDelimitersFirst: Delimiters must be set before calling Parse."},
        {[](ZkParse& p) { p.NextToken(); }, 2005,
         "zkErrCallParseFirst: NextToken cannot be called before calling Parse."},
        {[](ZkParse& p) { p.setQuotePairs("\"\"'"); }, 2003,
         "zkErrQuotePairsOdd: QuotePairs must contain an even number of characters."},
        {[](ZkParse& p) { p.setGroupPairs("(){"); }, 2004,
         "zkErrGroupPairsOdd: GroupPairs must contain an even number of characters."},
        {[](ZkParse& p) { p.setGroupPairs("()(]"); }, 2006,
         "zkErrGroupCharNotUnique: Each character in GroupPairs must be unique."},
        {[](ZkParse& p) { p.setGroupPairs("(("); }, 2006,
         "zkErrGroupCharNotUnique: Each character in GroupPairs must be unique."},
    };
    for (const auto& c : cases) {
        ZkParse p;
        testing::Raised e = raisedBy([&] { c.call(p); });
        EXPECT_EQ(e.number, c.number);
        EXPECT_EQ(e.description, c.text);
        EXPECT_EQ(e.source, "Lintova.ZkParse");
        EXPECT_EQ(zkStatus(e.number), static_cast<int32_t>(0x800A0000u + static_cast<uint32_t>(c.number)));
    }
    EXPECT_EQ(zkStatus(2002), static_cast<int32_t>(0x800A07D2u));
    EXPECT_EQ(zkStatus(2005), static_cast<int32_t>(0x800A07D5u));
    EXPECT_EQ(zkErrorText(14), "Out of string space");
    EXPECT_EQ(zkErrorText(64), "Bad Filename");
    EXPECT_EQ(zkErrorText(1000), "Invalid parameter");
    EXPECT_EQ(zkErrorText(2000), "zkErrStringTooLong: this method does not support strings this long.");
    EXPECT_EQ(zkErrorText(2001), "zkErrNumberTooLarge: cannot spell numbers with more than 15 digits.");
    EXPECT_EQ(zkErrorText(2007), "zkErrTooFewDigits: Specify a number of digits large enough for the result.");
    EXPECT_EQ(zkErrorText(1), "");
}

TEST(ZkParse, RejectedValuesKeepTheOldOnesAndFailedCallsChangeNothing) {
    ZkParse p = indexLineParser();
    p.setGroupPairs("()");
    EXPECT_EQ(errorOf([&] { p.setQuotePairs("'"); }), 2003);
    EXPECT_EQ(p.QuotePairs(), "\"\"");
    EXPECT_EQ(errorOf([&] { p.setGroupPairs("[]]["); }), 2006);
    EXPECT_EQ(p.GroupPairs(), "()");
    EXPECT_EQ(errorOf([&] { p.setGroupPairs("<"); }), 2004);
    EXPECT_EQ(p.GroupPairs(), "()");

    // Parse without delimiters leaves the current token where it was.
    ASSERT_TRUE(p.Parse("a,b"));
    p.setDelimiters("");
    EXPECT_EQ(errorOf([&] { p.Parse("x,y"); }), 2002);
    EXPECT_EQ(p.Token(), "a");
    p.setDelimiters(",");
    ASSERT_TRUE(p.NextToken());
    EXPECT_EQ(p.Token(), "b");

    // An empty value is stored as empty.
    p.setQuotePairs("");
    EXPECT_EQ(p.QuotePairs(), "");
    EXPECT_EQ(texts(p, "\"a,b\""), (std::vector<std::string>{"\"a", "b\""}));
}

}  // namespace
}  // namespace fg
