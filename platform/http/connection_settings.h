// How this installation reaches the EDI server: time-outs, the bound of an
// answer and the TLS files, read from connection.xml in the program folder.
//
//   <?xml version="1.0" encoding="Shift_JIS"?>
//   <Connection>
//     <ConnectTimeout>30000</ConnectTimeout>   milliseconds to set up the connection
//     <Timeout>300000</Timeout>                milliseconds for the whole exchange
//     <MaxAnswerBytes>2147483648</MaxAnswerBytes>
//                                              bytes of answer text taken at most (2 GB)
//     <CAFile>certs/ca.pem</CAFile>            trusted CAs (PEM); empty: the system's store
//     <ClientCertificate></ClientCertificate>  client certificate (PEM); empty: none
//     <ClientKey></ClientKey>                  its private key (PEM); empty: in the certificate file
//   </Connection>
//
// Every element is optional; a missing file gives the defaults shown. Paths
// are absolute or relative to the program folder. Peers are always verified.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace fg {

struct ConnectionSettings {
    std::chrono::milliseconds connectTimeout{30000};
    std::chrono::milliseconds timeout{300000};
    // An answer text longer than this is refused as soon as it passes it.
    std::uint64_t maxAnswerBytes = 2147483648;
    std::string caFile;
    std::string clientCertificate;
    std::string clientKey;

    static constexpr const char* kFileName = "connection.xml";

    // Reads connection.xml of the program folder. A file that does not parse,
    // a time-out or MaxAnswerBytes that is not a positive whole number, or a
    // named TLS file that does not exist raises fg::Error with a description
    // that names the fault.
    static ConnectionSettings load();
};

}  // namespace fg
