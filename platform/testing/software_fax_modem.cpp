#include "platform/testing/software_fax_modem.h"

#include "platform/clock.h"
#include "platform/error.h"
#include "platform/fax_engine/fax_engine.h"
#include "platform/fax_engine/g3_codec.h"
#include "platform/files.h"
#include "platform/owned.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <utility>

namespace fg::testing {

namespace {

constexpr char kDle = 0x10;
constexpr char kEtx = 0x03;
constexpr char kDc1 = 0x11;  // XON
constexpr char kDc2 = 0x12;
constexpr char kDc3 = 0x13;  // XOFF
constexpr char kSub = 0x1A;

// A modem's command buffer: a longer line is answered ERROR.
constexpr std::size_t kMaxCommandLine = 256;
// A page larger than this is not a fax page: the call is dropped.
constexpr std::size_t kMaxPageBytes = 32u << 20;
// Quiet on the line before an unsolicited RING, between RINGs, how many
// RINGs a caller waits, and how long a data phase may stay without a byte
// (system time: FAXGATE_TIME_SCALE shortens them with the programs' waits).
constexpr std::chrono::milliseconds kQuietBeforeRing{300};
constexpr std::chrono::milliseconds kRingInterval{2000};
constexpr int kMaxRings = 30;
constexpr std::chrono::milliseconds kDataIdle{60000};
// The page data a modem holds beyond what the line has carried before it
// sends XOFF.
constexpr std::size_t kModemBuffer = 2048;

// T.32 hang-up codes the modem reports, beside those the engines share.
constexpr int kHangNoCarrier = 0x11;      // no answer (T.30 T1 time-out)
constexpr int kHangDataUnderflow = 0x43;  // send: fax data underflow
constexpr int kHangNoResponseToEom = 0x53;
constexpr int kHangPhaseCError = 0x40;  // send: unspecified phase C error (the line dropped mid-page)

constexpr std::array<unsigned char, 256> makeReversed() {
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i) {
        int r = 0;
        for (int b = 0; b < 8; ++b)
            if (i & (1 << b)) r |= 0x80 >> b;
        t[static_cast<std::size_t>(i)] = static_cast<unsigned char>(r);
    }
    return t;
}
constexpr std::array<unsigned char, 256> kReversed = makeReversed();

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The digits of a number (and + * #), so that "03-1234" and "031234" are one station.
std::string dialKey(const std::string& number) {
    std::string key;
    for (char c : number)
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '*' || c == '#') key += c;
    return key;
}

// Splits "a,b,,d" into fields ("" for an empty one).
std::vector<std::string> fields(const std::string& text) {
    std::vector<std::string> out(1);
    for (char c : text) {
        if (c == ',') out.emplace_back();
        else if (c != ' ') out.back() += c;
    }
    return out;
}

// The text of a quoted argument ("abc" -> abc); an unquoted one as it is.
std::string unquote(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
    return text;
}

bool readNumber(const std::string& text, int& value) {
    if (text.empty() || text.size() > 6) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = std::atoi(text.c_str());
    return true;
}

}  // namespace

struct SoftwareFaxModem::State {
    // Hold: a page has reached the modem faster than the line carries it;
    // what the host sends meanwhile waits until the line time has passed.
    // HangingUp: ATH has not been answered yet (setHangUpDelay); input
    // waits likewise.
    enum class Mode { Command, PageIn, Hold, WaitDc2, Mute, HangingUp };
    enum class Ppm { Mps = 0, Eom = 1, Eop = 2 };

    explicit State(SoftwareFaxModem& modem) : modem(modem) {}

    SoftwareFaxModem& modem;
    Descriptor master;
    Descriptor slave;  // held open, so that the master never reads as hung up
    Descriptor watch;  // inotify on the slave: the host opening and closing it
    Descriptor wake;   // eventfd: ring() and the end of the modem

    int hostOpens = 0;
    Mode mode = Mode::Command;
    std::string line;
    bool lineTooLong = false;
    std::string lastLine;
    std::string output;
    bool outputPaused = false;
    std::chrono::milliseconds lastInput{0};
    std::chrono::milliseconds lastDataByte{0};

    // Settings of the host.
    bool echo = true;
    bool verbose = true;
    bool quiet = false;
    std::map<int, int> sRegisters;
    int modemClass = 0;  // 0, 1, 2, 20
    std::string localId;
    std::vector<std::string> capabilities;  // +FDCC / +FCC
    std::vector<std::string> session;       // +FDIS / +FIS
    int bitOrder = 0;
    char dialMode = 'T';
    std::array<bool, 4> reports{};  // +FNR: receiver and transmitter parameters, IDs, non-standard frames
    int flowControl = 1;            // +FLO: 0 none, 1 XON/XOFF, 2 RTS/CTS
    int receiving = 0;              // +FCR: 1 takes fax calls

    // The call.
    std::optional<Call> call;
    Station station;
    bool connected = false;
    bool pageEnded = false;  // a page ended without its post-page message yet
    bool retrained = false;
    std::string page;
    bool pendingDle = false;
    // Under XON/XOFF: the modem has sent XOFF and waits for the line to
    // carry its buffer down to half before it sends XON; whether the host's
    // line stops on it (its IXON) is seen as the XOFF goes.
    bool xoffSent = false;
    bool hostStopsOnXoff = false;
    // What the host's line still sends after our XOFF stopped it (the
    // bytes on their way) waits there until the line runs again, on our
    // XON or the host no longer stopping on XOFF; the host's flush of its
    // output drops it. A call that breaks meanwhile sends no XON.
    bool hostLineStopped = false;
    std::string onHostLine;
    std::chrono::milliseconds drainAt{0};
    // The page data in the modem's buffer, as of a time: the line carries
    // it away at the session's rate, and nothing while it is empty.
    std::size_t held = 0;
    std::chrono::milliseconds heldAt{0};
    std::chrono::milliseconds pageStart{0};
    int lineRate = 14400;  // bits per second of the session
    std::optional<Ppm> heldPpm;
    std::chrono::milliseconds releaseAt{0};
    std::string heldInput;
    // Ringing and delivery.
    int rings = 0;
    std::chrono::milliseconds nextRing{0};
    std::vector<std::string> deliver;
    std::string deliverId;
    bool deliverFine = true;
    std::size_t delivered = 0;
    int refused = 0;  // delivered pages the host answered other than MCF
    Damage damage;            // of this call's delivery
    bool lastRefused = false;  // the page delivered last was refused

    void reset() {
        std::lock_guard<std::mutex> lock(modem.mutex_);
        echo = true;
        verbose = !modem.digitResults_;
        quiet = modem.quietProfile_;
        sRegisters = {{0, 0}, {3, 13}, {4, 10}, {5, 8}, {7, 50}};
        modemClass = 0;
        localId.clear();
        // A slower modem's own set-up: normal resolution at its highest rate.
        if (modem.maxBitRate_ < 5) capabilities = {"0", std::to_string(modem.maxBitRate_), "0", "2", "0", "0", "0", "0"};
        else capabilities = {"1", "5", "0", "2", "0", "0", "0", "0"};
        session = capabilities;
        bitOrder = 0;
        dialMode = 'T';
        reports = {};
        flowControl = 1;
        receiving = 0;
    }

    bool class20() const { return modemClass == 20; }
    bool noRtsCts() const {
        std::lock_guard<std::mutex> lock(modem.mutex_);
        return modem.noRtsCts_;
    }
    int maxBitRate() const {
        std::lock_guard<std::mutex> lock(modem.mutex_);
        return modem.maxBitRate_;
    }
    std::chrono::milliseconds hangUpDelay() const {
        std::lock_guard<std::mutex> lock(modem.mutex_);
        return modem.hangUpDelay_;
    }
    // What Class 2.0 reports only when +FNR asks for it (Class 2 always):
    // the far end's capabilities (+FIS), the session (+FCS), the IDs
    // (+FCI, +FTI).
    bool reportsCapabilities() const { return !class20() || reports[0]; }
    bool reportsSession() const { return !class20() || reports[1]; }
    bool reportsIds() const { return !class20() || reports[2]; }
    // The host's XON and XOFF pause the modem's output under XON/XOFF flow
    // control; Class 2 takes them always.
    bool softwareFlow() const { return !class20() || flowControl == 1; }
    std::chrono::milliseconds now() const { return clock().elapsed(); }

    void log(std::string entry) {
        std::lock_guard<std::mutex> lock(modem.mutex_);
        modem.transcript_.push_back(std::move(entry));
    }

    // An answer line: information text or a result code.
    void say(const std::string& text) {
        log("< " + text);
        if (verbose) output += "\r\n" + text + "\r\n";
        else output += text + "\r\n";
    }
    void result(const std::string& code) {
        if (code.empty()) return;
        log("< " + code);
        if (quiet) return;
        if (verbose) {
            output += "\r\n" + code + "\r\n";
            return;
        }
        static const std::map<std::string, std::string> numeric = {
            {"OK", "0"}, {"CONNECT", "1"}, {"RING", "2"}, {"NO CARRIER", "3"},
            {"ERROR", "4"}, {"NO DIALTONE", "6"}, {"BUSY", "7"}, {"NO ANSWER", "8"}};
        auto it = numeric.find(code);
        output += (it == numeric.end() ? code : it->second) + "\r";
    }

    std::string hangupText(int code) const {
        char text[16];
        if (class20()) std::snprintf(text, sizeof text, "+FHS:%02X", code);
        else std::snprintf(text, sizeof text, "+FHNG:%X", code);
        return text;
    }

    std::string joined(const std::vector<std::string>& values) const {
        std::string out;
        for (std::size_t i = 0; i < values.size(); ++i) out += (i ? "," : "") + values[i];
        return out;
    }

    // The session parameters: the host's, within what the far end takes
    // (fine resolution unless normalOnly, 14400 bit/s, A4 width or its own
    // narrower one, any length, 1-D coding, no error correction, no file
    // transfer).
    std::vector<std::string> sessionParameters() const {
        const int limit[8] = {station.normalOnly ? 0 : 1, 5, 0, 2, 0, 0, 0, 7};
        static const int fallback[8] = {1, 5, 0, 2, 0, 0, 0, 0};
        std::vector<std::string> out;
        for (std::size_t i = 0; i < 8; ++i) {
            int value = fallback[i];
            if (i < session.size()) readNumber(session[i], value);
            out.push_back(std::to_string(std::min(value, limit[i])));
        }
        if (station.width != 0) out[2] = std::to_string(station.width);
        return out;
    }
    // The far end's capabilities after the dial (+FDIS: / +FIS:).
    std::string farEndCapabilities() const {
        return std::string(station.normalOnly ? "0" : "1") + ",5," + std::to_string(station.width) + ",2,0,0,0,0";
    }
    bool sessionFine() const { return sessionParameters()[0] == "1"; }

    void finishCall(int hangupCode) {
        if (!call) return;
        call->hangupCode = hangupCode;
        {
            std::lock_guard<std::mutex> lock(modem.mutex_);
            modem.calls_.push_back(*call);
        }
        modem.changed_.notify_all();
        call.reset();
        connected = false;
        pageEnded = false;
        retrained = false;
        page.clear();
        pendingDle = false;
        xoffSent = false;
        deliver.clear();
        delivered = 0;
        outputPaused = false;
        mode = Mode::Command;
    }

    void newCall(bool incoming) {
        call = Call{};
        call->incoming = incoming;
        call->localId = localId;
        call->modemClass = modemClass;
        call->bitOrder = bitOrder;
    }

    int callNumber() {
        std::lock_guard<std::mutex> lock(modem.mutex_);
        return static_cast<int>(modem.calls_.size()) + 1;
    }

    std::string pagePath(int number) {
        return modem.folder_ + "call" + std::to_string(callNumber()) + "_p" + std::to_string(number) + ".g3";
    }

    // --- sending side: the host sends pages to the called station ---

    void dial(const std::string& rest) {
        std::string number = rest;
        while (!number.empty() && (number.back() == ';' || number.back() == ' ')) number.pop_back();
        char dialledMode = dialMode;
        std::size_t start = 0;
        while (start < number.size() && number[start] == ' ') ++start;
        if (start < number.size() && (std::toupper(static_cast<unsigned char>(number[start])) == 'T' ||
                                      std::toupper(static_cast<unsigned char>(number[start])) == 'P')) {
            dialledMode = static_cast<char>(std::toupper(static_cast<unsigned char>(number[start])));
            ++start;
            while (start < number.size() && number[start] == ' ') ++start;
        }
        number = number.substr(start);
        if (call || number.empty()) {
            result("ERROR");
            return;
        }
        if (modemClass != 2 && modemClass != 20) {
            result("NO CARRIER");  // data and Class 1 calls are not modelled
            return;
        }
        {
            std::lock_guard<std::mutex> lock(modem.mutex_);
            auto it = modem.stations_.find(dialKey(number));
            station = it == modem.stations_.end() ? Station{} : it->second;
        }
        newCall(false);
        call->dialled = number;
        call->dialMode = dialledMode;
        call->fine = sessionFine();
        switch (station.outcome) {
        case Outcome::Busy:
            result("BUSY");
            finishCall(-1);
            return;
        case Outcome::NoAnswer:
            say(hangupText(fax::HangupCode::NoAnswer));
            result("NO CARRIER");
            finishCall(fax::HangupCode::NoAnswer);
            return;
        case Outcome::NoCarrier:
            say(hangupText(kHangNoCarrier));
            result("NO CARRIER");
            finishCall(kHangNoCarrier);
            return;
        case Outcome::DialRefused:
            call.reset();
            result("ERROR");
            return;
        case Outcome::Silent:
            if (station.page > 0) break;
            mode = Mode::Mute;
            return;
        default:
            break;
        }
        connected = true;
        say(class20() ? "+FCO" : "+FCON");
        if (reportsIds()) say(std::string(class20() ? "+FCI:" : "+FCSI:") + "\"" + station.remoteId + "\"");
        if (reportsCapabilities()) say(std::string(class20() ? "+FIS:" : "+FDIS:") + farEndCapabilities());
        result("OK");
    }

    std::string startPage() {
        if (!call || call->incoming || !connected) return "ERROR";
        if (station.outcome == Outcome::DropAfterPage && station.page <= 0) {
            say(hangupText(fax::HangupCode::NoResponseToDcs));
            finishCall(fax::HangupCode::NoResponseToDcs);
            return "ERROR";
        }
        call->fine = sessionFine();
        call->bitOrder = bitOrder;
        int rate = 5;
        readNumber(sessionParameters()[1], rate);
        lineRate = 2400 * (std::min(rate, 5) + 1);
        pageStart = now();
        if (reportsSession()) say(std::string(class20() ? "+FCS:" : "+FDCS:") + joined(sessionParameters()));
        result("CONNECT");
        if (!class20()) {  // a Class 2 modem's "ready for the data"
            std::lock_guard<std::mutex> lock(modem.mutex_);
            output += modem.dc2Start_ ? kDc2 : kDc1;
        }
        mode = Mode::PageIn;
        xoffSent = false;
        held = 0;
        heldAt = pageStart;
        page.clear();
        pendingDle = false;
        lastDataByte = now();
        return "";
    }

    bool xonXoffFlow() const { return class20() ? flowControl == 1 : noRtsCts(); }

    // The page data the modem holds at a time.
    std::size_t buffered(std::chrono::milliseconds at) {
        const long long ms = (at - heldAt).count();
        if (ms <= 0) return held;
        const auto carried = static_cast<std::size_t>(ms * lineRate / 8000);
        held = held > carried ? held - carried : 0;
        heldAt = at;
        return held;
    }
    // When the line will have carried the buffer down to half of it.
    std::chrono::milliseconds drainTime() const {
        const std::size_t half = kModemBuffer / 2;
        const auto bytes = static_cast<long long>(held > half ? held - half : 0);
        return heldAt + std::chrono::milliseconds(bytes * 8000 / lineRate + 1);
    }

    // Whether a modem that holds the host back with XOFF takes a byte of
    // page data. Its buffer full, it sends XOFF; the bytes that come after
    // it from a host whose line stops on it (those already on their way)
    // still fit, those of a host whose line does not overrun it.
    bool takes() {
        if (!xonXoffFlow()) return true;
        if (xoffSent && !hostStopsOnXoff) {
            ++call->lostBytes;
            return false;
        }
        if (!xoffSent && buffered(lastInput) >= kModemBuffer) {
            xoffSent = true;
            output += kDc3;
            termios tio{};
            hostStopsOnXoff = ::tcgetattr(slave.get(), &tio) == 0 && (tio.c_iflag & IXON) != 0;
            hostLineStopped = hostStopsOnXoff;
            drainAt = drainTime();
            if (!hostStopsOnXoff) {
                ++call->lostBytes;
                return false;
            }
        }
        ++held;
        return true;
    }

    // Sends XON once the line has carried the buffer down to half, or, for
    // a call that breaks while the modem holds the host back (DropMidPage),
    // reports the hang-up instead and never sends it.
    void drainTimer() {
        if (!xoffSent || now() < drainAt) return;
        // Held back after the page's end came (the host sent it before the
        // XOFF reached it), the call breaks while the line carries it.
        if ((mode == Mode::PageIn || mode == Mode::Hold) && station.outcome == Outcome::DropMidPage && call &&
            call->confirmedPages + 1 == station.page) {
            log("> [page " + std::to_string(station.page) + ": the line dropped, the host held back by XOFF]");
            say(hangupText(kHangPhaseCError));
            result("ERROR");
            finishCall(kHangPhaseCError);
            return;
        }
        if (buffered(now()) > kModemBuffer / 2) {
            drainAt = drainTime();  // more came after the XOFF than it held
            return;
        }
        xoffSent = false;
        output += kDc1;
        lineRuns();
    }

    // The page's data byte by byte; the time of its last byte is that of the
    // read that brought it (a look at the clock a byte would cost a sender
    // as much as its own work).
    void pageByte(char c) {
        lastDataByte = lastInput;
        if (pendingDle) {
            pendingDle = false;
            if (c == kDle) page += kDle;
            else if (c == kSub) page.append(2, kDle);
            else if (c == kEtx) holdPage(std::nullopt);
            else if (class20() && c == ',') holdPage(Ppm::Mps);
            else if (class20() && c == ';') holdPage(Ppm::Eom);
            else if (class20() && c == '.') holdPage(Ppm::Eop);
            return;  // any other DLE pair carries no data
        }
        if (c == kDle) {
            pendingDle = true;
            return;
        }
        // The line is slower than the serial link: under XON/XOFF flow
        // control the modem holds the host back with XOFF, and the data of
        // a host whose line does not stop on it overruns the buffer.
        if (!takes()) return;
        page += c;
        if (page.size() > kMaxPageBytes) {
            log("> [page " + std::to_string(call->confirmedPages + 1) + ": more than " +
                std::to_string(kMaxPageBytes) + " bytes, call dropped]");
            say(hangupText(kHangDataUnderflow));
            result("ERROR");
            finishCall(kHangDataUnderflow);
        }
    }

    // The page is answered when the line would have carried it (the line
    // time of its bytes at the session's rate, in system time): fax
    // programs measure the rate of a page and divide by its time.
    void holdPage(std::optional<Ppm> ppm) {
        if (station.outcome == Outcome::Silent && call->confirmedPages + 1 == station.page) {
            log("> [page " + std::to_string(station.page) + ": " + std::to_string(page.size()) +
                " bytes, not answered]");
            page.clear();
            mode = Mode::Mute;
            return;
        }
        heldPpm = ppm;
        const auto lineTime = std::chrono::milliseconds(static_cast<long long>(page.size()) * 8000 / lineRate);
        releaseAt = pageStart + lineTime;
        mode = Mode::Hold;
        heldInput.clear();
    }

    void releaseTimer() {
        if ((mode != Mode::Hold && mode != Mode::HangingUp) || now() < releaseAt) return;
        if (mode == Mode::HangingUp) {
            mode = Mode::Command;
            result("OK");
        } else {
            endPage(heldPpm);
        }
        std::string pending = std::move(heldInput);
        heldInput.clear();
        if (!pending.empty()) input(pending.data(), pending.size());
    }

    void endPage(std::optional<Ppm> ppm) {
        const int number = call->confirmedPages + 1;
        std::string data = std::move(page);
        page.clear();
        if (bitOrder & 1) data = reversedBitOrder(std::move(data));
        const std::string path = pagePath(number);
        static const char* const ends[] = {"DLE , (MPS)", "DLE ; (EOM)", "DLE . (EOP)"};
        log("> [page " + std::to_string(number) + ": " + std::to_string(data.size()) + " bytes, " +
            (ppm ? ends[static_cast<int>(*ppm)] : "DLE ETX") + "]");
        mode = Mode::Command;
        if (call->lostBytes > 0)
            log("> [" + std::to_string(call->lostBytes) + " bytes lost: the host's line does not stop on XOFF]");
        try {
            fs::writeFileAtomic(path, data, fs::Sync::Passing);
        } catch (const Error& e) {
            log("! " + e.description());
            say(hangupText(fax::HangupCode::Aborted));
            result("ERROR");
            finishCall(fax::HangupCode::Aborted);
            return;
        }
        if (std::find(call->pages.begin(), call->pages.end(), path) == call->pages.end()) call->pages.push_back(path);
        pageEnded = true;
        if (ppm) result(postPage(*ppm));
        else result("OK");
    }

    std::string postPage(Ppm ppm) {
        if (!call || call->incoming || !pageEnded) return "ERROR";
        pageEnded = false;
        const int number = call->confirmedPages + 1;
        const char* status = class20() ? "+FPS:" : "+FPTS:";
        if (station.outcome == Outcome::DropAfterPage && number == station.page) {
            int code = ppm == Ppm::Eop ? fax::HangupCode::NoResponseToEop
                                       : ppm == Ppm::Eom ? kHangNoResponseToEom : fax::HangupCode::NoResponseToMps;
            say(hangupText(code));
            finishCall(code);
            return "ERROR";
        }
        if (station.outcome == Outcome::RetrainPage && number == station.page && !retrained) {
            retrained = true;
            say(std::string(status) + "2");
            return "OK";
        }
        ++call->confirmedPages;
        if (station.outcome != Outcome::NoPageStatus) say(std::string(status) + "1");
        if (ppm == Ppm::Eop) {
            say(hangupText(fax::HangupCode::Normal));
            finishCall(fax::HangupCode::Normal);
        }
        return "OK";
    }

    // --- receiving side: the modem delivers the pages of ring() ---

    void answer() {
        if (call) {
            result("ERROR");
            return;
        }
        bool ringing = false;
        {
            std::lock_guard<std::mutex> lock(modem.mutex_);
            // Without +FCR=1 the modem cannot take a fax: the call rings on.
            if (!modem.rings_.empty() && (modemClass == 2 || modemClass == 20) && receiving == 1) {
                ringing = true;
                deliver = std::move(modem.rings_.front().pages);
                deliverId = std::move(modem.rings_.front().remoteId);
                deliverFine = modem.rings_.front().fine;
                modem.rings_.erase(modem.rings_.begin());
                damage = std::exchange(modem.damage_, Damage{});
            }
        }
        if (!ringing) {
            result("NO CARRIER");
            return;
        }
        rings = 0;
        delivered = 0;
        refused = 0;
        lastRefused = false;
        newCall(true);
        call->fine = deliverFine;
        call->pages = deliver;
        connected = true;
        say(class20() ? "+FCO" : "+FCON");
        if (reportsIds()) say(std::string(class20() ? "+FTI:" : "+FTSI:") + "\"" + deliverId + "\"");
        if (reportsSession())
            say(std::string(class20() ? "+FCS:" : "+FDCS:") + (deliverFine ? "1" : "0") + ",5,0,2,0,0,0,0");
        result("OK");
    }

    std::string receivePage() {
        if (!call || !call->incoming) return "ERROR";
        if (lastRefused && damage.sentAgain) {  // the refused page comes again
            lastRefused = false;
            --delivered;
            --refused;
            log("< [page " + std::to_string(delivered + 1) + " sent again]");
        }
        if (delivered >= deliver.size()) {
            call->confirmedPages = static_cast<int>(delivered) - refused;
            say(hangupText(fax::HangupCode::Normal));
            finishCall(fax::HangupCode::Normal);
            return "OK";
        }
        if (!class20()) say("+FCFR");
        result("CONNECT");
        mode = Mode::WaitDc2;
        lastDataByte = now();
        return "";
    }

    void sendDeliveredPage() {
        std::string data;
        try {
            data = fs::readFile(deliver[delivered]);
        } catch (const Error& e) {
            log("! " + e.description());
        }
        ++delivered;
        // The far machine ends each page it sends with RTC, which a page
        // file need not hold.
        if (!data.empty()) data = fax::endedByRtc(std::move(data));
        log("< [page " + std::to_string(delivered) + ": " + std::to_string(data.size()) + " bytes]");
        // Two bytes of fill follow the page, as the line carries them
        // before the carrier drops: a host's decoder may need bits beyond
        // the last code of RTC to see it.
        data.append(2, '\0');
        // The damaged page, once: bad by the modem's check, or noise in
        // every fourth byte, which leaves no line whole.
        const bool damaged = damage.page == static_cast<int>(delivered);
        const bool badByModem = damaged && damage.badByModem;
        if (damaged) {
            damage.page = 0;
            log("< [page " + std::to_string(delivered) + (badByModem ? ": bad by the modem]" : ": damaged by noise]"));
            for (std::size_t i = 0; !badByModem && i < data.size(); i += 4) data[i] = static_cast<char>(data[i] ^ 0x5A);
        }
        lastRefused = badByModem;
        refused += badByModem ? 1 : 0;
        // Class 2 modems of the draft standard hand received data to the
        // host in the reverse of the order they take it for sending; the
        // fax programs written for them expect that.
        if (((bitOrder & 1) != 0) != (modemClass == 2)) data = reversedBitOrder(std::move(data));
        bool dleSub;
        {
            std::lock_guard<std::mutex> lock(modem.mutex_);
            dleSub = modem.dleSub_;
        }
        for (std::size_t i = 0; i < data.size(); ++i) {
            output += data[i];
            if (data[i] != kDle) continue;
            if (dleSub && i + 1 < data.size() && data[i + 1] == kDle) {
                output += kSub;
                ++i;
            } else {
                output += kDle;
            }
        }
        output += kDle;
        output += kEtx;
        mode = Mode::Command;
        say(std::string(class20() ? "+FPS:" : "+FPTS:") + (badByModem ? "2" : "1"));
        say(std::string("+FET:") + (delivered < deliver.size() ? "0" : "2"));
        result("OK");
    }

    // --- the command interpreter ---

    bool classAllows(const std::string& name) const {
        static const std::vector<std::string> class2Only = {"FDCC", "FDIS", "FLID", "FBOR", "FPTS"};
        static const std::vector<std::string> class20Only = {"FCC", "FIS", "FLI", "FBO", "FPS", "FNR"};
        if (modemClass != 2 && modemClass != 20) return true;
        const auto& others = modemClass == 2 ? class20Only : class2Only;
        return std::find(others.begin(), others.end(), name) == others.end();
    }

    // One extended command (+F...): its name, and what follows it.
    std::string extended(const std::string& name, const std::string& arg) {
        const bool query = arg == "?";
        const bool range = arg == "=?";
        const bool set = !query && !range && !arg.empty() && arg[0] == '=';
        const std::string value = set ? arg.substr(1) : std::string();
        if (!classAllows(name)) return "ERROR";
        if (name == "FCLASS") {
            if (range) {
                say(modem.classesText());
                return "OK";
            }
            if (query) {
                say(modemClass == 20 ? "2.0" : std::to_string(modemClass));
                return "OK";
            }
            if (!set) return "ERROR";
            for (const std::string& offered : fields(modem.classesText()))
                if (offered == value) {
                    modemClass = value == "2.0" ? 20 : std::atoi(value.c_str());
                    return "OK";
                }
            return "ERROR";
        }
        const bool faxClass = modemClass == 2 || modemClass == 20;
        if (name == "FLID" || name == "FLI") {
            if (query) say("\"" + localId + "\"");
            else if (range) say("(20),(32-127)");
            else if (set) localId = unquote(value);
            return "OK";
        }
        if (name == "FDCC" || name == "FCC" || name == "FDIS" || name == "FIS") {
            auto& target = (name == "FDIS" || name == "FIS") ? session : capabilities;
            const int fastest = maxBitRate();
            if (query) say(joined(target));
            else if (range) say("(0,1),(0-" + std::to_string(fastest) + "),(0-4),(0-2),(0),(0),(0),(0-7)");
            else if (set) {
                auto given = fields(value);
                int rate = 0;
                if (given.size() > 1 && readNumber(given[1], rate) && rate > fastest) return "ERROR";
                for (std::size_t i = 0; i < given.size() && i < target.size(); ++i)
                    if (!given[i].empty()) target[i] = given[i];
                if (&target == &capabilities) session = capabilities;
            }
            return "OK";
        }
        if (name == "FBOR" || name == "FBO") {
            int order = 0;
            if (query) say(std::to_string(bitOrder));
            else if (range) say("(0-3)");
            else if (set) {
                if (!readNumber(value, order) || order > 3) return "ERROR";
                bitOrder = order;
            }
            return "OK";
        }
        if (name == "FNR") {
            if (query) say(std::string(reports[0] ? "1" : "0") + "," + (reports[1] ? "1" : "0") + "," +
                           (reports[2] ? "1" : "0") + "," + (reports[3] ? "1" : "0"));
            else if (range) say("(0,1),(0,1),(0,1),(0,1)");
            else if (set) {
                auto given = fields(value);
                if (given.size() > reports.size()) return "ERROR";
                std::array<bool, 4> next = reports;
                for (std::size_t i = 0; i < given.size(); ++i) {
                    int on = 0;
                    if (given[i].empty()) continue;
                    if (!readNumber(given[i], on) || on > 1) return "ERROR";
                    next[i] = on == 1;
                }
                reports = next;
            } else return "ERROR";
            return "OK";
        }
        if (name == "FLO" || name == "FCR") {
            int& target = name == "FLO" ? flowControl : receiving;
            const int highest = name == "FLO" ? 2 : 1;
            int v = 0;
            if (query) say(std::to_string(target));
            else if (range) say(name == "FLO" ? "(0-2)" : "(0,1)");
            else if (!set || !readNumber(value, v) || v > highest) return "ERROR";
            else if (name == "FLO" && v == 2 && noRtsCts()) return "ERROR";
            else target = v;
            return "OK";
        }
        if (name == "FMFR" || name == "FMI") {
            if (query) say("faxgate");
            return "OK";
        }
        if (name == "FMDL" || name == "FMM") {
            if (query) say("software Class 2 / 2.0 fax modem");
            return "OK";
        }
        if (name == "FREV" || name == "FMR") {
            if (query) say("1.0");
            return "OK";
        }
        if (name == "FDT") {
            if (!faxClass) return "ERROR";
            if (set && !class20()) {  // Class 2 carries the session parameters here
                auto given = fields(value);
                for (std::size_t i = 0; i < given.size() && i < session.size(); ++i)
                    if (!given[i].empty()) session[i] = given[i];
            }
            return startPage();
        }
        if (name == "FET") {
            int ppm = 0;
            if (!faxClass || !set || !readNumber(value, ppm) || ppm > 2) return "ERROR";
            return postPage(static_cast<Ppm>(ppm));
        }
        if (name == "FDR") {
            if (!faxClass) return "ERROR";
            return receivePage();
        }
        if (name == "FK" || name == "FKS") {
            if (call) {
                say(hangupText(fax::HangupCode::Aborted));
                finishCall(fax::HangupCode::Aborted);
            }
            return "OK";
        }
        if ((name == "FPTS" || name == "FPS") && set) {
            // The host's answer to a delivered page: 1 MCF, else refused.
            int status = 1;
            if (!readNumber(value, status)) return "ERROR";
            if (call && call->incoming && delivered > 0 && (status != 1) != lastRefused) {
                refused += status != 1 ? 1 : -1;
                lastRefused = status != 1;
            }
            return "OK";
        }
        // Class 1 is not modelled.
        if (name == "FTM" || name == "FRM" || name == "FTH" || name == "FRH" || name == "FTS" || name == "FRS")
            return "ERROR";
        return "OK";  // a setting the software modem does not model
    }

    // Runs a command line (without "AT"); answers its result code, "" when
    // a dial, answer or data phase gives its own.
    std::string execute(const std::string& body) {
        std::size_t i = 0;
        auto number = [&](int fallback) {
            std::size_t start = i;
            while (i < body.size() && std::isdigit(static_cast<unsigned char>(body[i])) && i - start < 6) ++i;
            return i == start ? fallback : std::atoi(body.substr(start, i - start).c_str());
        };
        while (i < body.size()) {
            const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(body[i])));
            if (c == ' ' || c == ';') {
                ++i;
                continue;
            }
            if (c == '+') {
                std::size_t start = ++i;
                while (i < body.size() && (std::isalnum(static_cast<unsigned char>(body[i])) || body[i] == '.'))
                    ++i;
                const std::string name = upper(body.substr(start, i - start));
                start = i;
                bool quoted = false;
                while (i < body.size() && (quoted || body[i] != ';')) {
                    if (body[i] == '"') quoted = !quoted;
                    ++i;
                }
                std::string arg = body.substr(start, i - start);
                while (!arg.empty() && arg.back() == ' ') arg.pop_back();
                if (name.empty()) return "ERROR";
                std::string code = extended(name, arg);
                if (code != "OK") return code;
                continue;
            }
            ++i;
            if (c == 'D') {
                dial(body.substr(i));
                return "";
            }
            if (c == 'A') {
                answer();
                return "";
            }
            if (c == 'S') {
                int reg = number(-1);
                if (reg < 0 || reg > 255) return "ERROR";
                if (i < body.size() && body[i] == '?') {
                    ++i;
                    char text[8];
                    std::snprintf(text, sizeof text, "%03d", sRegisters[reg]);
                    say(text);
                } else if (i < body.size() && body[i] == '=') {
                    ++i;
                    int value = number(0);
                    if (value > 255) return "ERROR";
                    sRegisters[reg] = value;
                }
                continue;
            }
            if (c == '&' || c == '\\' || c == '%') {
                const char which = i < body.size() ? static_cast<char>(std::toupper(static_cast<unsigned char>(body[i]))) : 0;
                if (which) ++i;
                number(0);
                if (c == '&' && which == 'F') reset();
                continue;
            }
            if (!std::isalpha(static_cast<unsigned char>(c))) return "ERROR";
            const int value = number(0);
            switch (c) {
            case 'E': echo = value != 0; break;
            case 'V': verbose = value != 0; break;
            case 'Q': quiet = value != 0; break;
            case 'T': dialMode = 'T'; break;
            case 'P': dialMode = 'P'; break;
            case 'Z': reset(); break;
            case 'H':
                if (call && (call->incoming || connected)) {
                    say(hangupText(fax::HangupCode::Aborted));
                    finishCall(fax::HangupCode::Aborted);
                }
                if (hangUpDelay() > std::chrono::milliseconds(0)) {
                    mode = Mode::HangingUp;
                    releaseAt = now() + hangUpDelay();
                    heldInput.clear();
                    return "";
                }
                break;
            case 'I':
                say(value == 0 ? "software fax modem" : "faxgate");
                break;
            case 'O': return "NO CARRIER";
            default: break;  // X, M, L, W, B, N...: accepted
            }
        }
        return "OK";
    }

    void commandLine(std::string text) {
        log("> " + text);
        if (mode == Mode::Mute) {
            finishCall(-1);  // the modem that stopped answering is reset by the host
            return;
        }
        if (lineTooLong) {
            result("ERROR");
            return;
        }
        if (text.size() >= 2 && upper(text.substr(0, 2)) == "A/") text = lastLine;
        if (text.size() < 2 || upper(text.substr(0, 2)) != "AT") {
            result("ERROR");
            return;
        }
        lastLine = text;
        result(execute(text.substr(2)));
    }

    void stray(char c) {
        if (c == '\n') return;  // the LF of a host's CR LF line end
        std::lock_guard<std::mutex> lock(modem.mutex_);
        ++modem.strayBytes_;
    }

    void commandByte(char c) {
        if (echo && mode == Mode::Command) output += c;
        // The line end and the backspace stay CR and BS whatever S3 and S5
        // are set to: a host that sets them otherwise would lock itself out.
        if (c == '\r') {
            std::string text = std::move(line);
            line.clear();
            if (!text.empty()) commandLine(text);
            lineTooLong = false;
            return;
        }
        if (c == '\b') {
            if (!line.empty()) line.pop_back();
            return;
        }
        // Bytes of no command line are dropped, and counted: page data that
        // reaches a modem in command state shows so, not only as commands.
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return stray(c);
        if (line.empty() && std::toupper(static_cast<unsigned char>(c)) != 'A') return stray(c);
        if (line.size() == 1 && c != '/' && std::toupper(static_cast<unsigned char>(c)) != 'T') {
            line.clear();
            if (std::toupper(static_cast<unsigned char>(c)) == 'A') line += c;
            return;
        }
        if (line.size() >= kMaxCommandLine) {
            lineTooLong = true;
            return;
        }
        line += c;
        if (line.size() == 2 && line[1] == '/') {
            line.clear();
            commandLine("A/");
        }
    }

    void input(const char* bytes, std::size_t count) {
        lastInput = now();
        for (std::size_t k = 0; k < count; ++k) {
            const char c = bytes[k];
            switch (mode) {
            case Mode::PageIn:
                if (hostLineStopped) {  // the rest was on its way as the XOFF went
                    onHostLine.append(bytes + k, count - k);
                    return;
                }
                pageByte(c);
                break;
            case Mode::Hold:
            case Mode::HangingUp:
                if (heldInput.size() < kMaxCommandLine * 64) heldInput += c;
                break;
            case Mode::WaitDc2:
                if (c == kDc2 || c == kDc1) sendDeliveredPage();
                break;
            case Mode::Command:
            case Mode::Mute:
                if (call && call->incoming && softwareFlow() && (c == kDc3 || c == kDc1)) {
                    outputPaused = c == kDc3;
                    break;
                }
                commandByte(c);
                break;
            }
        }
    }

    // A read of the master in packet mode: data, or the host's flush of
    // its output and its line no longer stopping on XOFF, in their order.
    void fromHost(const char* bytes, std::size_t count) {
        if (bytes[0] == TIOCPKT_DATA) {
            if (hostLineStopped) onHostLine.append(bytes + 1, count - 1);
            else input(bytes + 1, count - 1);
            return;
        }
        if (bytes[0] & TIOCPKT_FLUSHWRITE) onHostLine.clear();
        if ((bytes[0] & TIOCPKT_NOSTOP) && hostLineStopped) lineRuns();
    }
    void lineRuns() {
        hostLineStopped = false;
        std::string bytes = std::move(onHostLine);
        onHostLine.clear();
        if (!bytes.empty()) input(bytes.data(), bytes.size());
    }

    // The host closed the device: like a dropped DTR, it ends the call.
    void hostClosed() {
        // What the host did to its stopped line before it closed comes first.
        pollfd status{master.get(), POLLPRI, 0};
        char st = 0;
        if (hostLineStopped && ::poll(&status, 1, 0) > 0 && (status.revents & POLLPRI) && ::read(master.get(), &st, 1) == 1)
            fromHost(&st, 1);
        hostLineStopped = false;
        onHostLine.clear();
        log("> [device closed]");
        if (call) finishCall(fax::HangupCode::Aborted);
        mode = Mode::Command;
        heldInput.clear();
        line.clear();
        output.clear();
        outputPaused = false;
        tcflush(slave.get(), TCIFLUSH);
    }

    // Rings when a call waits, the host has the device open and the line
    // has been quiet; answers by itself after S0 rings.
    bool mayRing() {
        if (call || mode != Mode::Command || hostOpens <= 0 || !line.empty()) return false;
        std::lock_guard<std::mutex> lock(modem.mutex_);
        return !modem.rings_.empty();
    }

    void ringTimer() {
        if (!mayRing()) return;
        const auto t = now();
        if (t < lastInput + kQuietBeforeRing || t < nextRing) return;
        if (rings >= kMaxRings) {
            std::lock_guard<std::mutex> lock(modem.mutex_);
            modem.rings_.erase(modem.rings_.begin());
            rings = 0;
            return;
        }
        ++rings;
        nextRing = t + kRingInterval;
        result("RING");
        if (sRegisters[0] > 0 && rings >= sRegisters[0]) answer();
    }

    std::optional<std::chrono::milliseconds> nextDeadline() {
        std::optional<std::chrono::milliseconds> deadline;
        if (mayRing()) deadline = std::max(lastInput + kQuietBeforeRing, nextRing);
        if (mode == Mode::PageIn || mode == Mode::WaitDc2) {
            auto idle = lastDataByte + kDataIdle;
            deadline = deadline ? std::min(*deadline, idle) : idle;
        }
        if (mode == Mode::Hold || mode == Mode::HangingUp) deadline = deadline ? std::min(*deadline, releaseAt) : releaseAt;
        if (xoffSent) deadline = deadline ? std::min(*deadline, drainAt) : drainAt;
        return deadline;
    }

    void dataTimer() {
        if ((mode == Mode::PageIn || mode == Mode::WaitDc2) && now() >= lastDataByte + kDataIdle) {
            log("> [no data for " + std::to_string(kDataIdle.count()) + " ms]");
            say(hangupText(kHangDataUnderflow));
            result("ERROR");
            finishCall(kHangDataUnderflow);
        }
    }

    void watchEvents() {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            ssize_t n = ::read(watch.get(), buffer, sizeof buffer);
            if (n <= 0) return;
            for (ssize_t at = 0; at < n;) {
                auto* event = reinterpret_cast<inotify_event*>(buffer + at);
                if (event->mask & IN_OPEN) ++hostOpens;
                if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                    if (--hostOpens <= 0) {
                        hostOpens = 0;
                        hostClosed();
                    }
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

    void flush() {
        while (!output.empty() && !outputPaused) {
            ssize_t n = ::write(master.get(), output.data(), output.size());
            if (n > 0) {
                output.erase(0, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            return;  // full: poll says when it drains
        }
    }
};

std::string reversedBitOrder(std::string data) {
    for (char& c : data) c = static_cast<char>(kReversed[static_cast<unsigned char>(c)]);
    return data;
}

SoftwareFaxModem::SoftwareFaxModem(std::string pageFolder)
    : folder_(fs::withSlash(pageFolder)), state_(std::make_unique<State>(*this)) {
    State& s = *state_;
    s.reset();
    s.master.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!s.master || ::grantpt(s.master.get()) != 0 || ::unlockpt(s.master.get()) != 0)
        throw Error(75, std::string("no pseudo-terminal: ") + std::strerror(errno), "SoftwareFaxModem");
    char name[128];
    if (::ptsname_r(s.master.get(), name, sizeof name) != 0)
        throw Error(75, "no name for the pseudo-terminal", "SoftwareFaxModem");
    device_ = name;
    s.slave.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!s.slave) throw Error(75, "cannot open " + device_, "SoftwareFaxModem");
    termios tio{};
    if (::tcgetattr(s.slave.get(), &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(s.slave.get(), TCSANOW, &tio);
    }
    ::fcntl(s.master.get(), F_SETFL, ::fcntl(s.master.get(), F_GETFL) | O_NONBLOCK);
    // Packet mode: the host's flush of its output shows.
    int packet = 1;
    ::ioctl(s.master.get(), TIOCPKT, &packet);
    s.watch.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!s.watch || ::inotify_add_watch(s.watch.get(), name, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0)
        throw Error(75, "cannot watch " + device_, "SoftwareFaxModem");
    s.wake.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!s.wake) throw Error(75, "no eventfd", "SoftwareFaxModem");
    fs::makeFolders(folder_);
    thread_ = std::thread([this] { run(); });
}

SoftwareFaxModem::~SoftwareFaxModem() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(state_->wake.get(), &one, sizeof one);
    if (thread_.joinable()) thread_.join();
}

const std::string& SoftwareFaxModem::devicePath() const { return device_; }

void SoftwareFaxModem::setStation(const std::string& number, Station station) {
    std::lock_guard<std::mutex> lock(mutex_);
    stations_[dialKey(number)] = std::move(station);
}

void SoftwareFaxModem::setDleSub(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    dleSub_ = on;
}

void SoftwareFaxModem::setMaxBitRate(int bitRate) {
    std::lock_guard<std::mutex> lock(mutex_);
    maxBitRate_ = bitRate;
}

void SoftwareFaxModem::setDc2Start(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    dc2Start_ = on;
}

void SoftwareFaxModem::setStoredProfile(bool digitResults, bool quiet) {
    std::lock_guard<std::mutex> lock(mutex_);
    digitResults_ = digitResults;
    quietProfile_ = quiet;
}

void SoftwareFaxModem::setDamage(Damage damage) {
    std::lock_guard<std::mutex> lock(mutex_);
    damage_ = damage;
}

void SoftwareFaxModem::setNoRtsCts(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    noRtsCts_ = on;
}

void SoftwareFaxModem::setHangUpDelay(std::chrono::milliseconds delay) {
    std::lock_guard<std::mutex> lock(mutex_);
    hangUpDelay_ = delay;
}

void SoftwareFaxModem::setClasses(const std::string& classes) {
    std::lock_guard<std::mutex> lock(mutex_);
    classes_ = classes;
}

std::string SoftwareFaxModem::classesText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return classes_;
}

bool SoftwareFaxModem::waitForCalls(std::size_t count, std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, bound, [&] { return calls_.size() >= count; });
}

std::vector<SoftwareFaxModem::Call> SoftwareFaxModem::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::size_t SoftwareFaxModem::strayBytesForTest() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return strayBytes_;
}

std::vector<std::string> SoftwareFaxModem::transcript() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return transcript_;
}

void SoftwareFaxModem::ring(std::vector<std::string> g3Pages, std::string remoteId, bool fine) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        rings_.push_back({std::move(g3Pages), std::move(remoteId), fine});
    }
    std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(state_->wake.get(), &one, sizeof one);
}

void SoftwareFaxModem::run() {
    State& s = *state_;
    char buffer[4096];
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
        }
        s.flush();
        pollfd fds[3] = {{s.master.get(), POLLIN, 0}, {s.watch.get(), POLLIN, 0}, {s.wake.get(), POLLIN, 0}};
        if (!s.output.empty() && !s.outputPaused) fds[0].events |= POLLOUT;
        int timeout = -1;
        if (auto deadline = s.nextDeadline()) {
            auto left = std::max(*deadline - s.now(), std::chrono::milliseconds(0));
            auto real = std::chrono::ceil<std::chrono::milliseconds>(clock().realDuration(left));
            timeout = static_cast<int>(std::min<long long>(real.count() + 1, 60000));
        }
        int ready = ::poll(fds, 3, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[2].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] ssize_t n = ::read(s.wake.get(), &count, sizeof count);
        }
        if (fds[0].revents & (POLLERR | POLLNVAL)) return;  // the pseudo-terminal is gone
        if (fds[1].revents & POLLIN) s.watchEvents();
        if (fds[0].revents & POLLIN) {
            ssize_t n = ::read(s.master.get(), buffer, sizeof buffer);
            if (n > 0) s.fromHost(buffer, static_cast<std::size_t>(n));
        }
        s.releaseTimer();
        s.drainTimer();
        s.dataTimer();
        s.ringTimer();
    }
}

}  // namespace fg::testing
