#include "telephony/host_entry.h"

#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/process/event_pump.h"
#include "platform/process/line_service.h"
#include "platform/text.h"
#include "platform/values.h"
#include "telephony/telephony_control.h"

#include <optional>

namespace fg {

namespace {

constexpr const char* kSource = "TelephonyHostEntry";

using Args = std::vector<std::string>;

struct Member {
    const char* name;
    std::size_t arity;
    std::string (*call)(TelephonyControl& control, Args& a);
};

std::string number(long value) { return fromNumber(static_cast<long long>(value)); }

// Every member a host can call with strings, in the order of the interface.
const Member kMembers[] = {
    {"dataDecision", 2, [](TelephonyControl& c, Args& a) { return number(c.dataDecision(a[0], a[1])); }},
    {"checkBeforeDecision", 2, [](TelephonyControl& c, Args& a) { return number(c.checkBeforeDecision(a[0], a[1])); }},
    {"checkFAXNo", 1, [](TelephonyControl& c, Args& a) { return number(c.checkFAXNo(a[0])); }},
    {"makeCareerData", 2, [](TelephonyControl& c, Args& a) { return number(c.makeCareerData(a[0], a[1])); }},
    {"SelFaxSendLog", 3, [](TelephonyControl& c, Args& a) { return fromBoolean(c.SelFaxSendLog(a[0], a[1], a[2])); }},
    {"makeTestFAXData", 1, [](TelephonyControl& c, Args& a) { return number(c.makeTestFAXData(a[0])); }},
    {"requestOrderBalance", 1, [](TelephonyControl& c, Args& a) { return number(c.requestOrderBalance(a[0])); }},
    {"makeYetUnattend", 1, [](TelephonyControl& c, Args& a) { return number(c.makeYetUnattend(a[0])); }},
    {"makeReSendFAX", 2, [](TelephonyControl& c, Args& a) { return number(c.makeReSendFAX(a[0], a[1])); }},
    {"deliveryestimateDecision", 2,
     [](TelephonyControl& c, Args& a) { return number(c.deliveryestimateDecision(a[0], a[1])); }},
    {"confirmOrderReport", 2, [](TelephonyControl& c, Args& a) { return number(c.confirmOrderReport(a[0], a[1])); }},
    {"makeOCRData", 2, [](TelephonyControl& c, Args& a) { return number(c.makeOCRData(a[0], a[1])); }},
};

constexpr const char* kStart = "RunTimeStart";
constexpr const char* kStop = "RunTimeStop";

// How many bytes of a bad request its log entry quotes: enough to tell it,
// and a host that sends noise cannot fill the log with it.
constexpr std::size_t kQuotedBytes = 200;

// The length of the well-formed UTF-8 character at `at`, 0 when there is none.
std::size_t characterAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t size = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                     : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (size == 0 || at + size > text.size() || !text::isUtf8(text.substr(at, size))) return 0;
    return size;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A field as a line carries it: "\\", "\t", "\n" and "\r" for those
// four, "\xHH" for every other control byte and every byte that is no part
// of a well-formed UTF-8 character, so that no NUL or broken text reaches
// the host. Stops before the first piece that would make it longer than
// `limit`, and answers whether the whole field went in.
bool escapeInto(std::string& out, std::string_view field, std::size_t limit = std::string::npos) {
    static const char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < field.size();) {
        const auto byte = static_cast<unsigned char>(field[i]);
        std::size_t size = byte < 0x20 || byte == 0x7F ? 1 : characterAt(field, i);
        std::string piece;
        switch (field[i]) {
        case '\\': piece = "\\\\"; break;
        case '\t': piece = "\\t"; break;
        case '\n': piece = "\\n"; break;
        case '\r': piece = "\\r"; break;
        default:
            if (size == 0 || byte < 0x20 || byte == 0x7F) {
                piece = {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
                size = 1;
            } else {
                piece = field.substr(i, size);
            }
        }
        if (out.size() + piece.size() > limit) return false;
        out += piece;
        i += size;
    }
    return true;
}

std::string escapeField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    escapeInto(out, field);
    return out;
}

std::string unescapeField(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size()) throw Error(errnum::InvalidProcedureCall, "フィールドの末尾に \\ があります");
        switch (field[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 'x': {
            int high = i + 2 < field.size() ? hexDigit(field[i + 1]) : -1;
            int low = high >= 0 ? hexDigit(field[i + 2]) : -1;
            if (low < 0) throw Error(errnum::InvalidProcedureCall, "\\x の後に 16 進数 2 桁がありません");
            out += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default: throw Error(errnum::InvalidProcedureCall, "不明なエスケープ \\" + escapeField(field.substr(i, 1)));
        }
    }
    return out;
}

// The beginning of a text that came from the host, escaped, in no more than
// kQuotedBytes; its length when it was cut.
std::string quoted(std::string_view text) {
    std::string out;
    if (!escapeInto(out, text, kQuotedBytes)) out += "... (" + std::to_string(text.size()) + " バイト)";
    return out;
}

TelephonyHostEntry::Answer failure(TelephonyHostEntry::Outcome outcome, const Error& error) {
    TelephonyErrorLog().writeError(error, true);
    return {outcome, {"ERR", number(error.number()), error.description()}};
}

Error lineTooLong() {
    return Error(errnum::OutOfMemory,
                 "要求の行が長すぎます (" + std::to_string(TelephonyHostEntry::kMaxRequestLine) + " バイトまで)", kSource);
}

TelephonyHostEntry::Answer badRequest(const std::string& description) {
    return failure(TelephonyHostEntry::Outcome::BadRequest, Error(errnum::InvalidProcedureCall, description, kSource));
}

TelephonyHostEntry::Answer wrongCount(const std::string& name, std::size_t expected, std::size_t given) {
    return badRequest(name + " の引数は " + std::to_string(expected) + " 個です (" + std::to_string(given) +
                      " 個ありました)");
}

// A marker that cannot be written does not stop the call, but the shutdown
// of the server will not wait for it: that is worth a line in the log.
std::string startMarker(TelephonyControl& control) {
    std::string marker = control.RunTimeStart();
    if (marker.empty())
        TelephonyErrorLog().writeError(
            Error(errnum::PathFileAccessError, "実行中ファイルを作れません (" + fs::programFolder() + ")", kSource), true);
    return marker;
}

}  // namespace

TelephonyHostEntry::TelephonyHostEntry(TelephonyControl& control) : control_(control) {}

TelephonyHostEntry::~TelephonyHostEntry() { releaseMarkers(); }

void TelephonyHostEntry::releaseMarkers() {
    for (const std::string& name : held_) control_.RunTimeStop(name);
    held_.clear();
}

TelephonyHostEntry::Answer TelephonyHostEntry::serveRequest(const std::vector<std::string>& request) {
    return dispatch(request, true);
}

TelephonyHostEntry::Answer TelephonyHostEntry::callOnce(const std::vector<std::string>& request) {
    return dispatch(request, false);
}

TelephonyHostEntry::Answer TelephonyHostEntry::dispatch(const std::vector<std::string>& request, bool serving) {
    const std::string name = request.empty() ? std::string() : request.front();
    Args args(request.empty() ? request.begin() : request.begin() + 1, request.end());

    const bool start = text::iequals(name, kStart), stop = text::iequals(name, kStop);
    if (start || stop) {
        if (!serving)
            return badRequest(name + " は常駐モード (--serve) でのみ受け付けます: 終了するプロセスの実行中ファイルは誰も保持しません");
        if (args.size() != (start ? 0u : 1u)) return wrongCount(name, start ? 0 : 1, args.size());
        if (start) {
            std::string marker = startMarker(control_);
            if (!marker.empty()) held_.insert(marker);
            return {Outcome::Answered, {marker}};
        }
        control_.RunTimeStop(args[0]);
        held_.erase(args[0]);
        return {Outcome::Answered, {"", args[0]}};
    }

    const Member* member = nullptr;
    for (const Member& m : kMembers)
        if (text::iequals(name, m.name)) member = &m;
    if (!member) return badRequest("そのような要求はありません: " + quoted(name));
    if (args.size() != member->arity) return wrongCount(member->name, member->arity, args.size());

    // A one-shot call holds a marker of its own for as long as it works.
    std::string marker = serving ? std::string() : startMarker(control_);
    Answer answer;
    try {
        std::string result = member->call(control_, args);
        answer.fields.push_back(std::move(result));
        answer.fields.insert(answer.fields.end(), args.begin(), args.end());
    } catch (...) {
        Error error = currentError();
        error.setSource(member->name);
        answer = failure(Outcome::Raised, error);
    }
    if (!marker.empty()) control_.RunTimeStop(marker);
    return answer;
}

bool TelephonyHostEntry::uploads(std::string_view member) {
    return text::iequals(member, "dataDecision") || text::iequals(member, "deliveryestimateDecision");
}

std::string TelephonyHostEntry::formatLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += '\t';
        line += escapeField(fields[i]);
    }
    return line + "\n";
}

std::vector<std::string> TelephonyHostEntry::parseLine(std::string_view line) {
    std::vector<std::string> fields;
    for (std::size_t start = 0;;) {
        std::size_t tab = line.find('\t', start);
        fields.push_back(unescapeField(line.substr(start, tab - start)));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    return fields;
}

int TelephonyHostEntry::serve(EventPump& pump, int in, int out) {
    const LineServiceEnd end = serveLines(
        pump, in, out, kMaxRequestLine,
        [this](std::string line) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            Answer answer;
            try {
                answer = serveRequest(parseLine(line));
            } catch (const Error& broken) {
                answer = badRequest("要求の行が不正です: " + broken.description() + ": " + quoted(line));
            }
            return formatLine(answer.fields);
        },
        // A line too long is one request refused; the next is served.
        [] { return formatLine(failure(Outcome::BadRequest, lineTooLong()).fields); });
    std::optional<Error> failure;
    switch (end) {
    case LineServiceEnd::InputEnded:
    case LineServiceEnd::Stopped: break;
    case LineServiceEnd::NoOutput:
        TelephonyErrorLog().writeError(Error(errnum::PathFileAccessError, "応答の出力を開けません", kSource), true);
        return 1;
    case LineServiceEnd::ReadFailed: failure = Error(errnum::PathFileAccessError, "要求を読めません", kSource); break;
    case LineServiceEnd::WriteFailed:
        failure = Error(errnum::PathFileAccessError, "応答を書けません: 相手が終了しています", kSource);
        break;
    case LineServiceEnd::LineTooLong: failure = lineTooLong(); break;
    }
    if (failure) TelephonyErrorLog().writeError(*failure, true);
    releaseMarkers();
    return failure ? 1 : 0;
}

}  // namespace fg
