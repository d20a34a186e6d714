// The building of the answer of an approved management number and its
// upload to the EDI server.
#include "telephony/telephony_control.h"

namespace fg {

// The answer builders are not part of this build yet: no answer can be
// built, and the decision reports that as a failure, which dataDecision
// logs. Nothing is uploaded and the record keeps its condition, so the same
// approval succeeds once the builders are in place.
std::int16_t TelephonyControl::deliveryestimateDecision(std::string& /*strRepManageNo*/,
                                                        const std::string& /*strFaxNo*/) {
    return TelephonyResultCode::Failed;
}

}  // namespace fg
