#include "common/lintova/zk_parse.h"

#include "platform/text.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>
#include <vector>

namespace fg {

namespace {

const char* const kSource = "Lintova.ZkParse";

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// A failed allocation is the table's error 14.
template <class F>
auto guarded(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        throw zkError(zkErrOutOfStringSpace, kSource);
    } catch (const std::length_error&) {
        throw zkError(zkErrOutOfStringSpace, kSource);
    }
}

}  // namespace

// ---- rules --------------------------------------------------------------

std::string ZkParse::Delimiters() const { return text::toUtf8(delimiters_); }
std::string ZkParse::QuotePairs() const { return text::toUtf8(quotePairs_); }
std::string ZkParse::GroupPairs() const { return text::toUtf8(groupPairs_); }
std::string ZkParse::Escape() const { return text::toUtf8(escape_); }

void ZkParse::setDelimiters(const std::string& value) {
    delimiters_.clear();
    delimiters_ = guarded([&] { return text::toUtf16(value); });
}

void ZkParse::setQuotePairs(const std::string& value) {
    std::u16string pairs = guarded([&] {
        try {
            return text::toUtf16(value);
        } catch (...) {
            quotePairs_.clear();  // a put that cannot be copied leaves the rule empty
            uniformQuote_ = false;
            throw;
        }
    });
    if (pairs.size() % 2 != 0) throw zkError(zkErrQuotePairsOdd, kSource);
    quotePairs_ = std::move(pairs);
    uniformQuote_ = !quotePairs_.empty() && quotePairs_.find_first_not_of(quotePairs_[0]) == std::u16string::npos;
}

void ZkParse::setGroupPairs(const std::string& value) {
    std::u16string pairs = guarded([&] {
        try {
            return text::toUtf16(value);
        } catch (...) {
            groupPairs_.clear();
            throw;
        }
    });
    if (pairs.size() % 2 != 0) throw zkError(zkErrGroupPairsOdd, kSource);
    std::u16string sorted = guarded([&] { return pairs; });
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())
        throw zkError(zkErrGroupCharNotUnique, kSource);
    groupPairs_ = std::move(pairs);
}

void ZkParse::setEscape(const std::string& value) {
    escape_.clear();
    escape_ = guarded([&] { return text::toUtf16(value); });
}

// ---- found token ----------------------------------------------------------

std::string ZkParse::Token() const {
    return guarded([&] { return text::toUtf8(token_); });
}

std::string ZkParse::PreviousDelimiter() const {
    if (!hasSource_ || previousDelimiterLength_ <= 0) return {};
    return guarded([&] {
        return text::toUtf8(std::u16string_view(source_).substr(static_cast<std::size_t>(previousDelimiterStart_),
                                                                static_cast<std::size_t>(previousDelimiterLength_)));
    });
}

std::string ZkParse::NextDelimiter() const {
    if (!hasSource_ || nextDelimiterLength_ <= 0 || scanPosition_ >= sourceLength_) return {};
    return guarded([&] {
        return text::toUtf8(std::u16string_view(source_).substr(static_cast<std::size_t>(scanPosition_),
                                                                static_cast<std::size_t>(nextDelimiterLength_)));
    });
}

// ---- character tests ------------------------------------------------------

char16_t ZkParse::closerOf(const std::u16string& pairs, char16_t c) {
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2)
        if (pairs[i] == c) return pairs[i + 1];
    return 0;
}

bool ZkParse::escapeAt(Index i) const {
    if (escape_.empty()) return false;
    auto n = static_cast<Index>(escape_.size());
    if (i < 0 || n > sourceLength_ - i) return false;
    return std::u16string_view(source_).substr(static_cast<std::size_t>(i), escape_.size()) == escape_;
}

ZkParse::Index ZkParse::delimiterRun(Index i) const {
    if (emptyTokens_) return i < sourceLength_ && isDelimiter(source_[static_cast<std::size_t>(i)]) ? 1 : 0;
    Index n = 0;
    while (i + n < sourceLength_ && isDelimiter(source_[static_cast<std::size_t>(i + n)])) ++n;
    return n;
}

// From an opener to its closer (or the end). A doubled closer under the
// double-quote rule and an escaped character do not close.
ZkParse::Index ZkParse::quoteSkip(Index opener, char16_t closer) const {
    auto escLen = static_cast<Index>(escape_.size());
    Index j = opener + 1;
    while (j < sourceLength_) {
        char16_t c = source_[static_cast<std::size_t>(j)];
        if (c == closer) {
            if (doubleQuoteRule_ && j + 1 < sourceLength_ && source_[static_cast<std::size_t>(j + 1)] == closer) {
                j += 2;
                continue;
            }
            return j;
        }
        if (escapeAt(j)) {
            j += escLen + 1;
            continue;
        }
        ++j;
    }
    return sourceLength_;
}

// From a group opener to its closer (or the end), passing over nested groups.
// The nesting is followed with a stack of its own rather than by recursion:
// a line of a million openers is input like any other, not a stack overflow.
ZkParse::Index ZkParse::groupClose(Index opener) const {
    std::vector<char16_t> closers{closerOf(groupPairs_, source_[static_cast<std::size_t>(opener)])};
    for (Index j = opener + 1; j < sourceLength_; ++j) {
        char16_t c = source_[static_cast<std::size_t>(j)];
        if (c == closers.back()) {
            closers.pop_back();
            if (closers.empty()) return j;
        } else if (char16_t inner = closerOf(groupPairs_, c)) {
            closers.push_back(inner);
        }
    }
    return sourceLength_;
}

void ZkParse::tokenEndScan() {
    nextDelimiterLength_ = 0;
    Index j = scanPosition_;
    while (j < sourceLength_) {
        char16_t c = source_[static_cast<std::size_t>(j)];
        if (isDelimiter(c)) {
            nextDelimiterLength_ = delimiterRun(j);
            break;
        }
        if (char16_t closer = closerOf(quotePairs_, c)) {
            j = quoteSkip(j, closer) + 1;
            continue;
        }
        if (closerOf(groupPairs_, c)) {
            nextDelimiterLength_ = 1;  // the opener is the token's next delimiter
            break;
        }
        // An escape passes over its first character and the one after it.
        j += escapeAt(j) ? 2 : 1;
    }
    scanPosition_ = j < sourceLength_ ? j : sourceLength_;
    tokenSpan_ = scanPosition_ - tokenStart_;
}

// ---- Parse and NextToken ----------------------------------------------------

bool ZkParse::Parse(const std::string& SourceStr) {
    if (delimiters_.empty()) throw zkError(zkErrSetDelimitersFirst, kSource);
    try {
        return parse(SourceStr);
    } catch (const std::bad_alloc&) {
        // The source is gone; the object reads as having no token until the
        // next Parse succeeds.
        hasSource_ = false;
        source_.clear();
        sourceLength_ = 0;
        tokenStart_ = -1;
        previousDelimiterLength_ = nextDelimiterLength_ = 0;
        token_.clear();
        length_ = position_ = 0;
        throw zkError(zkErrOutOfStringSpace, kSource);
    }
}

bool ZkParse::parse(const std::string& SourceStr) {
    std::u16string source = text::toUtf16(SourceStr);
    if (source.size() > static_cast<std::size_t>(std::numeric_limits<Index>::max() - 2))
        throw zkError(zkErrStringTooLong, kSource);
    source_ = std::move(source);
    hasSource_ = true;
    sourceLength_ = static_cast<Index>(source_.size());
    tokenStart_ = 0;
    previousDelimiterStart_ = 0;
    scanPosition_ = 0;
    tokenSpan_ = 0;
    previousDelimiterLength_ = 0;
    nextDelimiterLength_ = 0;

    bool found = true;
    if (sourceLength_ == 0) {
        tokenStart_ = -1;
        found = false;
    } else if (closerOf(groupPairs_, source_[0])) {
        if (emptyTokens_) {
            nextDelimiterLength_ = 1;  // an empty first token before the group
        } else {
            Index closer = groupClose(0);
            tokenStart_ = 1;
            previousDelimiterLength_ = 1;
            scanPosition_ = closer;
            nextDelimiterLength_ = 1 + delimiterRun(closer + 1);
            tokenSpan_ = closer - 1;
        }
    } else if (!isDelimiter(source_[0])) {
        tokenEndScan();
    } else if (emptyTokens_) {
        nextDelimiterLength_ = 1;  // an empty first token before the delimiter
    } else {
        Index run = delimiterRun(0);
        if (run >= sourceLength_) {
            tokenStart_ = -1;
            scanPosition_ = sourceLength_;
            found = false;
        } else {
            previousDelimiterLength_ = run;
            tokenStart_ = run;
            scanPosition_ = run;
            tokenEndScan();
        }
    }
    buildToken();
    return found;
}

bool ZkParse::NextToken() {
    if (!hasSource_) throw zkError(zkErrCallParseFirst, kSource);
    return guarded([&] { return nextToken(); });
}

bool ZkParse::nextToken() {
    if (scanPosition_ >= sourceLength_ || tokenStart_ < 0) {
        previousDelimiterLength_ = 0;
        nextDelimiterLength_ = 0;
        tokenStart_ = -1;
        buildToken();
        return false;
    }
    previousDelimiterStart_ = scanPosition_;
    tokenStart_ += tokenSpan_ + nextDelimiterLength_;
    previousDelimiterLength_ = nextDelimiterLength_;

    bool found = true;
    if (closerOf(groupPairs_, source_[static_cast<std::size_t>(scanPosition_)])) {
        Index closer = groupClose(scanPosition_);
        scanPosition_ = closer;
        nextDelimiterLength_ = emptyTokens_ ? 1 : 1 + delimiterRun(closer + 1);
        tokenSpan_ = closer - tokenStart_;
    } else {
        scanPosition_ += nextDelimiterLength_;
        if (scanPosition_ >= sourceLength_) {
            scanPosition_ = sourceLength_;
            tokenSpan_ = 0;
            if (emptyTokens_ && nextDelimiterLength_ != 0) {
                nextDelimiterLength_ = 0;  // an empty last token after a trailing delimiter
            } else {
                previousDelimiterLength_ = 0;
                nextDelimiterLength_ = 0;
                tokenStart_ = -1;
                found = false;
            }
        } else {
            tokenEndScan();
        }
    }
    buildToken();
    return found;
}

// ---- the token ----------------------------------------------------------------

void ZkParse::buildToken() {
    token_.clear();
    length_ = 0;
    position_ = 0;
    if (tokenStart_ < 0) return;

    Index begin = tokenStart_;
    Index end = tokenStart_ + tokenSpan_;
    if (end > sourceLength_) end = sourceLength_;
    if (trimTokens_) {
        // Trailing blanks first: a token of blanks only keeps its own position.
        while (end > begin && isBlank(source_[static_cast<std::size_t>(end - 1)])) --end;
        while (begin < end && isBlank(source_[static_cast<std::size_t>(begin)])) ++begin;
    }
    position_ = begin + 1;
    std::u16string_view rest = std::u16string_view(source_).substr(static_cast<std::size_t>(begin),
                                                                    static_cast<std::size_t>(end - begin));

    if (!removeQuotes_ || quotePairs_.empty()) {
        token_.assign(rest);
        length_ = static_cast<int32_t>(token_.size());
        return;
    }
    if (rest.size() == 2 && closerOf(quotePairs_, rest[0]) == rest[1] && rest[1] != 0) return;

    // Quotes are dropped wherever they stand. A quote right after a dropped
    // one is kept (the doubled quote of a quoted field) unless the
    // double-quote rule is off.
    token_.reserve(rest.size());
    bool pending = false;
    bool positioned = false;
    auto copy = [&](std::size_t i) {
        if (!positioned) {
            // The token's position is that of its first character as handed
            // out, an escape included.
            position_ = begin + static_cast<Index>(i) + 1;
            positioned = true;
        }
        token_.push_back(rest[i]);
    };
    for (std::size_t i = 0; i < rest.size(); ++i) {
        char16_t c = rest[i];
        if (pending) {
            pending = false;
            if (!(isQuoteChar(c) && !doubleQuoteRule_)) copy(i);
            continue;
        }
        bool escape = escapeAt(begin + static_cast<Index>(i));
        if (uniformQuote_ && isQuoteChar(c)) {
            pending = true;
        } else if (escape) {
            copy(i);
            if (i + 1 < rest.size()) copy(++i);
        } else if (isQuoteChar(c)) {
            pending = true;
        } else {
            copy(i);
        }
    }
    length_ = static_cast<int32_t>(token_.size());
}

ZkParse indexLineParser() {
    ZkParse parser;
    parser.setDelimiters(",");
    parser.setQuotePairs("\"\"");
    parser.setEscape("");
    parser.setGroupPairs("");
    parser.setRemoveQuotes(true);
    parser.setEmptyTokens(true);
    parser.setTrimTokens(true);
    parser.setDoubleQuoteRule(true);
    return parser;
}

}  // namespace fg
