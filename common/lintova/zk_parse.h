// A tokenizer: splits one line into tokens by a set of delimiter characters,
// honouring quoted sections, nestable groups and an escape sequence, and hands
// the tokens out one at a time. The EDI document index reads its CSV lines
// with it.
//
// Positions and lengths count UTF-16 units. Failures raise fg::Error with the
// number and text of the zkErrors table and the source "Lintova.ZkParse".
#pragma once

#include "common/lintova/zk_errors.h"

#include <cstdint>
#include <string>

namespace fg {

class ZkParse {
public:
    ZkParse() = default;

    std::string Version() const { return kZkVersion; }

    // Every character is a delimiter.
    std::string Delimiters() const;
    void setDelimiters(const std::string& value);
    // (opener, closer) pairs; an odd length raises 2003 and keeps the old value.
    std::string QuotePairs() const;
    void setQuotePairs(const std::string& value);
    // (opener, closer) pairs of nestable groups; an odd length raises 2004, a
    // character used twice 2006; either keeps the old value.
    std::string GroupPairs() const;
    void setGroupPairs(const std::string& value);
    // An escape sequence of one or more characters.
    std::string Escape() const;
    void setEscape(const std::string& value);

    bool EmptyTokens() const { return emptyTokens_; }
    void setEmptyTokens(bool value) { emptyTokens_ = value; }
    bool RemoveQuotes() const { return removeQuotes_; }
    void setRemoveQuotes(bool value) { removeQuotes_ = value; }
    bool TrimTokens() const { return trimTokens_; }
    void setTrimTokens(bool value) { trimTokens_ = value; }
    bool DoubleQuoteRule() const { return doubleQuoteRule_; }
    void setDoubleQuoteRule(bool value) { doubleQuoteRule_ = value; }

    // The current token after trimming and quote removal, its length, and its
    // 1-based position in the source (0 when there is no current token).
    std::string Token() const;
    int32_t Length() const { return length_; }
    int32_t Position() const { return position_; }
    // The delimiter text before and after the current token.
    std::string PreviousDelimiter() const;
    std::string NextDelimiter() const;

    // Takes a copy of the source and finds its first token. Raises 2002 when
    // no delimiters are set (nothing changes then).
    bool Parse(const std::string& SourceStr);
    // Moves to the next token; False once the source is used up. Raises 2005
    // before the first Parse.
    bool NextToken();

private:
    using Index = int32_t;

    bool isDelimiter(char16_t c) const { return delimiters_.find(c) != std::u16string::npos; }
    bool isQuoteChar(char16_t c) const { return quotePairs_.find(c) != std::u16string::npos; }
    // The closer of the first pair whose opener is c, or 0 when c opens none.
    static char16_t closerOf(const std::u16string& pairs, char16_t c);
    bool escapeAt(Index i) const;
    Index delimiterRun(Index i) const;
    Index quoteSkip(Index opener, char16_t closer) const;
    Index groupClose(Index opener) const;
    void tokenEndScan();
    bool parse(const std::string& source);
    bool nextToken();
    void buildToken();

    std::u16string delimiters_;
    std::u16string quotePairs_;
    bool uniformQuote_ = false;
    std::u16string groupPairs_;
    std::u16string escape_;
    bool emptyTokens_ = true;
    bool removeQuotes_ = true;
    bool trimTokens_ = true;
    bool doubleQuoteRule_ = true;

    bool hasSource_ = false;
    std::u16string source_;
    Index sourceLength_ = 0;
    Index tokenStart_ = 0;  // -1: no current token
    Index tokenSpan_ = 0;
    Index previousDelimiterStart_ = 0;
    Index previousDelimiterLength_ = 0;
    Index scanPosition_ = 0;
    Index nextDelimiterLength_ = 0;

    std::u16string token_;
    int32_t length_ = 0;
    int32_t position_ = 0;
};

// A tokenizer set up for the CSV lines of an answer archive's index.csv:
// comma-delimited, double quotes removed (a doubled one kept as a quote),
// tokens trimmed, empty tokens kept, no escape and no groups.
ZkParse indexLineParser();

}  // namespace fg
