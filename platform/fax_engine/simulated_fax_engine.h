// A fax engine over simulated fax lines: folders that stand for the modems
// of the server, so that the whole send and receive path runs, with its
// timing and its failures, on a machine without a modem.
//
// Layout, below the program folder (names matched without regard to case):
//
//   FaxLines/
//     COM<n>/                 the line of port number n; no folder, no port
//       line.xml              how the line behaves (optional, see below)
//       outbox/<nnnnnn>/      one folder per call placed, numbered 000001 up
//         fax.xml             the call: number dialled, local ID, resolution,
//                             line type, modem class, bit rate, pages asked,
//                             pages sent, status, result and hang-up code
//         p1.G3 ...           the pages, each landing when its transfer
//                             time has passed
//       inbox/<call>/         an incoming call waiting to be answered (put
//                             it in place with one rename; names beginning
//                             with "." are never seen)
//         p1.G3 ...           its pages
//         call.xml            optional: <Call><RemoteID>id</RemoteID></Call>
//
// line.xml, every element optional (times in milliseconds of the platform
// clock, so FAXGATE_TIME_SCALE and the test clocks govern them):
//
//   <FaxLine>
//     <ConnectTime>0</ConnectTime>      dialling and hand-shake
//     <PageTime>..</PageTime>           per page; when absent, the page's
//                                       coded size at the bit rate set
//     <RingTimeout>60000</RingTimeout>  how long WaitForRing waits
//     <RemoteID>..</RemoteID>           the called station (default: the
//                                       number dialled)
//     <Failure times="n">busy|noanswer|drop</Failure>
//                                       every call fails so, or only the next
//                                       n calls (the count goes down as they
//                                       fail)
//     <DropAfterPage>n</DropAfterPage>  for "drop": pages that get through
//     <HoldEnd>name</HoldEnd>           while a file of this name is in the
//                                       line folder, a send whose last page
//                                       has landed waits before it ends (for
//                                       tests that stop a sender there)
//   </FaxLine>
//
// Results and hang-up codes:
//   busy       LineBusy,    hang-up 0x10 (transmit phase A error)
//   noanswer   NoAnswer,    hang-up 0x04 (ringback, no answer)
//   drop       LineDropped, hang-up 0x25 before the first page, 0x52 after
//              a page with more to come, 0x54 after the last page (the
//              pages got through but the call was not confirmed); on a
//              receive 0x73
// A port is open in one program at a time: PortOpen holds a lock on the
// line folder until PortClose (or the engine's end), and a second open gets
// PortBusy. Closing a port during a call ends the call at its next step
// (Aborted, hang-up 0x02). A received call leaves the inbox only when all
// of its pages are written; a call that fails stays for the next answer.
#pragma once

#include "platform/fax_engine/engine_base.h"
#include "platform/fax_engine/port_table.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace fg::fax {

class SimulatedFaxEngine : public FaxEngineBase {
public:
    static constexpr const char* kLinesFolder = "FaxLines";
    // The program folder's "FaxLines/".
    static std::string defaultLinesFolder();

    explicit SimulatedFaxEngine(std::string linesFolder = defaultLinesFolder());
    ~SimulatedFaxEngine() override;

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

    struct Port;
    struct Line;

private:
    std::shared_ptr<CallState> callState(std::int32_t handle) override;
    std::int16_t sendCall(CallState& port, SendRequest& request) override;
    std::int16_t receiveCall(CallState& port, const std::string& file, std::int16_t& pages,
                             const std::string& tag) override;
    std::shared_ptr<Port> find(std::int32_t handle);

    std::string linesFolder_;
    PortTable<Port> ports_;
};

}  // namespace fg::fax
