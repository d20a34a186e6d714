#include "platform/fax_engine/modem_fax_engine.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/fax_engine/g3_codec.h"
#include "platform/fax_engine/modem_ports.h"
#include "platform/fax_engine/serial_line.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/wait_bounds.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace fg::fax {

using std::chrono::milliseconds;
using Steady = std::chrono::steady_clock;

namespace {

// Bounds on the modem, in the system's time. Each is longer than what the
// modem itself allows for the step, so that a working modem always answers
// first and only a modem that has stopped answering meets them.
constexpr milliseconds kCommandBound{10000};    // an ordinary command
constexpr milliseconds kCallBound{90000};       // dialling or answering until the fax connection
constexpr milliseconds kPageStartBound{60000};  // AT+FDT / AT+FDR until CONNECT (training included)
constexpr milliseconds kXonBound{3000};         // Class 2: the XON after CONNECT (not every modem sends it)
constexpr milliseconds kPostPageBound{90000};   // end of page until the far end's page status
constexpr milliseconds kHangUpBound{5000};      // ATH0 after a call that did not end by itself
// The check that a modem is back in command state after DTR dropped: AT
// this long, a few times, as a modem that resets on the drop takes no
// command for a moment; then the answers it still owed come within this
// much quiet, and are dropped.
constexpr milliseconds kCheckBound{3000};
constexpr int kCheckTries = 3;
constexpr milliseconds kLateAnswerQuiet{1000};
// PortClose wakes the waits of its port's call; waits are cut into slices
// only so that a port the engine's end marks closed ends its call too. Each
// slice wakes the call's thread: shorter ones cost processor time on every
// page (a page's wait for its answer spans its whole line time).
constexpr milliseconds kSlice{5000};

constexpr std::size_t kMaxLine = 256;                    // a longer answer line is garbage
constexpr std::size_t kMaxInfoLines = 64;                // answer lines kept before a final result
constexpr std::size_t kMaxPageBytes = 8u * 1024 * 1024;  // a received page beyond this is refused
constexpr int kPageTries = 3;                            // sends of a page the far end refuses
// Page data goes to the modem in pieces this large (about four seconds of a
// 14400 bit/s line), with a look for the modem leaving the call after each.
constexpr std::size_t kPieceBytes = 8192;
constexpr char DLE = 0x10, ETX = 0x03, XON = 0x11, DC2 = 0x12, SUB = 0x1a;

enum class Final { Ok, Connect, Error, Busy, NoAnswer, NoCarrier, NoDialTone, Ring, TimedOut, Lost, Closed };

struct Answer {
    Final final = Final::TimedOut;
    std::vector<std::string> info;  // the lines before the final result
};

bool isClass20(int modemClass) { return modemClass == 3; }
const char* className(int modemClass) { return isClass20(modemClass) ? "class 2.0" : "class 2"; }

// The value after "<prefix>" in the first line that has it.
std::optional<std::string> valueOf(const std::vector<std::string>& lines, const char* prefix) {
    for (const auto& l : lines)
        if (l.rfind(prefix, 0) == 0) return text::trimBlanks(l.substr(std::string(prefix).size()));
    return std::nullopt;
}

// The leading number of a value, in a base; nullopt when it has none.
std::optional<long> leadingNumber(const std::string& value, int base) {
    std::size_t n = 0;
    while (n < value.size() && n < 6 && std::isxdigit(static_cast<unsigned char>(value[n])) &&
           (base == 16 || std::isdigit(static_cast<unsigned char>(value[n]))))
        ++n;
    if (n == 0) return std::nullopt;
    return std::stol(value.substr(0, n), nullptr, base);
}

// The hang-up code the modem reported. Class 2 writes it in decimal digits
// that read as the hexadecimal code of Class 2.0 ("+FHNG:52" is 0x52, and
// "+FHNG:100" 0xA0).
std::optional<std::int32_t> hangupIn(const std::vector<std::string>& lines) {
    if (auto v = valueOf(lines, "+FHS:"))
        if (auto n = leadingNumber(*v, 16)) return static_cast<std::int32_t>(*n & 0xff);
    if (auto v = valueOf(lines, "+FHNG:"))
        if (auto n = leadingNumber(*v, 10)) return static_cast<std::int32_t>(((*n / 10) * 16 + *n % 10) & 0xff);
    return std::nullopt;
}

// The far end's station identifier, as text a log can hold.
std::optional<std::string> stationIdIn(const std::vector<std::string>& lines, const char* classic, const char* newer) {
    auto v = valueOf(lines, classic);
    if (!v) v = valueOf(lines, newer);
    if (!v) return std::nullopt;
    std::string id;
    for (char c : *v)
        if (c != '"' && c >= 0x20 && c < 0x7f && id.size() < 20) id += c;
    return text::trimBlanks(id);
}

// What the far end said of a page: odd is received (MCF, RTP, PIP), even is
// refused (RTN, PIN).
std::optional<long> pageStatusIn(const std::vector<std::string>& lines) {
    auto v = valueOf(lines, "+FPTS:");
    if (!v) v = valueOf(lines, "+FPS:");
    if (!v) return std::nullopt;
    return leadingNumber(*v, 10);
}

// The session a modem reports before a page (+FDCS: / +FCS:), or the far
// end's capabilities after the dial (+FDIS: / +FIS:): the vertical
// resolution (Class 2: 0 normal, 1 fine; Class 2.0 a bit field, 0 and 8
// normal) and the width setting.
struct Session {
    bool fine = true;
    long width = 0;
};
std::optional<Session> sessionIn(const std::vector<std::string>& lines, bool class20, const char* classic = "+FDCS:",
                                 const char* newer = "+FCS:") {
    auto v = valueOf(lines, class20 ? newer : classic);
    if (!v) return std::nullopt;
    const std::vector<std::string> fields = text::split(*v, ',');
    if (fields.empty()) return std::nullopt;
    auto vr = leadingNumber(text::trimBlanks(fields[0]), class20 ? 16 : 10);
    if (!vr) return std::nullopt;
    Session session;
    session.fine = *vr != 0 && !(class20 && *vr == 8);
    if (fields.size() > 2) session.width = leadingNumber(text::trimBlanks(fields[2]), 10).value_or(0);
    return session;
}

// The pels of a line at a width setting (T.30: 0 A4, 1 B4, 2 A3, 3 A5, 4 A6).
int pelsOfWidth(long width) {
    static constexpr int kPels[] = {kFaxWidth, 2048, 2432, 1216, 864};
    return width >= 0 && width < 5 ? kPels[width] : kFaxWidth;
}

// A fine page for a normal-resolution session: every other line, so that
// it prints whole, at its height on paper, and not at twice it.
std::string everyOtherLine(const std::string& page) {
    const BilevelImage fine = decodeG3(page);
    BilevelImage normal(fine.width, (fine.height + 1) / 2);
    for (int y = 0; y < normal.height; ++y) std::memcpy(normal.row(y), fine.row(2 * y), fine.stride);
    return encodeG3(normal, PageEnd::Rtc);
}

// Whether a page that came after a refused one is the same page sent again:
// the same coding, of the same length, which line noise on the damaged copy
// changed in places but not all through.
bool sameCodedPage(const std::string& damaged, const std::string& next) {
    if (damaged.empty() || damaged.size() != next.size()) return false;
    std::size_t same = 0;
    for (std::size_t i = 0; i < next.size(); ++i) same += damaged[i] == next[i];
    return same * 2 >= next.size();
}

// Text that may stand in a quoted modem parameter.
std::string quotable(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c >= 0x20 && c < 0x7f && c != '"' && out.size() < 20) out += c;
    return out;
}

// The page data as the modem takes it: every DLE doubled. Found a stretch
// at a time, as they are rare in coded pages.
std::string withDleDoubled(std::string_view page) {
    std::string out;
    out.reserve(page.size() + page.size() / 128 + 16);
    while (!page.empty()) {
        const void* dle = std::memchr(page.data(), DLE, page.size());
        const std::size_t n = dle ? static_cast<std::size_t>(static_cast<const char*>(dle) - page.data()) + 1 : page.size();
        out.append(page.data(), n);
        if (dle) out += DLE;
        page.remove_prefix(n);
    }
    return out;
}

// Turns the bits of each byte round (most significant bit first to least
// and back), eight bytes at a time: swapping halves, quarters and single
// bits within every byte of a word at once.
void reverseBitOrder(std::string& data) {
    auto turn = [](std::uint64_t w) {
        w = (w >> 1 & 0x5555555555555555u) | (w & 0x5555555555555555u) << 1;
        w = (w >> 2 & 0x3333333333333333u) | (w & 0x3333333333333333u) << 2;
        return (w >> 4 & 0x0F0F0F0F0F0F0F0Fu) | (w & 0x0F0F0F0F0F0F0F0Fu) << 4;
    };
    std::size_t at = 0;
    for (; at + 8 <= data.size(); at += 8) {
        std::uint64_t w;
        std::memcpy(&w, data.data() + at, 8);
        w = turn(w);
        std::memcpy(data.data() + at, &w, 8);
    }
    for (; at < data.size(); ++at)
        data[at] = static_cast<char>(turn(static_cast<unsigned char>(data[at])));
}

// How a received page reads. A Class 2 modem hands the data over most
// significant bit first as a rule, so that order is tried first there; the
// other is read only for a page that does not read cleanly in it.
G3DecodeReport bitOrderOf(const std::string& page, bool class20) {
    if (!class20) {
        try {
            G3DecodeReport report = inspectG3(page, BitOrder::MsbFirst);
            if (report.damagedLines == 0) return report;
        } catch (const Error&) {
            // Read in either order below.
        }
    }
    return inspectG3(page);
}

std::string printable(std::string_view bytes) {
    std::string out;
    for (char c : bytes.substr(0, 120)) out += (c >= 0x20 && c < 0x7f) ? c : '?';
    return out;
}

}  // namespace

struct ModemFaxEngine::Port : CallState {
    std::string tag;  // "COM1"
    std::unique_ptr<SerialLine> line;
    milliseconds ringTimeout{60000};
    // What the modem sent and no operation has taken yet (a RING that came
    // with the end of an answer, say); used by one operation at a time, as
    // are the values below it.
    std::string pending;
    bool skipping = false;  // inside an overlong line
    bool lfOwed = false;    // the last answer line ended with a CR whose LF has not come yet
    // The set-up commands the modem has taken since its initialisation, in
    // order: a call sends only those that differ.
    std::vector<std::string> setUp;
    // The modem holds the host back with XOFF (a Class 2.0 modem that
    // refuses RTS/CTS); a Class 2 modem may do so whatever its profile.
    bool xonXoff = false;

    // guarded by mutex:
    Settings settings;
    int detectedClass = 0;  // what AT+FCLASS=? offered: 2, 3 (2.0), 0 not asked yet
    bool offers2 = false, offers20 = false;  // the classes it offered
};

namespace {

// A point of real time a bound of the system's time from now.
Steady::time_point deadlineIn(milliseconds bound) { return Steady::now() + clock().realDuration(bound); }

// The command and answer dialogue with the modem of one port, on the thread
// of the one operation under way.
class Dialogue {
public:
    using Trace = std::function<void(const std::string&)>;
    Dialogue(ModemFaxEngine::Port& port, Trace trace) : port_(port), trace_(std::move(trace)) {}

    // Sends a command line and waits for its final result. What came
    // before the line answers none of it and is dropped first: a late answer
    // to a command given up on would else be taken for this one's, and every
    // answer after it for the command before. A call begins with a command,
    // so it begins with nothing stale either.
    Answer command(const std::string& line, milliseconds bound, bool digitResults = false) {
        dropStale();
        trace_(port_.tag + " > " + line);
        lastCommand_ = line;
        if (Final f = write(line + "\r", deadlineIn(kCommandBound)); f != Final::Ok) return Answer{f, {}};
        return await(bound, false, digitResults);
    }

    // Reads answer lines until a final result or the bound. With
    // digitResults, "0" and "4" stand for OK and ERROR as well (a modem
    // whose profile gives result codes as digits).
    Answer await(milliseconds bound, bool ringIsFinal = false, bool digitResults = false) {
        Answer answer;
        const auto deadline = deadlineIn(bound);
        for (;;) {
            std::string line;
            Final f = nextLine(deadline, line);
            if (f != Final::Ok) {
                answer.final = f;
                gaveUp_ = gaveUp_ || f == Final::TimedOut;
                trace_(port_.tag + " < (" +
                       (f == Final::TimedOut ? "no answer" : f == Final::Closed ? "port closed" : "line lost") + ")");
                return answer;
            }
            if (line == lastCommand_) continue;  // the modem's echo
            trace_(port_.tag + " < " + line);
            if (std::optional<Final> final = finalOf(line, ringIsFinal, digitResults)) {
                answer.final = *final;
                return answer;
            }
            if (answer.info.size() < kMaxInfoLines) answer.info.push_back(line);
        }
    }

    // Writes bytes (commands or page data) by a deadline. Page data the
    // modem holds back is watched for the modem leaving the call meanwhile
    // (NoCarrier): a modem that sent XOFF and then lost the call may never
    // send the XON. A write that times out leaves the modem in a state not
    // known, which the hang-up mends.
    Final write(std::string_view bytes, Steady::time_point deadline, bool page = false) {
        while (!bytes.empty()) {
            if (port_.closed) return Final::Closed;
            if (Steady::now() >= deadline) {
                gaveUp_ = true;
                return Final::TimedOut;
            }
            // What a slice did not write (the modem holding the data back)
            // stays at the front for the next one.
            const std::size_t before = bytes.size();
            if (port_.line->write(bytes, slice(deadline)) == SerialLine::Io::Lost) return Final::Lost;
            if (page && bytes.size() == before && callEndedWhileWriting()) return Final::NoCarrier;
        }
        return Final::Ok;
    }

    // Waits for one of the bytes, dropping what comes before it.
    Final waitForByteOf(std::string_view wanted, milliseconds bound) {
        const auto deadline = deadlineIn(bound);
        for (;;) {
            if (auto at = pending_.find_first_of(wanted); at != std::string::npos) {
                pending_.erase(0, at + 1);
                return Final::Ok;
            }
            pending_.clear();
            if (Final f = readMore(deadline); f != Final::Ok) return f;
        }
    }

    // Reads a page's data up to DLE ETX, removing the DLE doubling. Error
    // for a page beyond kMaxPageBytes. The data between DLEs (nearly all of
    // it) is taken a stretch at a time.
    Final readPage(std::string& page, Steady::time_point deadline) {
        bool afterDle = false;
        for (;;) {
            // Only the LF of the CONNECT line's CR LF goes; the page's own
            // bytes may be LFs.
            if (lfOwed_ && !pending_.empty()) {
                lfOwed_ = false;
                if (pending_[0] == '\n') pending_.erase(0, 1);
            }
            std::string_view in = pending_;
            while (!in.empty()) {
                if (afterDle) {
                    afterDle = false;
                    const char c = in.front();
                    in.remove_prefix(1);
                    if (c == DLE) {
                        page += DLE;
                    } else if (c == SUB) {  // a modem may send two DLE bytes so
                        page.append(2, DLE);
                    } else if (c == ETX) {
                        pending_.erase(0, pending_.size() - in.size());
                        return Final::Ok;
                    }
                    // Any other DLE pair is a modem's note inside the data.
                    continue;
                }
                const void* dle = std::memchr(in.data(), DLE, in.size());
                const std::size_t n = dle ? static_cast<std::size_t>(static_cast<const char*>(dle) - in.data()) : in.size();
                page.append(in.data(), n);
                in.remove_prefix(n);
                if (dle) {
                    afterDle = true;
                    in.remove_prefix(1);
                }
            }
            pending_.clear();
            if (page.size() > kMaxPageBytes) return Final::Error;
            if (Final f = readMore(deadline); f != Final::Ok) return f;
        }
    }

    // Takes what has come without waiting (answers that arrive while a page
    // is written); true when the modem has left the call.
    bool callEndedWhileWriting() {
        std::string bytes;
        if (port_.line->read(bytes, Steady::now()) == SerialLine::Io::Lost) return true;
        pending_ += bytes;
        if (pending_.size() > 4 * kMaxLine) pending_.erase(0, pending_.size() - 4 * kMaxLine);
        for (const char* end : {"NO CARRIER", "+FHNG:", "+FHS:", "ERROR"})
            if (pending_.find(end) != std::string::npos) return true;
        return false;
    }

    // Whether a wait of this operation ended without its answer, which the
    // modem may still send.
    bool gaveUp() const { return gaveUp_; }

    // Reads and drops the answer lines that still come, until the line has
    // been quiet for `quiet`.
    void dropLateAnswers(milliseconds quiet) {
        for (std::size_t n = 0; n < kMaxInfoLines; ++n) {
            std::string line;
            if (nextLine(deadlineIn(quiet), line) != Final::Ok) return;
            trace_(port_.tag + " < " + line + " (late, dropped)");
        }
    }

private:
    void dropStale() {
        std::string stale = std::exchange(pending_, std::string());
        skipping_ = false;
        lfOwed_ = false;
        // What has come meanwhile, without waiting; a modem that keeps
        // talking has the rest thrown away unread.
        for (int n = 0; n < 16 && port_.line->read(stale, Steady::now()) == SerialLine::Io::Ok; ++n) {
        }
        port_.line->discardInput();
        for (char& c : stale)
            if (c == '\r' || c == '\n') c = ' ';
        stale = text::trimBlanks(printable(stale));
        if (!stale.empty()) trace_(port_.tag + " < (dropped, answers no command: " + stale + ")");
    }

    // Waits are cut into slices (see kSlice).
    static Steady::time_point slice(Steady::time_point deadline) {
        return std::min(deadline, Steady::now() + clock().realDuration(kSlice));
    }

    // Adds what the modem sends to pending_, read straight into it: a
    // page's data comes a read at a time. One look at the clock a read, for
    // the end of its wait.
    Final readMore(Steady::time_point deadline) {
        if (port_.closed) return Final::Closed;
        const auto now = Steady::now();
        if (now >= deadline) return Final::TimedOut;
        switch (port_.line->read(pending_, std::min(deadline, now + clock().realDuration(kSlice)))) {
            case SerialLine::Io::Ok: return Final::Ok;
            case SerialLine::Io::Lost: return Final::Lost;
            case SerialLine::Io::TimedOut: return port_.closed ? Final::Closed : Final::Ok;
        }
        return Final::Lost;
    }

    // The next answer line: the text between line ends, with the bytes
    // that are no text (XON, XOFF, noise) dropped; an overlong line is
    // dropped whole.
    Final nextLine(Steady::time_point deadline, std::string& line) {
        for (;;) {
            std::size_t end = pending_.find_first_of("\r\n");
            if (end == std::string::npos && pending_.size() > kMaxLine) {
                trace_(port_.tag + " < (overlong line dropped: " + printable(pending_) + ")");
                pending_.clear();
                skipping_ = true;
            }
            if (end == std::string::npos) {
                if (Final f = readMore(deadline); f != Final::Ok) return f;
                continue;
            }
            std::string raw = pending_.substr(0, end);
            // CR LF ends one line: the LF must not stay for data that follows
            // a CONNECT, even when it comes after the CR in a read of its own.
            lfOwed_ = pending_[end] == '\r' && end + 1 == pending_.size();
            pending_.erase(0, end + (pending_.compare(end, 2, "\r\n") == 0 ? 2 : 1));
            if (std::exchange(skipping_, false)) continue;
            if (raw.size() > kMaxLine) {
                trace_(port_.tag + " < (overlong line dropped: " + printable(raw) + ")");
                continue;
            }
            std::string text;
            for (char c : raw)
                if (c >= 0x20 && c < 0x7f) text += c;
            if (text.size() != raw.size() && raw.find_first_not_of("\x11\x13") != std::string::npos)
                trace_(port_.tag + " < (" + std::to_string(raw.size() - text.size()) + " bytes of noise dropped)");
            text = text::trimBlanks(text);
            if (text.empty()) continue;
            line = std::move(text);
            return Final::Ok;
        }
    }

    static std::optional<Final> finalOf(const std::string& line, bool ringIsFinal, bool digitResults) {
        if (line == "OK" || (digitResults && line == "0")) return Final::Ok;
        if (digitResults && line == "4") return Final::Error;
        if (line.rfind("CONNECT", 0) == 0) return Final::Connect;
        if (line == "ERROR") return Final::Error;
        if (line == "BUSY") return Final::Busy;
        if (line == "NO ANSWER") return Final::NoAnswer;
        if (line == "NO CARRIER") return Final::NoCarrier;
        if (line == "NO DIALTONE" || line == "NO DIAL TONE") return Final::NoDialTone;
        if (ringIsFinal && line == "RING") return Final::Ring;
        return std::nullopt;
    }

    ModemFaxEngine::Port& port_;
    Trace trace_;
    std::string& pending_ = port_.pending;
    std::string lastCommand_;
    bool gaveUp_ = false;
    bool& skipping_ = port_.skipping;
    bool& lfOwed_ = port_.lfOwed;
};

// The engine code of a wait on the modem that did not get its answer.
std::int16_t codeOfLostWait(Final f) {
    switch (f) {
        case Final::Closed: return EngineCode::Aborted;
        case Final::TimedOut: return EngineCode::ModemSilent;
        case Final::Lost: return EngineCode::DeviceFailed;
        default: return EngineCode::ModemRefused;
    }
}

bool lostWait(Final f) { return f == Final::Closed || f == Final::TimedOut || f == Final::Lost; }

struct Outcome {
    std::int16_t code = EngineCode::Ok;
    std::int32_t hangup = HangupCode::Normal;
    bool hungUp = false;  // the modem reported the end of the call
};

// Asks the modem which fax classes it offers (AT+FCLASS=?) and keeps the
// one to use: 2.0 where offered, else 2. Ok, ModemRefused when it offers
// neither, or the code of a lost wait.
std::int16_t detectClass(Dialogue& d, ModemFaxEngine::Port& port,
                         const std::function<void(const std::string&)>& trace) {
    Answer a = d.command("AT+FCLASS=?", kCommandBound);
    if (lostWait(a.final)) return codeOfLostWait(a.final);
    // The answer lists the classes: "0,1,2,2.0" or "(0-2,2.0)".
    std::vector<std::string> tokens;
    std::string token;
    for (const auto& l : a.info)
        for (char ch : l + ",") {
            if (ch == ',' || ch == '(' || ch == ')' || ch == ' ') {
                if (!token.empty()) tokens.push_back(token);
                token.clear();
            } else {
                token += ch;
            }
        }
    auto offers = [&](const std::string& cls) {
        return std::any_of(tokens.begin(), tokens.end(), [&](const std::string& t) {
            return t == cls || (cls == "2" && t.size() == 3 && t[1] == '-' && t[0] <= '2' && t[2] >= '2');
        });
    };
    const bool offers20 = offers("2.0"), offers2 = offers("2");
    if (a.final != Final::Ok || (!offers20 && !offers2)) {
        trace(port.tag + " offers neither fax class 2.0 nor class 2");
        return EngineCode::ModemRefused;
    }
    std::lock_guard lock(port.mutex);
    port.detectedClass = offers20 ? 3 : 2;
    port.offers2 = offers2;
    port.offers20 = offers20;
    return EngineCode::Ok;
}

// The class to drive when `asked` (2 or 3) is asked for: that one, unless
// the modem is known to offer only the other Class 2 family, which it then
// drives. The two differ in their commands only; both carry the same fax.
int classFor(ModemFaxEngine::Port& port, int asked) {
    std::lock_guard lock(port.mutex);
    const bool offersAsked = isClass20(asked) ? port.offers20 : port.offers2;
    const bool offersOther = isClass20(asked) ? port.offers2 : port.offers20;
    return !offersAsked && offersOther ? (isClass20(asked) ? 2 : 3) : asked;
}

// The engine code of a line setting the device does not take.
std::int16_t lineFailed(ModemFaxEngine::Port& port, const std::string& reason,
                        const std::function<void(const std::string&)>& trace) {
    trace(port.tag + " " + reason);
    ErrorLogWriter().writeError(ModemPorts::kSource, Error(errnum::PathFileAccessError, reason));
    return EngineCode::DeviceFailed;
}

// The set-up of a class for the settings, the class command first.
// Class 2.0 has the modem report the far end's ID and capabilities and the
// session (AT+FNR; without it a Class 2.0 modem reports none of them), and
// its flow control is the fax class's own (AT+FLO): RTS/CTS, as the serial
// line runs it, or XON/XOFF for a modem that refuses RTS/CTS (see
// applySetUp). Class 2 reports them unasked and has no flow control command
// of its own: there the initialisation string sets it.
std::vector<std::string> setUpCommands(bool c20, const ModemFaxEngine::Settings& s) {
    const int vr = s.resolution == 0 ? 1 : 0;
    const int br = std::clamp<int>(s.bitRate, 0, 5);
    const int st = std::clamp<int>(s.scanTime, 0, 7);
    const std::string caps = std::to_string(vr) + "," + std::to_string(br) + ",0,2,0,0,0," + std::to_string(st);
    const std::string id = "\"" + quotable(text::fromCp932(s.localId)) + "\"";
    if (c20)
        return {"AT+FCLASS=2.0", "AT+FNR=1,1,1,0", "AT+FLO=2", "AT+FBO=0", "AT+FLI=" + id, "AT+FCC=" + caps,
                "AT+FCR=1"};
    return {"AT+FCLASS=2", "AT+FBOR=0", "AT+FLID=" + id, "AT+FDCC=" + caps, "AT+FCR=1"};
}

// The values of a set-up (AT+FDCC / AT+FCC) within what the modem offers
// (its answer to "=?": "(0,1),(0-3),(0-4),..."): each value as asked where
// offered, else the highest offered below it, else the lowest offered.
// nullopt when the offer cannot be read.
std::optional<std::string> withinOffer(const std::string& asked, const std::vector<std::string>& offer, bool class20) {
    std::string all;
    for (const auto& l : offer) all += l;
    std::vector<std::string> groups;
    for (std::size_t open = all.find('('); open != std::string::npos; open = all.find('(', open + 1)) {
        const std::size_t close = all.find(')', open);
        if (close == std::string::npos) break;
        groups.push_back(all.substr(open + 1, close - open - 1));
    }
    const std::vector<std::string> values = text::split(asked, ',');
    if (groups.size() < values.size()) return std::nullopt;
    const int base = class20 ? 16 : 10;
    std::string out;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const long want = leadingNumber(values[i], base).value_or(0);
        std::optional<long> below, lowest;
        for (const std::string& item : text::split(groups[i], ',')) {
            const std::size_t dash = item.find('-');
            auto from = leadingNumber(text::trimBlanks(item.substr(0, dash)), base);
            auto to = dash == std::string::npos ? from : leadingNumber(text::trimBlanks(item.substr(dash + 1)), base);
            if (!from || !to || *to < *from) return std::nullopt;
            const long best = std::min(want, *to);
            if (best >= *from && (!below || best > *below)) below = best;
            if (!lowest || *from < *lowest) lowest = *from;
        }
        if (!lowest) return std::nullopt;
        out += (i ? "," : "") + std::to_string(below.value_or(*lowest));
    }
    return out;
}

// Hands the modem the set-up of a class: the whole set-up the first time
// and whenever the modem has lost it, else only the commands whose values
// have changed. Ok, ModemRefused when the modem refuses the class, or the
// code that fails the operation.
std::int16_t applySetUp(Dialogue& d, ModemFaxEngine::Port& port, const ModemFaxEngine::Settings& s, int modemClass,
                        const std::function<void(const std::string&)>& trace) {
    const bool c20 = isClass20(modemClass);
    const std::vector<std::string> wanted = setUpCommands(c20, s);
    std::vector<std::string>& taken = port.setUp;
    if (!taken.empty() && taken.front() == wanted.front()) {
        // Some modems leave the fax class when a call ends; one that has
        // takes the whole set-up again.
        Answer a = d.command("AT+FCLASS?", kCommandBound);
        if (lostWait(a.final)) {
            taken.clear();
            return codeOfLostWait(a.final);
        }
        if (a.final != Final::Ok || valueOf(a.info, "") != std::string(c20 ? "2.0" : "2")) taken.clear();
    }
    const bool whole = taken.size() != wanted.size() || taken.front() != wanted.front();
    std::string reason;
    if (whole && port.xonXoff) {  // the flow control is chosen anew
        if (!port.line->setFlow(SerialLine::Flow::RtsCts, reason)) return lineFailed(port, reason, trace);
        port.xonXoff = false;
    }
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (!whole && taken[i] == wanted[i]) continue;
        Answer r = d.command(wanted[i], kCommandBound);
        if (lostWait(r.final)) {
            taken.clear();
            return codeOfLostWait(r.final);
        }
        if (r.final == Final::Ok) continue;
        if (i == 0) {  // the class itself
            taken.clear();
            return EngineCode::ModemRefused;
        }
        // The rest is asked for; a modem that refuses one keeps its own
        // value. Asking again at every call would not change its mind.
        const std::string caps = c20 ? "AT+FCC=" : "AT+FDCC=";
        if (wanted[i].rfind(caps, 0) == 0) {
            // A modem refuses the whole set-up for one value beyond it (a
            // bit rate it does not reach) and keeps its own, at normal
            // resolution as often as not: asked again within what it offers.
            Answer offer = d.command(caps + "?", kCommandBound);
            if (lostWait(offer.final)) {
                taken.clear();
                return codeOfLostWait(offer.final);
            }
            const std::optional<std::string> within =
                offer.final == Final::Ok ? withinOffer(wanted[i].substr(caps.size()), offer.info, c20) : std::nullopt;
            if (!within) continue;
            Answer again = d.command(caps + *within, kCommandBound);
            if (lostWait(again.final)) {
                taken.clear();
                return codeOfLostWait(again.final);
            }
            trace(port.tag + " refuses " + wanted[i] +
                  (again.final == Final::Ok ? ": " + caps + *within + " instead"
                                            : ", and " + caps + *within + " too: its own set-up stays"));
            continue;
        }
        if (wanted[i] != "AT+FLO=2") continue;
        // A modem without RTS/CTS holds the host back with XOFF, which the
        // line then obeys while it sends a page; overrun, the modem would
        // lose the page's end.
        port.xonXoff = true;
        Answer x = d.command("AT+FLO=1", kCommandBound);
        if (lostWait(x.final)) {
            taken.clear();
            return codeOfLostWait(x.final);
        }
        if (x.final != Final::Ok) {
            trace(port.tag + " refuses RTS/CTS and XON/XOFF flow control in the fax class: page data may overrun it");
            continue;
        }
        trace(port.tag + " refuses RTS/CTS flow control: XON/XOFF instead");
        if (!port.line->setFlow(SerialLine::Flow::XonXoff, reason)) {
            taken.clear();
            return lineFailed(port, reason, trace);
        }
    }
    taken = wanted;
    {
        std::lock_guard lock(port.mutex);
        if (port.detectedClass == 0) port.detectedClass = modemClass;
    }
    return EngineCode::Ok;
}

// Hands the modem the fax class and the session settings before a call,
// and gives the class in force. Asked for one of the two Class 2 families,
// a modem that offers only the other is driven in that one: known from the
// opening's question, or asked once it refuses the class. Ok, or the code
// that fails the operation.
std::int16_t configure(Dialogue& d, ModemFaxEngine::Port& port, const ModemFaxEngine::Settings& s, int& inForce,
                       const std::function<void(const std::string&)>& trace) {
    const int asked = s.modemClass == 2 || s.modemClass == 3 ? s.modemClass : 0;
    bool known;
    {
        std::lock_guard lock(port.mutex);
        known = port.offers2 || port.offers20;
        inForce = asked != 0 ? asked : port.detectedClass;
    }
    if (inForce == 0) {
        if (std::int16_t code = detectClass(d, port, trace); code != EngineCode::Ok) return code;
        std::lock_guard lock(port.mutex);
        inForce = port.detectedClass;
    }
    for (;;) {
        if (asked != 0) {
            inForce = classFor(port, asked);
            if (inForce != asked)
                trace(port.tag + " offers " + className(inForce) + ", not " + className(asked) + ": driven in " +
                      className(inForce));
        }
        std::int16_t code = applySetUp(d, port, s, inForce, trace);
        if (code != EngineCode::ModemRefused || asked == 0 || known) return code;
        // A modem refuses a class it does not offer: which does it offer?
        known = true;
        if (code = detectClass(d, port, trace); code != EngineCode::Ok) return code;
        if (classFor(port, asked) == asked) return EngineCode::ModemRefused;
    }
}

// Ends a call that the modem did not end itself. A modem that does not
// answer ATH0 with OK, or may still owe the answer to a command given up
// on, is brought back to command state before the next call: DTR dropped,
// which hangs it up and ends a data mode, then a plain AT that must answer
// OK, and whatever answers it still owed dropped.
void hangUp(Dialogue& d, ModemFaxEngine::Port& port, const std::function<void(const std::string&)>& trace) {
    if (port.closed) return;  // closing the device drops DTR, which hangs up
    Answer a = d.command("ATH0", kHangUpBound);
    if ((a.final == Final::Ok && !d.gaveUp()) || a.final == Final::Lost || a.final == Final::Closed) return;
    // Dropping DTR may reset the modem: its set-up is not known any more.
    port.setUp.clear();
    std::string reason;
    if (!port.line->pulseDtr(reason)) trace(port.tag + " " + reason);
    // The answer to ATH0 may still be on its way: the AT below would take it
    // for its own.
    d.dropLateAnswers(kLateAnswerQuiet);
    for (int attempt = 0; attempt < kCheckTries; ++attempt) {
        a = d.command("AT", kCheckBound);
        if (a.final == Final::Ok) return d.dropLateAnswers(kLateAnswerQuiet);
        if (a.final == Final::Lost || a.final == Final::Closed) return;
    }
    trace(port.tag + " does not answer after the hang-up");
}

// The line obeys the modem's XOFF while a page goes out and its end waits
// for the modem's answer, and only then: everywhere else the bytes 0x11 and
// 0x13 are data (a received page) or noise, which the line must hand over.
class XoffWhileSending {
public:
    XoffWhileSending(ModemFaxEngine::Port& port, std::function<void(const std::string&)> trace)
        : port_(port), trace_(std::move(trace)) {}
    XoffWhileSending(const XoffWhileSending&) = delete;
    XoffWhileSending& operator=(const XoffWhileSending&) = delete;
    ~XoffWhileSending() { stop(); }

    [[nodiscard]] bool start(std::string& reason) {
        if (!on_) on_ = port_.line->obeyXoff(true, reason);
        return on_;
    }
    // What the line still holds back goes nowhere: the modem has answered
    // the page's end, or the page is given up and the modem is (or is about
    // to be) in command state, where page data would be taken for commands.
    void stop() {
        if (!on_) return;
        port_.line->discardOutput();
        std::string reason;
        if (port_.line->obeyXoff(false, reason)) on_ = false;
        else lineFailed(port_, reason, trace_);
    }

private:
    ModemFaxEngine::Port& port_;
    std::function<void(const std::string&)> trace_;
    bool on_ = false;
};

// The settings of a call as it starts; the far end is not known yet.
ModemFaxEngine::Settings startCall(ModemFaxEngine::Port& port) {
    std::lock_guard lock(port.mutex);
    port.remoteId.clear();
    return port.settings;
}

// Ends a call: hangs up where the modem has not, keeps the hang-up code and
// traces the outcome.
std::int16_t endCall(Dialogue& d, ModemFaxEngine::Port& port, const Outcome& o, const std::string& what, int pages,
                     const std::function<void(const std::string&)>& trace) {
    if (!o.hungUp && o.code != EngineCode::Aborted) hangUp(d, port, trace);
    port.hangup = o.hangup;
    trace(what + std::to_string(o.code) + ", hang-up " + std::to_string(o.hangup) + ", pages " + std::to_string(pages));
    return o.code;
}

}  // namespace

ModemFaxEngine::ModemFaxEngine() = default;

ModemFaxEngine::~ModemFaxEngine() = default;

std::shared_ptr<CallState> ModemFaxEngine::callState(std::int32_t handle) { return find(handle); }

std::shared_ptr<ModemFaxEngine::Port> ModemFaxEngine::find(std::int32_t handle) { return ports_.find(handle); }

template <class Change>
std::int16_t ModemFaxEngine::setting(std::int32_t handle, Change change) {
    {
        std::lock_guard lock(mutex_);
        change(next_);
    }
    if (auto port = ports_.find(handle)) {
        std::lock_guard lock(port->mutex);
        change(port->settings);
    }
    return EngineCode::Ok;
}

std::int16_t ModemFaxEngine::SetLineType(std::int32_t handle, std::int16_t v) {
    return setting(handle, [v](Settings& s) { s.lineType = v; });
}
std::int16_t ModemFaxEngine::SetModemClass(std::int32_t handle, std::int16_t v) {
    return setting(handle, [v](Settings& s) { s.modemClass = v; });
}
std::int16_t ModemFaxEngine::SetResolution(std::int32_t handle, std::int32_t v) {
    return setting(handle, [v](Settings& s) { s.resolution = v; });
}
std::int16_t ModemFaxEngine::SetScanTime(std::int32_t handle, std::int16_t v) {
    return setting(handle, [v](Settings& s) { s.scanTime = v; });
}
std::int16_t ModemFaxEngine::SetBitRate(std::int32_t handle, std::int16_t v) {
    return setting(handle, [v](Settings& s) { s.bitRate = v; });
}
std::int16_t ModemFaxEngine::SetLocalID(std::int32_t handle, const char* localId) {
    std::string id = localId ? localId : "";
    return setting(handle, [&id](Settings& s) { s.localId = id; });
}

std::int16_t ModemFaxEngine::PortOpen(std::int32_t* handle, std::int16_t number, const char* initString) {
    if (!handle) return EngineCode::BadArgument;
    const std::string tag = "COM" + std::to_string(number);
    ModemPorts ports = ModemPorts::load();
    if (!ports.readable) return EngineCode::LineSettings;
    auto device = ports.port(number);
    if (!device) {
        trace(tag + " open: no such line");
        return EngineCode::NoSuchPort;
    }
    SerialLine::Opened opened = SerialLine::open(device->device, device->speed, ports.lockFolder);
    if (opened.status != SerialLine::Status::Ok) {
        trace(tag + " open " + device->device + ": " + opened.reason);
        switch (opened.status) {
            case SerialLine::Status::Busy: return EngineCode::PortBusy;
            case SerialLine::Status::NoDevice: return EngineCode::NoSuchPort;
            default:
                ErrorLogWriter().writeError(ModemPorts::kSource, Error(errnum::PathFileAccessError, opened.reason));
                return EngineCode::DeviceFailed;
        }
    }
    auto port = std::make_shared<Port>();
    port->number = number;
    port->tag = tag;
    port->line = std::move(opened.line);
    port->ringTimeout = ports.ringTimeout;
    {
        std::lock_guard lock(mutex_);
        port->settings = next_;
    }
    trace(tag + " open " + device->device + " at " + std::to_string(device->speed) + " bit/s");
    auto traceFn = [this](const std::string& l) { trace(l); };
    Dialogue d(*port, traceFn);
    std::string init = text::trimBlanks(utf8(initString));
    // A modem whose stored profile gives results as digits (V0) or
    // withholds them (Q1) answers the operator's string with "0", or not
    // at all. The engine reads text results and sets them itself: a modem
    // that does not answer that either is silent.
    Answer a = d.command(init.empty() ? "AT" : init, kCommandBound, true);
    if (a.final == Final::Lost || a.final == Final::Closed) return codeOfLostWait(a.final);
    if (a.final != Final::Ok && a.final != Final::TimedOut) return EngineCode::ModemRefused;
    a = d.command("ATQ0V1", kCommandBound);
    if (a.final != Final::Ok) return lostWait(a.final) ? codeOfLostWait(a.final) : EngineCode::ModemRefused;
    // A modem that offers no fax class fails here, so that a caller can try
    // another line; the class and the rest of the set-up go to the modem
    // with the first call, when the settings the caller hands over after
    // the opening are known.
    std::int16_t modemClass;
    {
        std::lock_guard lock(port->mutex);
        modemClass = port->settings.modemClass;
    }
    if (modemClass != 2 && modemClass != 3)
        if (std::int16_t code = detectClass(d, *port, traceFn); code != EngineCode::Ok) return code;
    *handle = ports_.add(port);
    trace(tag + " open, handle " + std::to_string(*handle));
    return EngineCode::Ok;
}

std::int16_t ModemFaxEngine::PortClose(std::int32_t handle) {
    // A call under way ends at its next step and lets the device go.
    auto port = ports_.close(handle);
    if (!port) return EngineCode::BadHandle;
    port->line->interrupt();
    trace(port->tag + " close");
    return EngineCode::Ok;
}


std::int16_t ModemFaxEngine::sendCall(CallState& state, SendRequest& request) {
    Port* port = &static_cast<Port&>(state);
    const std::string& phone = request.dial;
    const std::string& tag = request.tag;
    std::vector<std::string>& data = request.pages;
    const auto pages = static_cast<std::int16_t>(data.size());
    // A page file holds the page's lines alone; on the line the page ends
    // with RTC, which the receiving machine waits for.
    for (std::string& page : data) page = endedByRtc(std::move(page));

    Settings s = startCall(*port);
    // The session is set up for the width of A4 (AT+FDCC / AT+FCC): a wider
    // page cannot go, and must not cost a call.
    for (std::size_t n = 0; n < request.widths.size(); ++n)
        if (request.widths[n] > kFaxWidth) {
            trace(tag + "page " + std::to_string(n + 1) + " is " + std::to_string(request.widths[n]) +
                  " pels wide, wider than the " + std::to_string(kFaxWidth) + " of the session: not sent");
            return EngineCode::BadImage;
        }
    auto traceFn = [this](const std::string& l) { trace(l); };
    Dialogue d(*port, traceFn);
    XoffWhileSending xoff(*port, traceFn);
    auto finish = [&](Outcome o) {
        xoff.stop();
        return endCall(d, *port, o, tag + "result ", port->pagesSent, traceFn);
    };
    int modemClass = 0;
    if (std::int16_t code = configure(d, *port, s, modemClass, traceFn); code != EngineCode::Ok)
        return finish({code, HangupCode::Aborted, false});
    const bool c20 = isClass20(modemClass);
    // A Class 2 modem may hold the data back with XOFF whatever its
    // profile: the line obeys it there always.
    const bool obeyXoff = !c20 || port->xonXoff;
    // Ends a call in command state that cannot go on: the modem ends it
    // with the far end and reports its hang-up.
    auto abort = [&](std::int16_t code) {
        Answer k = d.command(c20 ? "AT+FKS" : "AT+FK", kPostPageBound);
        auto aborted = hangupIn(k.info);
        return finish({code, aborted.value_or(HangupCode::Aborted), aborted.has_value()});
    };

    // Dial and wait for the fax connection.
    Answer a = d.command(std::string("ATD") + (s.lineType == 1 ? "P" : "T") + phone, kCallBound);
    if (auto id = stationIdIn(a.info, "+FCSI:", "+FCI:")) {
        std::lock_guard lock(port->mutex);
        port->remoteId = text::toCp932(*id);
    }
    auto reported = hangupIn(a.info);
    const int farEndPels = pelsOfWidth(sessionIn(a.info, c20, "+FDIS:", "+FIS:").value_or(Session{}).width);
    if (lostWait(a.final)) return finish({codeOfLostWait(a.final), HangupCode::Aborted, false});
    switch (a.final) {
        case Final::Busy: return finish({EngineCode::LineBusy, reported.value_or(HangupCode::PhaseAError), true});
        case Final::NoAnswer: return finish({EngineCode::NoAnswer, reported.value_or(HangupCode::NoAnswer), true});
        case Final::NoCarrier: return finish({EngineCode::NoAnswer, reported.value_or(HangupCode::NoFaxAnswer), true});
        case Final::NoDialTone:
            return finish({EngineCode::NoAnswer, reported.value_or(HangupCode::NoLoopCurrent), true});
        case Final::Ok:
        case Final::Connect:
            if (!reported || *reported == HangupCode::Normal) break;
            [[fallthrough]];
        default:
            return finish({EngineCode::NoAnswer, reported.value_or(HangupCode::PhaseAError), reported.has_value()});
    }

    const milliseconds pageBound = WaitBounds::load().sendPage;
    // The pages are fine unless the caller asked for normal resolution.
    const bool finePages = s.resolution == 0;
    // The session as the modem reported it last; before any report, as set up.
    Session session{finePages, 0};
    std::string onLine;  // the page being sent, as the modem takes it
    bool halved = false;  // onLine holds every other line of the page
    for (int n = 1; n <= pages; ++n) {
        const bool last = n == pages;
        const std::int32_t lostHere = n == 1 ? HangupCode::NoResponseToDcs : HangupCode::NoResponseToMps;
        if (const int width = request.widths[static_cast<std::size_t>(n - 1)]; width > farEndPels) {
            trace(tag + "page " + std::to_string(n) + " is " + std::to_string(width) +
                  " pels wide, the far end prints " + std::to_string(farEndPels) + ": call ended");
            return abort(EngineCode::BadImage);
        }
        for (int attempt = 1;; ++attempt) {
            a = d.command("AT+FDT", kPageStartBound);
            if (lostWait(a.final)) return finish({codeOfLostWait(a.final), HangupCode::Aborted, false});
            reported = hangupIn(a.info);
            if (a.final != Final::Connect)
                return finish({EngineCode::LineDropped, reported.value_or(lostHere), reported.has_value()});
            // Class 2 modems start the data with XON, some with DC2.
            if (!c20 && d.waitForByteOf(std::string{XON, DC2}, kXonBound) != Final::Ok) {
                if (port->closed) return finish({EngineCode::Aborted, HangupCode::Aborted, false});
                trace(port->tag + " < (no XON, sending)");
            }
            // A far end that prints only normal resolution, or a modem that
            // kept a set-up of its own, gives a normal session: a fine page
            // goes with every other line.
            session = sessionIn(a.info, c20).value_or(session);
            const bool halve = finePages && !session.fine;
            const std::string& page = data[static_cast<std::size_t>(n - 1)];
            if (attempt == 1 || halve != halved) {
                onLine = withDleDoubled(halve ? everyOtherLine(page) : page);
                halved = halve;
            }
            // The page in pieces, watching for the modem leaving the call
            // meanwhile.
            const char* resolution = halve          ? "normal resolution, every other line of the fine page"
                                     : session.fine ? "fine resolution"
                                                    : "normal resolution";
            trace(port->tag + " > (page " + std::to_string(n) + ": " + std::to_string(page.size()) + " bytes, " +
                  resolution + ")");
            if (std::string reason; obeyXoff && !xoff.start(reason))
                return finish({lineFailed(*port, reason, traceFn), HangupCode::Aborted, false});
            const auto pageDeadline = deadlineIn(pageBound);
            bool ended = false;
            for (std::size_t at = 0; at < onLine.size() && !ended; at += kPieceBytes) {
                const std::string_view piece = std::string_view(onLine).substr(at, kPieceBytes);
                // The piece that holds the page's RTC completes the fax at the far end.
                if (last && at + kPieceBytes >= onLine.size() && !sendEnding(*port))
                    return finish({EngineCode::Aborted, HangupCode::Aborted, false});
                Final f = d.write(piece, pageDeadline, true);
                if (lostWait(f)) return finish({codeOfLostWait(f), HangupCode::Aborted, false});
                ended = f == Final::NoCarrier || d.callEndedWhileWriting();
            }
            if (ended) {
                // The rest of the page and its end would reach a modem in
                // command state; its answer says how the call ended.
                trace(port->tag + " < (the modem left the call during page " + std::to_string(n) + ")");
                xoff.stop();
            } else {
                std::string end{DLE, c20 ? (last ? '.' : ',') : ETX};
                trace(port->tag + " > (DLE " + (c20 ? std::string(1, end[1]) : std::string("ETX")) + ")");
                if (Final f = d.write(end, deadlineIn(kCommandBound)); lostWait(f))
                    return finish({codeOfLostWait(f), HangupCode::Aborted, false});
            }
            a = d.await(kPostPageBound);
            xoff.stop();
            if (a.final == Final::TimedOut) {
                // The modem lost the page's end, or the call with it: the
                // page did not go through, whatever became of the modem.
                trace(tag + "the modem never acknowledged the end of page " + std::to_string(n));
                return finish({EngineCode::LineDropped, last ? HangupCode::NoResponseToEop : HangupCode::NoResponseToMps,
                               false});
            }
            std::vector<std::string> info = a.info;
            Final final = a.final;
            bool postPageSent = false;
            if (!c20) {
                if (final == Final::Ok && !hangupIn(info)) {
                    Answer b = d.command(last ? "AT+FET=2" : "AT+FET=0", kPostPageBound);
                    info.insert(info.end(), b.info.begin(), b.info.end());
                    final = b.final;
                    postPageSent = true;
                }
            }
            if (lostWait(final)) return finish({codeOfLostWait(final), HangupCode::Aborted, false});
            reported = hangupIn(info);
            auto status = pageStatusIn(info);
            if (!status && c20 && (final == Final::Ok || final == Final::Error)) status = final == Final::Ok ? 1 : 2;
            // Some Class 2 modems answer the post-page message with OK alone:
            // the far end took the page, as no hang-up but a normal one says.
            if (!status && postPageSent && final == Final::Ok && (!reported || *reported == HangupCode::Normal)) {
                status = 1;
                trace(tag + "no +FPTS: for page " + std::to_string(n) + ", OK to AT+FET: taken as received");
            }
            const bool received = status && (*status % 2) == 1;
            if (received) port->pagesSent = static_cast<std::int16_t>(n);
            if (reported && *reported != HangupCode::Normal)
                return finish({EngineCode::LineDropped, *reported, true});
            if (received && last) return finish({EngineCode::Ok, reported.value_or(HangupCode::Normal), reported.has_value()});
            if (received && !reported) break;  // the next page
            if (!status || reported)
                return finish({EngineCode::LineDropped,
                               reported.value_or(last ? HangupCode::NoResponseToEop : HangupCode::NoResponseToMps),
                               reported.has_value()});
            // The far end refused the page and asks for it again.
            if (attempt >= kPageTries) {
                trace(tag + "page " + std::to_string(n) + " refused " + std::to_string(attempt) + " times");
                return abort(EngineCode::LineDropped);
            }
            trace(tag + "page " + std::to_string(n) + " refused, sending it again");
        }
    }
    return finish({EngineCode::Ok, HangupCode::Normal, false});
}

std::int16_t ModemFaxEngine::WaitForRing(std::int32_t handle, std::int16_t* status) {
    if (!status) return EngineCode::BadArgument;
    *status = 0;
    auto port = find(handle);
    if (!port) return EngineCode::BadHandle;
    InCall call(*port);
    if (!call.entered) return EngineCode::PortBusy;
    Dialogue d(*port, [this](const std::string& l) { trace(l); });
    Answer a = d.await(port->ringTimeout, true);
    if (a.final == Final::Ring) {
        *status = 1;
        return EngineCode::Ok;
    }
    if (a.final == Final::TimedOut) return EngineCode::NoCall;
    return lostWait(a.final) ? codeOfLostWait(a.final) : EngineCode::NoCall;
}

std::int16_t ModemFaxEngine::receiveCall(CallState& state, const std::string& file, std::int16_t& pageCount,
                                         const std::string& tag) {
    Port* port = &static_cast<Port&>(state);
    std::int16_t* pages = &pageCount;
    Settings s = startCall(*port);
    auto traceFn = [this](const std::string& l) { trace(l); };
    Dialogue d(*port, traceFn);
    // A page refused (not readable, or bad by the modem's own check) is kept
    // as it came, under its number: a far end may send the next page instead
    // of this one again. One it does send again takes its place, so that no
    // page is lost and none is kept twice; one it does not has its damage
    // logged.
    int refused = 0;  // the number of the page kept damaged, 0 none
    bool refusedWasLast = false;
    std::string refusedData, refusedDamage;
    auto keepDamaged = [&] {
        if (refused == 0) return;
        const std::string what = "received page " + std::to_string(refused) + " " + refusedDamage +
                                 ", not sent again: kept as it came in " + pageName(file, refused);
        ErrorLogWriter().writeError(ModemPorts::kSource, Error(errnum::InvalidPicture, what));
        refused = 0;
    };
    auto finish = [&](Outcome o) {
        keepDamaged();
        return endCall(d, *port, o, tag + "result ", *pages, traceFn);
    };
    // A page's bytes 0x11 and 0x13 are data: a line that still obeys XOFF
    // (its sending call could not turn that off) would lose them.
    if (std::string reason; !port->line->obeyXoff(false, reason))
        return finish({lineFailed(*port, reason, traceFn), HangupCode::Aborted, false});
    int modemClass = 0;
    if (std::int16_t code = configure(d, *port, s, modemClass, traceFn); code != EngineCode::Ok)
        return finish({code, HangupCode::Aborted, false});
    const bool c20 = isClass20(modemClass);
    Answer a = d.command("ATA", kCallBound);
    if (auto id = stationIdIn(a.info, "+FTSI:", "+FTI:")) {
        std::lock_guard lock(port->mutex);
        port->remoteId = text::toCp932(*id);
    }
    if (lostWait(a.final)) return finish({codeOfLostWait(a.final), HangupCode::Aborted, false});
    auto reported = hangupIn(a.info);
    if ((a.final != Final::Ok && a.final != Final::Connect) || (reported && *reported != HangupCode::Normal))
        return finish({EngineCode::NoCall, reported.value_or(HangupCode::ReceivePhaseBError), reported.has_value()});

    const milliseconds pageBound = WaitBounds::load().sendPage;
    // One buffer for the call's pages: each page's memory is the last one's.
    std::string page;
    for (;;) {
        a = d.command("AT+FDR", kPageStartBound);
        if (lostWait(a.final)) return finish({codeOfLostWait(a.final), HangupCode::Aborted, false});
        reported = hangupIn(a.info);
        if (a.final == Final::Ok) {  // no more pages: the call has ended
            std::int32_t code = reported.value_or(HangupCode::Normal);
            return finish({code == HangupCode::Normal ? EngineCode::Ok : EngineCode::LineDropped, code, true});
        }
        if (a.final != Final::Connect)
            return finish({EngineCode::LineDropped, reported.value_or(HangupCode::ExpectedPageMissing),
                           reported.has_value()});
        if (Final f = d.write(std::string(1, DC2), deadlineIn(kCommandBound)); lostWait(f))
            return finish({codeOfLostWait(f), HangupCode::Aborted, false});
        page.clear();
        Final f = d.readPage(page, deadlineIn(pageBound));
        if (lostWait(f)) return finish({codeOfLostWait(f), HangupCode::Aborted, false});
        if (f != Final::Ok) {
            trace(tag + "page beyond " + std::to_string(kMaxPageBytes) + " bytes, call ended");
            d.command(c20 ? "AT+FKS" : "AT+FK", kPostPageBound);
            return finish({EngineCode::LineDropped, HangupCode::Aborted, false});
        }
        Answer post = d.await(kPostPageBound);
        if (lostWait(post.final)) return finish({codeOfLostWait(post.final), HangupCode::Aborted, false});
        // After a refused page, the far end sends it again or goes on: after
        // the last page only the same can come, else the same coded data.
        const bool sentAgain = refused > 0 && (refusedWasLast || sameCodedPage(refusedData, page));
        if (!sentAgain) keepDamaged();
        const int number = sentAgain ? refused : *pages + 1;
        const std::optional<long> checked = pageStatusIn(post.info);
        const bool badByModem = checked && *checked % 2 == 0;
        // The page is kept least significant bit first, the order of the
        // pages the system sends and that fax2tiff reads.
        bool good = false, turned = false;
        std::string damage;
        try {
            const G3DecodeReport report = bitOrderOf(page, c20);
            turned = report.bitOrder == BitOrder::MsbFirst;
            if (turned) reverseBitOrder(page);
            good = true;
            trace(port->tag + " < (page " + std::to_string(number) + ": " + std::to_string(page.size()) +
                  " bytes, " + std::to_string(report.lines) + " lines)");
        } catch (const Error& e) {
            damage = "not readable: " + e.description();
            trace(tag + "page " + std::to_string(number) + " " + damage);
        }
        if (good && badByModem)
            damage = std::string("reported bad by the modem (") + (c20 ? "+FPS:" : "+FPTS:") +
                     std::to_string(*checked) + ")";
        if (sentAgain) trace(tag + "page " + std::to_string(number) + " sent again: kept in place of the damaged copy");
        const std::string name = pageName(file, number);
        try {
            fs::writeFileAtomic(name, page);
        } catch (const Error& e) {
            ErrorLogWriter().writeError(ModemPorts::kSource, e);
            d.command(c20 ? "AT+FKS" : "AT+FK", kPostPageBound);
            return finish({EngineCode::WriteFailed, HangupCode::Aborted, false});
        }
        if (!sentAgain) *pages = static_cast<std::int16_t>(*pages + 1);
        refused = 0;
        if (!damage.empty()) {
            refused = number;
            refusedDamage = damage;
            refusedWasLast = valueOf(post.info, "+FET:").value_or("") == "2";
            refusedData = page;
            if (turned) reverseBitOrder(refusedData);  // compared as it came
        }
        if (!good) {
            // Ask the far end to send the page again. Unanswered, its late
            // OK would be taken for the next AT+FDR's "no more pages".
            Answer again = d.command(c20 ? "AT+FPS=2" : "AT+FPTS=2", kCommandBound);
            if (lostWait(again.final)) return finish({codeOfLostWait(again.final), HangupCode::Aborted, false});
        }
        reported = hangupIn(post.info);
        if (reported && *reported != HangupCode::Normal) return finish({EngineCode::LineDropped, *reported, true});
    }
}

std::int16_t ModemFaxEngine::GetCommHandle(std::int32_t handle, std::int32_t* comm) {
    auto port = find(handle);
    if (!port || !comm) return EngineCode::BadHandle;
    *comm = port->line->descriptor();
    return EngineCode::Ok;
}

}  // namespace fg::fax
