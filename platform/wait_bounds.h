// Bounds on the waits for other processes and lines that an operator may
// need to change, read from waits.xml in the program folder:
//
//   <?xml version="1.0" encoding="Shift_JIS"?>
//   <Waits>
//     <PrintStart>600000</PrintStart>  milliseconds a print waits for another process's print
//     <SendPage>600000</SendPage>      milliseconds a send may take per page, and once more for the call
//     <SendJob>14400000</SendJob>      milliseconds a client waits for the end of its fax-send job
//     <SendServerAnswer>180000</SendServerAnswer>  milliseconds a fax-send server may leave its
//                                                  client's probe unanswered before it is taken
//                                                  for hung and killed
//     <TelephoneWait>5000</TelephoneWait>        milliseconds a telephone request waits for the
//                                                management-number store
//     <TelephoneUpload>30000</TelephoneUpload>   milliseconds the uploads of one telephone decision
//                                                may take together (a second decision of the same
//                                                number waits this and TelephoneWait for the first)
//   </Waits>
//
// Every element is optional; a missing file gives the defaults shown. Times
// are in the system's time (the platform clock). A file that does not parse,
// or a value that is not a positive whole number, is written to the error
// log (source "WaitBounds") and the default is used in its place: a wait
// keeps a bound whatever the file says.
#pragma once

#include <chrono>
#include <string>

namespace fg {

struct WaitBounds {
    std::chrono::milliseconds printStart{600000};
    std::chrono::milliseconds sendPage{600000};
    std::chrono::milliseconds sendJob{14400000};
    // A server answers between the polls of its send; only a stopped or hung
    // one leaves a probe for minutes.
    std::chrono::milliseconds sendServerAnswer{180000};
    // A supplier waits on the line: a few seconds, not the minutes a server
    // process may wait.
    std::chrono::milliseconds telephoneWait{5000};
    std::chrono::milliseconds telephoneUpload{30000};

    static constexpr const char* kFileName = "waits.xml";
    static constexpr const char* kSource = "WaitBounds";

    // Reads waits.xml of the program folder. Never raises.
    static WaitBounds load() noexcept;
};

// "N 秒" for a bound, for the messages that tell which bound expired.
std::string secondsText(std::chrono::milliseconds bound);

}  // namespace fg
