// The system-wide settings in SetUpInformation.xml (folder key "SetupInfo"):
// the EDI server values, the send retry count, an execution condition and
// the mail values, read once when an object is created.
//
//   <SetUpInfo>
//     <Session> FaxMakerCode EDIMakerCode EDIMakerName EDIAddress
//               ClientCertiKey EDIMethodRoot </Session>
//     <FaxFunction> SendReTryNum </FaxFunction>
//     <Execute> Condition </Execute>
//     <Mail> SMTPServerName MailTo MailFrom </Mail>
//   </SetUpInfo>
//
// Whoever else writes the file (the resource update tool) takes the file's
// FileLock for its load-change-save, as save() here does.
#pragma once

#include "platform/values.h"

#include <string>

namespace fg {

class SetUpInfo {
public:
    // Reads the file. Never raises: a failure is logged under "SetUpInfo"
    // (40103 "SetUpInformation.xml" when no Session group was found) and the
    // object keeps the values read before it. A value not in the file is Empty;
    // a value read is text, numbers included.
    SetUpInfo();

    static constexpr const char* kFileName = "SetUpInformation.xml";
    static constexpr const char* kErrorSource = "SetUpInfo";

    // Writes a new file of the eleven values, Empty as an empty element, under
    // the file's lock. Refuses to replace a file that does not parse: a person
    // can still mend it, and its values would be lost. False with 40104 logged
    // on any failure; the file is then as it was.
    [[nodiscard]] bool save();

    const Variant& strFAXMakerCode() const { return values_[0]; }
    void setStrFAXMakerCode(const Variant& v) { values_[0] = v; }
    const Variant& strEDIMakerCode() const { return values_[1]; }
    void setStrEDIMakerCode(const Variant& v) { values_[1] = v; }
    const Variant& strEDIMakerName() const { return values_[2]; }
    void setStrEDIMakerName(const Variant& v) { values_[2] = v; }
    const Variant& strEDIAddress() const { return values_[3]; }
    void setStrEDIAddress(const Variant& v) { values_[3] = v; }
    const Variant& strClientCertiKey() const { return values_[4]; }
    void setStrClientCertiKey(const Variant& v) { values_[4] = v; }
    const Variant& strEDIMethodRoot() const { return values_[5]; }
    void setStrEDIMethodRoot(const Variant& v) { values_[5] = v; }
    const Variant& strSendReTryNum() const { return values_[6]; }
    void setStrSendReTryNum(const Variant& v) { values_[6] = v; }
    const Variant& strCondition() const { return values_[7]; }
    void setStrCondition(const Variant& v) { values_[7] = v; }
    const Variant& strSMTPServerName() const { return values_[8]; }
    void setStrSMTPServerName(const Variant& v) { values_[8] = v; }
    const Variant& strMailTo() const { return values_[9]; }
    void setStrMailTo(const Variant& v) { values_[9] = v; }
    const Variant& strMailFrom() const { return values_[10]; }
    void setStrMailFrom(const Variant& v) { values_[10] = v; }

    // The file's path; empty when the folder lookup failed at creation.
    const std::string& filePath() const { return path_; }
    // Why the file could not be read at creation (its path and the parser's
    // reason); empty when it was read.
    const std::string& readFailure() const { return readFailure_; }

    static constexpr int kValueCount = 11;

private:
    std::string path_;
    std::string readFailure_;
    Variant values_[kValueCount];
};

}  // namespace fg
