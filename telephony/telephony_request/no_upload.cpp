// The upload of this program's link. The host starts telephony_request for
// every call, so it is linked without the EDI control: loading it and the
// archive, HTTP and TLS libraries behind it cost tens of milliseconds at
// every start. main() hands every request that may upload to the full
// program before it calls anything; this definition, which the linker takes
// instead of answer_upload.cpp's, only makes a request that got here all the
// same fail as an upload that could not be made.
#include "telephony/telephony_control.h"

#include "platform/error.h"

namespace fg {

bool TelephonyControl::uploadAnswers(const std::vector<xml::Document>&, const char*) {
    throw Error(errnum::InvalidProcedureCall, "このプログラムは EDI サーバへ送れません", "telephony_request");
}

}  // namespace fg
