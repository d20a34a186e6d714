// Quotation answers (DORE0302): one answer per received quotation record,
// its header from the first answered request, and one REPLY for each pair
// of an answered line and a request document it names.
//
// The received quotation (written by the recognition side, white space
// kept) is found by name: JPTRMROOT / JPTRM (one form, with its
// RepManageNo, EnploymentMode, AnswerDate and ReportConfirmNo) / JPM001 /
// JPM001R (one answered line, whose ManageNo is the number of the request
// it answers).
#include "telephony/telephony_control.h"

#include "common/vantrel/information_code.h"
#include "platform/error.h"
#include "platform/folder_path_info.h"
#include "settings/fax_manage_num.h"
#include "telephony/answer_support.h"

#include <limits>

namespace fg {

using namespace telephony;

namespace {

// One answered line and the request document it is answered against.
struct ReplyEntry {
    std::string name;    // the request's fax document
    xml::Node header;    // the received form holding the line
    xml::Node reply;     // the recognised line
};

using NamedRecord = FaxManageNum::NamedRecord;

// The reply entries of a received quotation: every line of every form of
// this number, once for each document of each request record (among the
// records of the received record's group) that the line names.
void collectEntries(const xml::Document& received, const std::string& number, const std::vector<NamedRecord>& records,
                    std::size_t group, std::vector<ReplyEntry>& entries) {
    for (const xml::Node& root : received.getElementsByTagName("JPTRMROOT"))
        for (const xml::Node& header : root.getElementsByTagName("JPTRM")) {
            bool ours = false;
            for (const xml::Node& n : header.getElementsByTagName("RepManageNo")) ours = ours || n.text() == number;
            if (!ours) continue;
            for (const xml::Node& lines : header.getElementsByTagName("JPM001"))
                for (const xml::Node& reply : lines.getElementsByTagName("JPM001R"))
                    for (const xml::Node& manageNo : reply.getElementsByTagName("ManageNo"))
                        for (const NamedRecord& request : records)
                            if (request.group == group && request.number == manageNo.text())
                                for (const std::string& name : request.sendXml) entries.push_back({name, header, reply});
        }
}

// The header fields copied from the request, in order, around the ones the
// answer fills in itself.
constexpr const char* kLeadingCopies[] = {"Handling-commission-rate", "CandF-Y", "CandF-F", "FandO-exchange-rate",
                                          "FandO-Transport-cost-Y", "FandO-Transport-cost-F", "FOB-exchange-rate",
                                          "Sales-person-name", "Sales-person-name-K", "Customs-duty-import-expense",
                                          "Customs-duty-Y", "Bank-charge-Y", "Contract-method-code",
                                          "Quatation-revise-times"};
constexpr const char* kTrailingCopies[] = {
    "Supplier-name", "Supplier-name-K", "Supplier-responsible-person", "Supplier-responsible-person-K",
    "Supplier-section-fax", "Supplier-section-tel", "Supplier-section-address", "Supplier-section-address-K",
    "Supplier-section-name", "Supplier-section-name-K", "Import-expense-rate", "Handling-commission-amount-Y",
    "Customer-name", "Customer-name-K", "Customer-responsible-person", "Customer-responsible-person-K",
    "Customer-section-name", "Customer-section-name-K", "Insurance-cost-Y", "Payment-for-days",
    "Payment-for-interest", "Total-Import-expense-tax-Y"};

}  // namespace

bool TelephonyControl::makeEstimatAnswer(const std::string& strFAXNumber, const std::string& strRepManageNo,
                                         std::vector<xml::Document>& objJPTRM) {
    try {
        mstrQuotationNumber.clear();
        FolderPathInfo folders;
        const std::string sendFolder = folders.getFolderPath("FaxSendXML");
        FaxManageNum store;
        std::vector<NamedRecord> records;
        if (!store.getNamedRecords(records))
            throw Error(errnum::FileNotFound, "管理番号ファイルを読めません: " + store.readFailure());

        for (const NamedRecord& record : records) {
            if (record.faxNum != strFAXNumber || record.number != strRepManageNo) continue;
            std::vector<ReplyEntry> entries;
            for (const std::string& name : record.sendXml) {
                const std::string path = sendFolder + name + ".xml";
                xml::Document received;
                received.setPreserveWhiteSpace(true);
                if (!received.load(path))
                    throw Error(errnum::FileNotFound,
                                "受信した見積書を読めません: " + path + " " + received.parseError().reason);
                collectEntries(received, strRepManageNo, records, record.group, entries);
            }
            if (entries.empty()) continue;

            std::vector<std::string> names;
            for (const ReplyEntry& e : entries) names.push_back(e.name);
            const std::string correction = correctionCodeOf(sendFolder, names);
            xml::Document answer;
            answer.setPreserveWhiteSpace(true);
            std::int16_t replies = 0;
            for (std::size_t h = 0; h < entries.size(); ++h) {
                xml::Document request = loadSentDocument(sendFolder, entries[h].name, "見積依頼書");
                if (h == 0) makeEstRequest(answer, request, entries[0].header, correction);
                for (const xml::Node& jptrm : answer.getElementsByTagName("JPTRM"))
                    for (xml::Node pacage : jptrm.getElementsByTagName("PACAGE")) {
                        if (replies == std::numeric_limits<std::int16_t>::max())
                            throw Error(errnum::Overflow, "見積回答の明細が多すぎます");
                        makeEstRequest_Re(answer, request, pacage, ++replies, entries[h].reply);
                    }
            }
            objJPTRM.push_back(answer);
        }
        return true;
    } catch (...) {
        logFailure("makeEstimatAnswer");
        return false;
    }
}

void TelephonyControl::makeEstRequest(xml::Document& newDom, const xml::Document& RefeDom,
                                      const xml::Node& eleEstiAnswTop, const std::string& strCorrectionCodeWk) {
    // Each answer's lines carry its own form's number, or none: never that of
    // an answer built before it, in this call or an earlier one.
    mstrQuotationNumber.clear();
    xml::Node last;
    for (const xml::Node& request : RefeDom.getElementsByTagName("JPTRM")) {
        // The answer has one root: a request document with a second JPTRM
        // cannot be answered in it.
        if (newDom.documentElement())
            throw Error(errnum::InvalidProcedureCall, "見積依頼書に JPTRM が二つ以上あります");
        newDom.appendChild(newDom.createProcessingInstruction("xml", "version=\"1.0\" encoding=\"UTF-8\""));
        xml::Node root = newDom.appendChild(newDom.createElement("DORE0302"));
        xml::Node jptrm = newDom.createElement("JPTRM");
        for (const xml::Node& mode : eleEstiAnswTop.getElementsByTagName("EnploymentMode"))
            jptrm.setAttribute("TEST", mode.text().empty() ? "0" : "1");
        jptrm = root.appendChild(jptrm);

        appendCopies(newDom, jptrm, request, "Sequence-number");
        appendText(newDom, jptrm, "Information-code", infocode::RFQANS);
        appendText(newDom, jptrm, "Data-create-date", createDate());
        appendText(newDom, jptrm, "Data-create-time", createTime());
        appendCopies(newDom, jptrm, request, "Customer-code");
        appendCopies(newDom, jptrm, request, "Supplier-code");
        for (std::size_t i = 0, n = request.getElementsByTagName("Correction-code").size(); i < n; ++i)
            appendText(newDom, jptrm, "Correction-code", strCorrectionCodeWk);
        for (const char* name : kLeadingCopies) appendCopies(newDom, jptrm, request, name);
        for (const xml::Node& date : eleEstiAnswTop.getElementsByTagName("AnswerDate"))
            appendText(newDom, jptrm, "Quotation-date", filterNumericChars(date.text()));
        for (const xml::Node& number : eleEstiAnswTop.getElementsByTagName("ReportConfirmNo")) {
            mstrQuotationNumber = filterNumericChars(number.text());
            appendText(newDom, jptrm, "Quotation-number", mstrQuotationNumber);
        }
        for (const xml::Node& date : request.getElementsByTagName("Quotation-expiration-date"))
            appendText(newDom, jptrm, "Quotation-expiration-date", dateRule(date.text()));
        for (const char* name : kTrailingCopies) appendCopies(newDom, jptrm, request, name);
        last = jptrm;
    }
    if (!last) throw Error(errnum::ObjectNotSet, "見積依頼書に JPTRM がありません");
    appendEmpty(newDom, last, "PACAGE");
}

std::string TelephonyControl::getCorrectionCode(const std::string& strEstimatePath,
                                                const std::vector<std::string>& strFileName) {
    try {
        return correctionCodeOf(strEstimatePath, strFileName);
    } catch (...) {
        logFailure("getCorrectionCode");
        return {};
    }
}

std::string TelephonyControl::correctionCodeOf(const std::string& folder, const std::vector<std::string>& names) {
    bool correction = false, addition = false;
    for (const std::string& name : names) {
        // Always the base copy: a request faxed without one says nothing.
        xml::Document doc;
        doc.setPreserveWhiteSpace(true);
        std::string code;
        if (doc.load(folder + "base" + name + ".xml"))
            for (const xml::Node& jptrm : doc.getElementsByTagName("JPTRM")) {
                bool found = false;
                std::string text = firstText(jptrm, "Correction-code", &found);
                if (found) code = text;
            }
        correction = correction || code == "C";
        addition = addition || code == "A";
    }
    return !correction && addition ? "A" : "C";
}

}  // namespace fg
