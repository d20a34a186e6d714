// The result codes of an EDI exchange (EdiResultCode). "T" codes are the
// transport's own, "C" codes come from the EDI server.
#pragma once

#include <string>

namespace fg {

class Constant {
public:
    std::string ERR_NONE() const { return "T0000"; }
    std::string ERR_URL_NOT_RESOLVE() const { return "T1001"; }
    std::string ERR_CONNECT() const { return "T1002"; }
    std::string ERR_RESPONSE() const { return "T1003"; }
    std::string ERR_DECODE() const { return "T1004"; }
    std::string ERR_RESPONSE_HEADER() const { return "T1005"; }
    std::string ERR_PROCESS_DATA() const { return "T1006"; }
    std::string ERR_PROCESS_CONFIRM() const { return "T1007"; }
    std::string ERR_PROCESS_LOG() const { return "T1008"; }
    std::string ERR_TIME_OUT() const { return "T1009"; }
    std::string ERR_SSL_INVALID_CA() const { return "T2001"; }
    std::string ERR_SSL_INVALID_DATE() const { return "T2002"; }
    std::string ERR_SSL_INVALID_NAME() const { return "T2003"; }
    std::string ERR_UNEXPECTED() const { return "T9999"; }
    std::string SERVER_ERR_NONE() const { return "C0000"; }
};

}  // namespace fg
