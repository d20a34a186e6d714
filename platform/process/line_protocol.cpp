#include "platform/process/line_protocol.h"

#include "platform/error.h"

#include <charconv>

namespace fg::childproto {

namespace {

Error protocolError(const std::string& what) {
    return Error(errnum::InvalidProcedureCall, "子プロセスとの通信の行が不正です: " + what, "ChildObject");
}

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos) {
            parts.push_back(line.substr(start));
            return parts;
        }
        parts.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
}

template <class T>
T parseNumber(std::string_view text, const char* what) {
    T value{};
    auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size())
        throw protocolError(std::string(what) + " \"" + std::string(text) + "\"");
    return value;
}

}  // namespace

std::string escapeField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (char c : field) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string unescapeField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        char c = field[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == field.size()) throw protocolError("escape at the end of a field");
        switch (field[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default: throw protocolError(std::string("unknown escape \\") + field[i]);
        }
    }
    return out;
}

std::string encode(const Message& m) {
    std::string line;
    auto field = [&line](std::string_view f) {
        line += '\t';
        line += escapeField(f);
    };
    switch (m.kind) {
    case Message::Kind::Request:
        line = "REQ";
        field(std::to_string(m.id));
        field(m.member);
        for (const auto& v : m.values) field(v);
        break;
    case Message::Kind::Answer:
        line = "ANS";
        field(std::to_string(m.id));
        if (m.ok) {
            field("OK");
            for (const auto& v : m.values) field(v);
        } else {
            field("ERR");
            field(std::to_string(m.errorNumber));
            field(m.errorDescription);
            field(m.errorSource);
        }
        break;
    case Message::Kind::Event:
        line = "EVT";
        field(m.member);
        for (const auto& v : m.values) field(v);
        break;
    case Message::Kind::Release:
        line = "REL";
        break;
    }
    line += '\n';
    return line;
}

Message decode(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    auto parts = splitTabs(line);
    Message m;
    const std::string_view verb = parts[0];
    if (verb == "REL") {
        if (parts.size() != 1) throw protocolError("REL with fields");
        m.kind = Message::Kind::Release;
        return m;
    }
    if (verb == "REQ") {
        if (parts.size() < 3) throw protocolError("REQ without member");
        m.kind = Message::Kind::Request;
        m.id = parseNumber<std::uint64_t>(parts[1], "call number");
        m.member = unescapeField(parts[2]);
        for (std::size_t i = 3; i < parts.size(); ++i) m.values.push_back(unescapeField(parts[i]));
        return m;
    }
    if (verb == "ANS") {
        if (parts.size() < 3) throw protocolError("ANS without status");
        m.kind = Message::Kind::Answer;
        m.id = parseNumber<std::uint64_t>(parts[1], "call number");
        if (parts[2] == "OK") {
            for (std::size_t i = 3; i < parts.size(); ++i) m.values.push_back(unescapeField(parts[i]));
            return m;
        }
        if (parts[2] == "ERR") {
            if (parts.size() != 6) throw protocolError("ERR needs number, description and source");
            m.ok = false;
            m.errorNumber = parseNumber<long>(parts[3], "error number");
            m.errorDescription = unescapeField(parts[4]);
            m.errorSource = unescapeField(parts[5]);
            return m;
        }
        throw protocolError("answer status \"" + std::string(parts[2]) + "\"");
    }
    if (verb == "EVT") {
        if (parts.size() < 2 || parts[1].empty()) throw protocolError("EVT without name");
        m.kind = Message::Kind::Event;
        m.member = unescapeField(parts[1]);
        for (std::size_t i = 2; i < parts.size(); ++i) m.values.push_back(unescapeField(parts[i]));
        return m;
    }
    throw protocolError("unknown message \"" + std::string(verb.substr(0, 16)) + "\"");
}

void LineBuffer::append(const char* data, std::size_t size) {
    if (start_ > 0 && start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    buffer_.append(data, size);
    if (buffer_.find('\n', start_) == std::string::npos && buffer_.size() - start_ > maxLine_)
        throw Error(errnum::OutOfMemory, "子プロセスとの通信の行が長すぎます", "ChildObject");
}

std::optional<std::string> LineBuffer::nextLine() {
    std::size_t nl = buffer_.find('\n', start_);
    if (nl == std::string::npos) {
        // Keep the unfinished tail at the front, so the buffer does not grow
        // by the lines already handed out.
        if (start_ > 0) {
            buffer_.erase(0, start_);
            start_ = 0;
        }
        return std::nullopt;
    }
    if (nl - start_ > maxLine_) throw Error(errnum::OutOfMemory, "子プロセスとの通信の行が長すぎます", "ChildObject");
    std::string line = buffer_.substr(start_, nl - start_);
    start_ = nl + 1;
    return line;
}

void LineBuffer::skipLine() {
    std::size_t nl = buffer_.find('\n', start_);
    start_ = nl == std::string::npos ? buffer_.size() : nl + 1;
}

}  // namespace fg::childproto
