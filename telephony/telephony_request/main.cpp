// telephony_request: the telephone host's entry on this system.
//
//   telephony_request MEMBER [ARGUMENT...]   one request, bracketed by its own
//                                            run marker; prints the answer line
//   telephony_request --serve                answers one request line of standard
//                                            input at a time on standard output
//
// Exit codes of a one-shot request: 0 answered (whatever the member's result
// code), 1 the member failed, 2 the request cannot be called. See
// telephony/host_entry.h for the lines.
//
// The host starts this program afresh for every call, so it is built twice
// from this file: telephony_request, linked statically and without the EDI
// upload, starts in milliseconds; it runs telephony_request_full, linked
// with everything, in its own place for the decisions, which upload, and for
// the service, which may be asked anything.
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/process/event_pump.h"
#include "platform/process/line_service.h"
#include "platform/process/process.h"
#include "telephony/host_entry.h"
#include "telephony/telephony_control.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

int usage() {
    std::fputs("usage: telephony_request MEMBER [ARGUMENT...]\n"
               "       telephony_request --serve\n",
               stderr);
    return 2;
}

int serve(fg::TelephonyHostEntry& entry) {
    fg::EventPump pump;
    // Told to end, the service finishes the request at hand, deletes the
    // markers it holds and ends.
    for (auto request : {fg::EventPump::EndRequest::Terminate, fg::EventPump::EndRequest::Interrupt,
                         fg::EventPump::EndRequest::HangUp})
        pump.watchEndRequest(request, [&pump] { pump.quit(); });
    return entry.serve(pump, fg::kStandardInput, fg::kStandardOutput);
}

#ifdef TELEPHONY_FULL_PROGRAM
// Runs the full program, which lies beside this one, in this process's place
// with the same arguments: the host sees one process, its answer line and
// exit code. Returns only when it cannot, logged: the request is then served
// here, where every member answers as it always does but an upload fails
// (no_upload.cpp), so that the host still gets the member's own result codes
// (a decision that cannot upload answers its error result).
void handOver(const std::vector<std::string>& args) {
    try {
        fg::replaceProcess(fg::runningProgramFolder() + TELEPHONY_FULL_PROGRAM, args);
    } catch (const fg::Error& failed) {
        fg::Error error = failed;
        error.setSource(args[0]);
        fg::TelephonyErrorLog().writeError(error, true);
    }
}
#endif

}  // namespace

int main(int argc, char** argv) {
    // A host that has gone makes the answer's write fail instead of ending us.
    fg::ignoreBrokenPipes();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help") return usage();
#ifdef TELEPHONY_FULL_PROGRAM
    if (args[0] == "--serve" || fg::TelephonyHostEntry::uploads(args[0])) handOver(args);
#endif
    fg::TelephonyControl control;
    fg::TelephonyHostEntry entry(control);
    if (args[0] == "--serve") return args.size() == 1 ? serve(entry) : usage();
    fg::TelephonyHostEntry::Answer answer = entry.callOnce(args);
    std::string line = fg::TelephonyHostEntry::formatLine(answer.fields);
    std::fwrite(line.data(), 1, line.size(), stdout);
    if (std::fflush(stdout) != 0) return 1;
    switch (answer.outcome) {
    case fg::TelephonyHostEntry::Outcome::Answered: return 0;
    case fg::TelephonyHostEntry::Outcome::Raised: return 1;
    case fg::TelephonyHostEntry::Outcome::BadRequest: return 2;
    }
    return 1;
}
