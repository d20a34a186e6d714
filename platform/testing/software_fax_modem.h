// A Class 2 / Class 2.0 fax modem in software on the master side of a
// pseudo-terminal: it answers the AT command set on the slave device that a
// fax program opens, plays the called station, and writes the pages it
// receives as G3 files (LSB first, one file a page, as our g3 codec and
// fax2tiff -3 read them). It can also ring and deliver pages.
//
// What the fax program sees, per command set (Class 2 form / Class 2.0 form):
//
//   ATD[T|P]<number>   +FCON / +FCO, +FCSI:"id" / +FCI:"id",
//                      +FDIS:<caps> / +FIS:<caps>, OK (Class 2.0: the ID
//                      and the capabilities only where +FNR asks for them)
//                      busy: BUSY; no answer: +FHNG:4 / +FHS:04, NO CARRIER;
//                      no carrier: +FHNG:11 / +FHS:11, NO CARRIER;
//                      silent: nothing at all (see Outcome::Silent)
//   AT+FDT             +FDCS:<session> / +FCS:<session>, CONNECT, XON (DC2
//                      with setDc2Start; Class 2.0: no XON, see flow control
//                      below); then
//                      the page data (DLE doubled) up to DLE ETX -> OK, or in
//                      Class 2.0 up to DLE , / DLE ; / DLE . (the post-page
//                      message with the end of the page) -> +FPS:n, OK. The
//                      answer comes when the line would have carried the page
//                      (its bytes at the session's bit rate, in the platform
//                      clock's time): fax programs divide by the page's time.
//   AT+FET=0|1|2       +FPTS:n / +FPS:n (1 MCF, 2 RTN), after the last page
//                      +FHNG:0 / +FHS:00, OK
//   ATA (or S0=n)      receive, once AT+FCR=1 has been given (else NO
//                      CARRIER, and the call rings on): +FCON / +FCO,
//                      +FTSI:"id" / +FTI:"id", +FDCS / +FCS, OK; AT+FDR:
//                      [+FCFR,] CONNECT, and after
//                      the host's DC2 the page (DLE doubled, two bytes of fill,
//                      DLE ETX), then +FPTS:1 / +FPS:1, +FET:0|2, OK; the
//                      AT+FDR after the last page: +FHNG:0 / +FHS:00, OK. The
//                      host's +FPTS=n / +FPS=n other than 1 refuses the page.
//   ATH, AT+FK/+FKS    in a call: +FHNG:2 / +FHS:02, OK; closing the device
//                      ends a call the same way (hang-up code 2).
//
// Hang-up codes are those of ITU-T T.32: a call broken after page n answers
// the post-page message with +FHNG:52 / +FHS:52 (more pages were to come),
// 53 (EOM) or 54 (the last page) and ERROR, and AT+FDT before any page with
// 25; a data phase without a byte for 60 s ends with 43. Class 2 prints a
// code as its hexadecimal digits read as a decimal number ("52", "4"), Class
// 2.0 as two hexadecimal digits ("52", "04").
//
// Bit order: with +FBOR / +FBO bit 0 clear ("direct"), the first bit of each
// data byte on the serial link (its least significant bit) is the first bit
// on the telephone line, so the host's bytes are LSB first; with bit 0 set
// ("reversed"), its last bit (the most significant) is. Pages are written
// LSB first either way. A Class 2 modem hands received data to the host in
// the reverse order (MSB first at +FBOR=0), as the modems of that draft
// standard did and the fax programs written for them expect.
//
// Class 2.0 reports what AT+FNR=rpr,tpr,idr,nsr asks for, and nothing by
// default (ATZ): rpr the far end's capabilities (+FIS), tpr the session
// (+FCS), idr the IDs (+FCI, +FTI); non-standard frames are not modelled.
//
// Flow control (AT+FLO: 0 none, 1 XON/XOFF as after ATZ, 2 RTS/CTS) governs
// Class 2.0. The line is slower than the serial link, so the modem holds the
// host back; under XON/XOFF it sends XOFF once its buffer (2 KiB) is full
// and XON once the line has carried it down to half, and a host whose line
// does not stop on XOFF (the pseudo-terminal shows its IXON as the XOFF
// goes) overruns the modem: the page data it sends until the XON is lost
// (Call::lostBytes). Under RTS/CTS the pseudo-terminal's own buffer holds
// the host back, and XON/XOFF from the host are no flow control. A Class
// 2.0 modem sends no XON after CONNECT; a Class 2 modem sends it, and takes
// the host's XON/XOFF, whatever +FLO says. A modem without RTS/CTS (setNoRtsCts)
// refuses AT+FLO=2, and in Class 2 overruns as under XON/XOFF.
//
// The settings of one command set are refused (ERROR) while the other is in
// force: +FDCC, +FDIS, +FLID, +FBOR, +FPTS in Class 2.0; +FCC, +FIS, +FLI,
// +FBO, +FPS, +FNR in Class 2. Values out of range for +FNR, +FLO, +FCR,
// +FBOR / +FBO are ERROR. Other +F commands it does not model are answered
// OK; Class 1 commands (+FTM, +FRM, ...) ERROR; a dial in Class 0 or 1 NO
// CARRIER.
//
// Every command line received and every answer sent goes to the transcript
// ("> " and "< "; page data does not: a page shows as one line with its
// size). The modem echoes command lines while E1 is in force (the default,
// as on a real modem); ATZ and AT&F restore the defaults. Bytes that are not
// a command are ignored; a command line longer than a modem's buffer is
// answered ERROR; a page beyond 32 MiB drops the call.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fg::testing {

class SoftwareFaxModem {
public:
    // DialRefused: the dial answers ERROR and no call is made (a number
    // the modem will not dial).
    // DropMidPage: the call breaks while the modem holds back the data of
    // page n with XOFF (a modem that paces the host so, see flow control):
    // it reports +FHNG:40 / +FHS:40 and ERROR, and never sends the XON.
    // NoPageStatus: the far end takes every page, but the modem answers the
    // post-page message without +FPTS: / +FPS: (as some Class 2 modems do).
    enum class Outcome {
        Answer, Busy, NoAnswer, NoCarrier, DropAfterPage, RetrainPage, Silent, DialRefused, DropMidPage, NoPageStatus
    };
    struct Station {
        std::string remoteId = "+81 3 1234 5678";  // the called station's ID (+FCSI:/+FCI:)
        Outcome outcome = Outcome::Answer;
        // DropAfterPage: the call breaks after this page (0: before the
        // first one); RetrainPage: this page answered RTN (+FPTS:2 / +FPS:2)
        // once; Silent: the page after whose data the modem goes silent.
        int page = 0;
        // A far end that prints normal resolution only, and the widest line
        // it prints (its +FDIS: / +FIS: width: 0 A4, 3 A5, 4 A6): the session
        // keeps within both.
        bool normalOnly = false;
        int width = 0;
    };
    // Silent: the modem stops answering, as a modem that has hung: after
    // the dial command (page 0), or once the data of this page has ended
    // (the page is not written). The next command line the host sends ends
    // the call (unanswered, hang-up code -1) and the one after it is
    // answered again.

    struct Call {
        bool incoming = false;               // a call of ring(): the modem delivered pages
        std::string dialled;                 // the number as dialled (without ATDT/ATDP)
        char dialMode = 'T';                 // 'T' tone or 'P' pulse
        std::string localId;                 // what the sender set with +FLID/+FLI
        int modemClass = 0;                  // 2 or 20 (2.0) in force for the call
        bool fine = false;                   // vertical resolution of the session (+FDCC/+FDIS or +FCC/+FIS VR)
        std::vector<std::string> pages;      // the G3 files written for the pages received (on a ring: delivered)
        int confirmedPages = 0;              // pages answered MCF (delivered and confirmed on a ring)
        int hangupCode = -1;                 // the +FHNG:/+FHS: code the modem reported (-1: none)
        int bitOrder = 0;                    // +FBOR / +FBO in force for the pages
        int lostBytes = 0;                   // page data that overran the modem (see flow control)
    };

    // pageFolder: where received pages go ("<folder>call<k>_p<n>.g3").
    // Raises fg::Error when no pseudo-terminal can be had.
    explicit SoftwareFaxModem(std::string pageFolder);
    ~SoftwareFaxModem();  // stops the thread, closes the pty
    SoftwareFaxModem(const SoftwareFaxModem&) = delete;
    SoftwareFaxModem& operator=(const SoftwareFaxModem&) = delete;

    const std::string& devicePath() const;                // the slave device's path (/dev/pts/N)
    void setStation(const std::string& number, Station);  // how a dialled number behaves (default: Answer)
    // The answer to AT+FCLASS=? (default "0,1,2,2.0"); a class not named
    // there is refused by AT+FCLASS=.
    void setClasses(const std::string& classes);
    // A modem without RTS/CTS flow control: it refuses AT+FLO=2, and in
    // Class 2 it holds the host back with XOFF only (see flow control).
    void setNoRtsCts(bool on);
    // A modem slow to go on hook: ATH answers OK only this long (system
    // time) after it came; what the host sends meanwhile waits, and the rest
    // of the command line is dropped. 0 (the default) answers at once.
    void setHangUpDelay(std::chrono::milliseconds delay);
    // Received data with two DLE bytes in a row goes to the host as DLE SUB
    // (as some modems send it) instead of four DLEs; off by default.
    void setDleSub(bool on);
    // A modem slower than 14400 bit/s: it refuses (ERROR) a +FDCC / +FCC
    // with a bit rate setting above this one, keeping its own set-up, which
    // is normal resolution at its highest rate after ATZ; its "=?" offers
    // bit rates up to it. 5 (the default) takes every rate.
    void setMaxBitRate(int bitRate);
    // A Class 2 modem that starts page data with DC2 instead of XON.
    void setDc2Start(bool on);
    // The stored profile that ATZ and AT&F restore: result codes as digits
    // (V0), or none at all (Q1); text results (V1 Q0) by default.
    void setStoredProfile(bool digitResults, bool quiet);
    // A page of the next ring that comes damaged once (line noise all
    // through it, unreadable), or whose copy quality the modem reports as
    // bad (+FPTS:2 / +FPS:2 after it); the far end sends it again when it
    // is refused (+FPTS=n other than 1, or bad by the modem) if sentAgain,
    // else goes on with the next.
    struct Damage {
        int page = 0;  // 0: none
        bool badByModem = false;
        bool sentAgain = false;
    };
    void setDamage(Damage damage);
    bool waitForCalls(std::size_t count, std::chrono::milliseconds bound);  // waits for finished calls
    std::vector<Call> calls() const;
    std::vector<std::string> transcript() const;  // every command received and answer sent, in order
    // Bytes that came in command state as part of no command line (noise,
    // or page data the host sent after the modem left the data phase).
    std::size_t strayBytesForTest() const;
    // Receive side: the next time the DTE is idle, sends RING and, on ATA
    // (or auto-answer), delivers these G3 pages with this remote ID, at
    // fine or normal resolution. The DTE is idle when it has the device
    // open and has sent nothing for a moment; RING repeats every two
    // seconds, and after 30 unanswered RINGs the caller gives up.
    void ring(std::vector<std::string> g3Pages, std::string remoteId, bool fine = true);

private:
    struct State;  // the modem's thread's own: the pseudo-terminal, settings, the call
    void run();
    std::string classesText() const;
    std::string folder_;
    std::string device_;
    std::unique_ptr<State> state_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Station> stations_;
    std::string classes_ = "0,1,2,2.0";
    bool dleSub_ = false;
    bool noRtsCts_ = false;
    int maxBitRate_ = 5;
    bool dc2Start_ = false;
    bool digitResults_ = false, quietProfile_ = false;
    Damage damage_;
    std::chrono::milliseconds hangUpDelay_{0};
    std::vector<Call> calls_;
    std::vector<std::string> transcript_;
    std::size_t strayBytes_ = 0;
    struct Ring {
        std::vector<std::string> pages;
        std::string remoteId;
        bool fine = true;
    };
    std::vector<Ring> rings_;
    bool stopping_ = false;
    std::thread thread_;
};

// The bytes with the bits of each in the reverse order (LSB first to MSB
// first and back).
std::string reversedBitOrder(std::string data);

}  // namespace fg::testing
