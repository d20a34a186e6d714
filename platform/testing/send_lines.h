// Simulated send lines for tests and benchmarks that send faxes.
#pragma once

#include "platform/files.h"
#include "platform/text.h"

#include <string>

namespace fg::testing {

// A line on which every call connects and every page goes at once.
inline const std::string kLineAtOnce = "<ConnectTime>0</ConnectTime><PageTime>0</PageTime>";

// The line file COM<port> of the home's simulated lines: `line` inside
// FaxLine (its ConnectTime, PageTime and faults).
inline void writeLine(const std::string& home, int port, const std::string& line) {
    const std::string folder = home + "FaxLines/COM" + std::to_string(port) + "/";
    fs::makeFolders(folder);
    fs::writeFileAtomic(folder + "line.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><FaxLine>" + line + "</FaxLine>");
}

// Send lines 1 to `sendLines`, each behaving as `line` says (by default a
// send ends at once), and port `sendLines` + 1 the receive line with the
// pilot number: the modem file at `modemFile`, the lines under `home`.
inline void writeSendLines(const std::string& home, const std::string& modemFile, int sendLines,
                           const std::string& line = kLineAtOnce) {
    std::string body = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Modems>";
    for (int p = 1; p <= sendLines + 1; ++p) {
        const bool pilot = p == sendLines + 1;
        body += "<Modem><PortNo>" + std::to_string(p) + "</PortNo><InitString>ATZ</InitString><LineType>0</LineType>"
                "<Usefulness>" + std::string(pilot ? "0" : "1") + "</Usefulness><PilotFlag>" + (pilot ? "1" : "0") +
                "</PilotFlag><PilotFAXNumber>" + (pilot ? "0312340000" : "") + "</PilotFAXNumber></Modem>";
        if (!pilot) writeLine(home, p, line);
    }
    fs::writeFileAtomic(modemFile, text::toCp932(body + "</Modems>"));
}

}  // namespace fg::testing
