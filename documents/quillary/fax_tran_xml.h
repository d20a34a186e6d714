// FaxTranXml: turns the EDI message files of a fetch into numbered fax
// documents, one XML file per report management number in the "FaxSendXML"
// folder, each recorded in the management-number store.
//
// This header holds the object's lasting state (the batch stamp and number
// counter), the records its callers exchange with it, and the document
// builders. The batch driver, the send ports and the receipt confirmation
// are members of the same class and live in files of their own.
#pragma once

#include "platform/xml.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fg {

// The downloaded files of one information code: strSupplier(k) is the
// supplier code of the file strGetFile(k); intCnt entries are used.
struct GET_FILE {
    std::int16_t intCnt = 0;
    std::string strInfoType;
    std::vector<std::string> strSupplier;
    std::vector<std::string> strGetFile;
};

// The file names of one supplier, as EditData groups them.
struct Edit_File {
    std::int16_t intCnt = 0;
    std::string strSupplier;
    std::vector<std::string> strFileName;
};

// One reminder-list document: its in-memory document, its keys, the reminder
// kind ("RFQ-number" or "Order-number") and its management number.
struct WORKTABLE {
    xml::Document DomXml;
    std::string strCustomerCode;
    std::string strSupplierCode;
    std::string strTagName;
    std::string strFileName;
};

namespace documents {
class NumberReservations;
}

class FaxTranXml {
public:
    FaxTranXml();
    ~FaxTranXml();
    FaxTranXml(const FaxTranXml&) = delete;
    FaxTranXml& operator=(const FaxTranXml&) = delete;

    // Document builders. Each takes message file names of the "TempEDI"
    // folder and answers True when every document it made is recorded and
    // written. The failures they recognise (a message that does not parse
    // 40017, an unregistered supplier 40105, a record not stored 40013) are
    // logged under the builder's name and give False after the records of
    // the call are rolled back; any other failure is raised as fg::Error
    // for the batch driver to log, after the same roll-back.
    bool makeLimitConfirmList(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile);
    bool makeEstimLimitList(const std::vector<std::string>& strFileName, std::vector<WORKTABLE>& udtData);
    // The order-balance list and the unanswered-items list are also made
    // outside a batch (by the job programs), so they take a stamp of their
    // own; they log every failure themselves and never raise.
    bool makeOderBalanceList(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile,
                             const std::string& strFaxNum);
    bool makeFAXTransaction(const std::string& strFaxNum, std::string& strFileName);
    bool makeCreditDetail(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile);
    bool makeOrderSheet(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile);
    bool makeEstiRequest(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile);

    // Batch stamp ("YYYYMMDDHHNNSS") and number counter. A report management
    // number is the stamp followed by the counter in at least four digits.
    const std::string& repManageDate() const { return mstrRepManageDate; }
    std::int32_t repManageCount() const { return mlngRepManageCount; }
    void setRepManageDate(const std::string& stamp) { mstrRepManageDate = stamp; }
    void setRepManageCount(std::int32_t count) { mlngRepManageCount = count; }
    // Starts a batch: the stamp becomes the present time and the counter 0,
    // except that a batch begun in the same second as the last stamp goes on
    // counting, so its numbers cannot meet the earlier batch's.
    void beginBatch();
    // Takes a fresh stamp and keeps the counter (the lists made outside a batch).
    void restamp();

    // Called with each document's number and in-memory document just before
    // its style sheets run; lets a test or a trace see what the sheets get.
    using DocumentObserver = std::function<void(const std::string& number, const xml::Document& document)>;
    void setDocumentObserver(DocumentObserver observer) { observer_ = std::move(observer); }

private:
    friend class documents::NumberReservations;
    void observe(const std::string& number, const xml::Document& document) const {
        if (observer_) observer_(number, document);
    }

    std::string mstrRepManageDate;
    std::int32_t mlngRepManageCount = 0;
    DocumentObserver observer_;
};

}  // namespace fg
