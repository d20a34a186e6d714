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
#include "platform/process/event_pump.h"
#include "platform/process/line_service.h"
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

}  // namespace

int main(int argc, char** argv) {
    // A host that has gone makes the answer's write fail instead of ending us.
    fg::ignoreBrokenPipes();
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help") return usage();
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
