// A fax engine over real fax lines: a Class 2 or Class 2.0 fax modem on a
// serial device per port (faxports.xml maps the port numbers to devices,
// see modem_ports.h).
//
// PortOpen locks and opens the device (serial_line.h), sends the
// initialisation string (whose answer may be OK, "0" or none, from a modem
// whose stored profile gives digit results or none), then ATQ0V1, which
// must answer OK, so that the modem answers in text from then on; unless a fax
// class is set already it asks the modem's classes (AT+FCLASS=?) and fails
// when it offers neither Class 2 nor 2.0. The settings (line type, modem
// class, resolution, local ID, scan time, bit rate) may be given before
// PortOpen as well: they are kept for the next port that opens. The class
// and the session settings go to the modem with the first call, when the
// settings handed over after the opening are known; a later call sends only
// the commands whose values have changed (asking AT+FCLASS? first: a modem
// that has left its fax class, or was reset by a drop of DTR, takes the
// whole set-up again):
//
//   Class 2                       Class 2.0
//   AT+FCLASS=2                   AT+FCLASS=2.0    (auto-detect: AT+FCLASS=?,
//                                                   2.0 where offered, else 2)
//                                 AT+FNR=1,1,1,0   report the far end's ID,
//                                                   capabilities and session
//                                 AT+FLO=2         RTS/CTS flow control, as
//                                                   the serial line runs it;
//                                 (AT+FLO=1)       refused: XON/XOFF instead
//   AT+FBOR=0                     AT+FBO=0         pages as they are stored:
//                                                   least significant bit first
//   AT+FLID="<local ID>"          AT+FLI="<local ID>"
//   AT+FDCC=vr,br,0,2,0,0,0,st    AT+FCC=vr,br,0,2,0,0,0,st
//   AT+FCR=1                      AT+FCR=1
//
// vr is 1 for fine (resolution 0) and 0 for normal, br the bit rate setting
// (0 = 2400 .. 5 = 14400 bit/s), st the scan time setting (0 .. 7). A modem
// that refuses AT+FDCC / AT+FCC (a bit rate beyond it) is asked what it
// offers (AT+FDCC=? / AT+FCC=?) and given the values within that. Class 2
// has no flow control command of its own: the initialisation string sets
// RTS/CTS (AT&K3 on most modems).
//
// Asked for Class 2 or 2.0 (SetModemClass 2 or 3), a modem that offers only
// the other of the two is driven in the one it offers, and the trace says
// so: known from the opening's AT+FCLASS=? where the opening asked, else
// asked (AT+FCLASS=?) once the modem refuses the class asked for.
//
// Flow control: a Class 2.0 modem that refuses AT+FLO=2 is set to XON/XOFF
// (AT+FLO=1) and the serial line drops RTS/CTS. Under XON/XOFF, and always
// with a Class 2 modem (whose profile may use it), the line stops on the
// modem's XOFF while a page's data goes out and its end waits for the
// modem's answer, and only then: elsewhere the bytes 0x11 and 0x13 are data.
//
// Stale input: what the modem sent before a command line (a late answer to
// a command given up on, a RING) is dropped, and traced, before the line
// goes out, so that no answer is taken for a command it does not answer;
// every call begins with a command. After a call that the modem did not
// end itself, ATH0 hangs up; a modem that does not answer it with OK, or
// that may still owe an answer (a wait of the call ended without one), has
// DTR dropped, must answer a plain AT, and has the answers it still owed
// read and dropped until the line has been quiet for a second, before the
// next call.
//
// A send dials (ATDT, or ATDP for pulse lines) and, per page, asks for the
// page (AT+FDT, then in Class 2 the modem's XON or DC2), writes the page's
// T.4 data with DLE doubled and ends it: Class 2 with DLE ETX and AT+FET=0
// (more pages) or AT+FET=2 (the last), Class 2.0 with DLE "," or DLE ".". A
// page the far end refuses (+FPTS/+FPS 2 or 4) is sent again, up to three
// times; in Class 2 an OK to AT+FET without +FPTS (and without a hang-up
// but a normal one) is a page received. The session the modem reports
// before the page (+FDCS / +FCS) sets how it goes: a fine page into a
// normal-resolution session goes with every other line. A page wider than
// A4, or than the far end prints (+FDIS / +FIS), is not sent: BadImage.
// The trace names the resolution of each page sent.
// A receive answers a RING (ATA) and asks for each page (AT+FDR, then DC2),
// storing it least significant bit first whatever order the modem gives;
// in the data, DLE DLE and DLE SUB stand for one and two DLE bytes. A page
// that cannot be read is asked for again (AT+FPTS=2 / AT+FPS=2); it, and a
// page the modem reports bad, is kept as it came under its number. The far
// end's copy sent again takes its place; a page not sent again stays, and
// its damage goes to the error log.
//
// Results:
//   BUSY                          LineBusy     hang-up from the modem, or 0x10
//   NO ANSWER                     NoAnswer     ... or 0x04
//   NO CARRIER, NO DIALTONE,
//   ERROR before connecting       NoAnswer     ... or 0x11, 0x03, 0x10
//   the call lost once connected, LineDropped  ... or 0x25 (before the first
//   or a page's end that the                   page), 0x52 (between pages),
//   modem never acknowledged                   0x54 (after the last page)
//   a page refused three times    LineDropped  the modem's after an abort
//                                              (AT+FK / AT+FKS), or 0x02
//   the port closed in the call   Aborted      0x02
//   no answer from the modem      ModemSilent  0x02
//   the device lost               DeviceFailed 0x02
// PortOpen answers ModemRefused when the modem refuses the initialisation
// string or offers neither fax class, ModemSilent when it does not answer;
// a call answers ModemRefused when the modem refuses its class.
// A receive whose answer (ATA) finds no fax call gives NoCall, a call lost
// between pages LineDropped with the modem's code (or 0x73).
// Class 2 reports its hang-up codes in decimal ("+FHNG:52"), Class 2.0 in
// hexadecimal ("+FHS:52"); both mean the same code, kept as the engine's
// HangupCode values (0x52).
//
// Every wait on the modem has a bound in the system's time; a modem that
// stops answering fails the call, which then hangs up and leaves the port
// open for the next call. What the modem sends is never trusted: lines are
// bounded, bytes that are no text are dropped, and nothing it sends keeps a
// wait from ending. The trace (option 1 or 2) has every command and every
// answer line with its time, and the size of each page, never its data.
#pragma once

#include "platform/fax_engine/engine_base.h"
#include "platform/fax_engine/port_table.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace fg::fax {

class ModemFaxEngine : public FaxEngineBase {
public:
    ModemFaxEngine();
    ~ModemFaxEngine() override;

    std::int16_t PortOpen(std::int32_t* handle, std::int16_t port, const char* initString) override;
    std::int16_t PortClose(std::int32_t handle) override;
    std::int16_t SetLineType(std::int32_t handle, std::int16_t lineType) override;
    std::int16_t SetLocalID(std::int32_t handle, const char* localId) override;
    std::int16_t SetModemClass(std::int32_t handle, std::int16_t modemClass) override;
    std::int16_t SetResolution(std::int32_t handle, std::int32_t resolution) override;
    std::int16_t WaitForRing(std::int32_t handle, std::int16_t* status) override;
    std::int16_t GetCommHandle(std::int32_t handle, std::int32_t* comm) override;
    std::int16_t SetScanTime(std::int32_t handle, std::int16_t scanTime) override;
    std::int16_t SetBitRate(std::int32_t handle, std::int16_t bitRate) override;

    struct Settings {
        std::int16_t lineType = 0;
        std::int16_t modemClass = 0;
        std::int32_t resolution = 0;
        std::string localId;  // code page 932
        std::int16_t scanTime = 0;
        std::int16_t bitRate = 5;
    };
    struct Port;

private:
    std::shared_ptr<CallState> callState(std::int32_t handle) override;
    std::int16_t sendCall(CallState& port, SendRequest& request) override;
    std::int16_t receiveCall(CallState& port, const std::string& file, std::int16_t& pages,
                             const std::string& tag) override;
    std::shared_ptr<Port> find(std::int32_t handle);
    // Changes a setting of the port the handle names, and of every port
    // opened after.
    template <class Change>
    std::int16_t setting(std::int32_t handle, Change change);

    std::mutex mutex_;
    Settings next_;  // guarded by mutex_
    PortTable<Port> ports_;  // last, so that its ports are told they are closed first
};

}  // namespace fg::fax
