// The management-number store held for work that its records will tell of:
// the store's lock is taken (within the caller's bound) before the work and
// kept until the record has been changed, so that nothing is done that
// cannot then be recorded, and two such works on the store never overlap.
// A telephone decision holds it from its last check of the record, through
// the upload of the answers, to the record's mark.
//
// Readers of the store need no lock and go on meanwhile; other writers wait,
// so the work held must be bounded well within their bound (two minutes).
#pragma once

#include "settings/locked_document.h"

#include <chrono>
#include <optional>
#include <string>

namespace fg {

class HeldManageRecord {
public:
    // Locks the store of the installation, waiting up to `bound` (raises the
    // lock's fg::Error 70 when it passes), and reads it (raises fg::Error 75
    // when it does not load).
    explicit HeldManageRecord(std::chrono::milliseconds bound);

    // DecisionCondition of the number's first record, as getManageNum finds
    // it; nullopt when the number is not on record. Raises fg::Error 91 for a
    // record short of its fields.
    std::optional<std::string> decisionCondition(const std::string& number);
    // Sets it as setDecisionCondition does and saves the store; raises the
    // save's fg::Error. Nothing changes for a number not on record.
    void setDecisionCondition(const std::string& number, const std::string& value);

private:
    std::optional<settings::LockedDocument> store_;
};

}  // namespace fg
