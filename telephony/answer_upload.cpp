// The upload of a decision's answers: the one use of the EDI control in the
// telephone request handling, in a file of its own so that a program built
// without the decisions (telephony_request) leaves it, and the archive, HTTP
// and document libraries behind it, out of its link.
#include "telephony/telephony_control.h"

#include "edi_control/castrel/edi_control.h"

namespace fg {

bool TelephonyControl::uploadAnswers(const std::vector<xml::Document>& answers, const char* infoCode) {
    EDIControl edi;
    return edi.putEDIData(answers, infoCode);
}

}  // namespace fg
