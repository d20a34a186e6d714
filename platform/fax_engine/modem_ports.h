// Which serial device stands behind each port number of the modem engine,
// read from faxports.xml in the program folder:
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <FaxPorts>
//     <LockFolder>/var/lock/</LockFolder>   where the UUCP lock files lie
//     <RingTimeout>60000</RingTimeout>      milliseconds WaitForRing waits
//     <Port>
//       <Number>1</Number>                  the port number (CommPort)
//       <Device>/dev/ttyUSB0</Device>       the modem's serial device
//       <Speed>115200</Speed>               optional, bits per second
//     </Port>
//     ...
//   </FaxPorts>
//
// With the file, a port it does not list has no line. Without it, port n is
// /dev/ttyS<n-1> (port 1 is /dev/ttyS0), the first serial ports of the
// machine. The speed is 19200 where none is given (1200 to 230400). A file
// that cannot be read, or a value that does not fit, is written to the error
// log (source "FaxPorts") and no port of the file opens. Times are in the
// system's time.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>

namespace fg::fax {

struct ModemPorts {
    struct Port {
        std::string device;
        long speed = 19200;
    };

    static constexpr const char* kFileName = "faxports.xml";
    static constexpr const char* kSource = "FaxPorts";

    bool fromFile = false;   // faxports.xml was found
    bool readable = true;    // false: it was found but is not usable
    std::string lockFolder = "/var/lock/";
    std::chrono::milliseconds ringTimeout{60000};
    std::map<int, Port> ports;

    // Reads faxports.xml of the program folder. Never raises.
    static ModemPorts load() noexcept;
    // The device of a port number, if it has one.
    std::optional<Port> port(int number) const;
};

}  // namespace fg::fax
