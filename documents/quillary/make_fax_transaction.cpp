// The unanswered-items list (未処理一覧) of one fax number: the records of
// documents sent to it whose answer is still open, as one fax document.
#include "documents/quillary/builder_support.h"
#include "documents/quillary/fax_tran_xml.h"
#include "documents/quillary/number_reservations.h"
#include "platform/error_log.h"
#include "platform/folder_path_info.h"

namespace fg {

using namespace documents;

bool FaxTranXml::makeFAXTransaction(const std::string& strFaxNum, std::string& strFileName) {
    const std::string source = "makeFAXTransaction";
    std::string number;
    bool recorded = false;
    try {
        FolderPathInfo folders;
        const std::string storePath = folders.getFolderPath("FaxManageNum") + "FaxManageNumber.xml";
        const std::string xsl = folders.getFolderPath("Xsl");
        const std::string sendFolder = folders.getFolderPath("FaxSendXML");

        xml::Document store;
        if (!store.load(storePath)) {
            logFailure(source, 40017, "ＦＡＸ帳票管理番号マスタが不正です。：FaxManageNumber.xml");
            return false;
        }
        NumberReservations reservations(*this);
        xml::Node root;
        xml::Document list = newDocument(kShiftJisDeclaration, "FAXManageNums", root);
        xml::Node rep = list.createElement("RepManageNo");
        restamp();
        number = reservations.next();
        rep.setText(number);
        root.appendChild(rep);
        for (const auto& records : store.getElementsByTagName("FAXManageNums")) {
            for (xml::Node record : records.getElementsByTagName("FAXManageNum")) {
                // The last element of each name counts; a record without one
                // does not match, whatever the record before it held.
                auto faxNumbers = record.getElementsByTagName("SendFAXNum");
                auto conditions = record.getElementsByTagName("DecisionCondition");
                if (faxNumbers.empty() || conditions.empty()) continue;
                if (faxNumbers.back().text() == strFaxNum && conditions.back().text() == "0")
                    root.appendChild(record.cloneNode(true));
            }
        }

        Supplier supplier;
        if (!findSupplier("", strFaxNum, supplier)) {
            logFailure(source, 40105, "[Fax番号:" + strFaxNum + "]");
            return false;
        }
        xml::Document sheet = loadInstalled(xsl, "FR150_ChangeStructure.xsl", source);
        if (!storeRecord({mstrRepManageDate, number, "未処理一覧", "", "", "", "", supplier})) {
            logFailure(source, 40013, "");
            return false;
        }
        recorded = true;
        observe(number, list);
        xml::Document fax;
        transformDocument(list.asNode(), sheet, fax, "FR150_ChangeStructure.xsl");
        withUtf8Declaration(fax);
        const std::pair<const char*, const std::string*> addressee[] = {
            {"SendCompanyName", &supplier.name},
            {"SendPostName", &supplier.section},
            {"SendChargeName", &supplier.person},
            {"SendFAXNum", &supplier.fax}};
        for (const auto& [name, value] : addressee) {
            xml::Node field = fax.selectSingleNode(std::string("/JPTRM/") + name);
            if (!field)
                throw Error(errnum::InvalidProcedureCall,
                            std::string("FR150_ChangeStructure.xsl の結果に JPTRM/") + name + " がありません", source);
            field.setText(*value);
        }
        fax.save(sendFolder + number + ".xml");
        strFileName = number;
        return true;
    } catch (const Error& e) {
        ErrorLogWriter().writeError(source, e);
    } catch (const std::exception& e) {
        ErrorLogWriter().writeError(source, Error(errnum::OutOfMemory, e.what(), source));
    }
    // A record whose list could not be written would stand for a fax that
    // never existed.
    if (recorded) rollBack({number});
    return false;
}

}  // namespace fg
