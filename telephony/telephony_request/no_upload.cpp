// The upload of this program's link. The host starts telephony_request for
// every call, so it is linked without the EDI control: loading it and the
// archive, HTTP and TLS libraries behind it cost tens of milliseconds at
// every start. main() hands every request that may upload to the full
// program before it calls anything; a request that gets here all the same
// (the full program could not be run) fails as an upload that could not be
// made: logged, nothing sent, and the decision answers its error result.
#include "telephony/telephony_control.h"

#include "platform/error.h"
#include "platform/error_log.h"

namespace fg {

bool TelephonyControl::uploadAnswers(const std::vector<xml::Document>&, const char* infoCode) {
    TelephonyErrorLog().writeError(
        Error(errnum::InvalidProcedureCall,
              std::string("このプログラムは EDI サーバへ送れません (情報コード ") + infoCode + ")", "telephony_request"),
        true);
    return false;
}

}  // namespace fg
