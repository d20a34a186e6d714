// The unanswered-items list (未処理一覧) of one fax number: the records of
// documents sent to it whose answer is still open, as one fax document.
#include "documents/quillary/fax_tran_xml.h"
#include "documents/quillary/grouped_builder.h"
#include "platform/error_log.h"
#include "platform/folder_path_info.h"
#include "settings/fax_manage_num.h"

namespace fg {

using namespace documents;

namespace {

// Its data is the management-number store itself.
constexpr FormTable kForm{.source = "makeFAXTransaction",
                          .root = "FAXManageNums",
                          .form = "FR150",
                          .reportType = "未処理一覧",
                          .declaration = kShiftJisDeclaration,
                          .badData = "ＦＡＸ帳票管理番号マスタが不正です。："};

}  // namespace

bool FaxTranXml::makeFAXTransaction(const std::string& strFaxNum, std::string& strFileName) {
    const std::string source = kForm.source;
    DocumentGroup list;
    try {
        FolderPathInfo folders;
        const std::string xsl = folders.getFolderPath("Xsl");
        const std::string sendFolder = folders.getFolderPath("FaxSendXML");

        BuilderCall call(*this, kForm, nullptr);
        std::vector<xml::Node> unanswered;
        if (!FaxManageNum().getUnansweredRecords(strFaxNum, unanswered)) return call.badData("FaxManageNumber");
        xml::Node root;
        list.document = newDocument(kForm.declaration, kForm.root, root);
        xml::Node rep = list.document.createElement("RepManageNo");
        restamp();
        list.number = call.reservations().next();
        rep.setText(list.number);
        root.appendChild(rep);
        for (const xml::Node& record : unanswered) root.appendChild(record.cloneNode(true));

        Supplier supplier;
        if (!call.supplierByFax(strFaxNum, supplier)) return false;
        const std::string sheetName = kForm.form + std::string("_ChangeStructure.xsl");
        xml::Document sheet = loadInstalled(xsl, sheetName, source);
        call.record(list, supplier, kForm.reportType);
        if (!call.commit()) return false;
        xml::Document fax;
        transformDocument(list.document.asNode(), sheet, fax, sheetName);
        withUtf8Declaration(fax);
        const std::pair<const char*, const std::string*> addressee[] = {
            {"SendCompanyName", &supplier.name},
            {"SendPostName", &supplier.section},
            {"SendChargeName", &supplier.person},
            {"SendFAXNum", &supplier.fax}};
        for (const auto& [name, value] : addressee) {
            xml::Node field = fax.selectSingleNode(std::string("/JPTRM/") + name);
            if (!field)
                throw Error(errnum::InvalidProcedureCall, sheetName + " の結果に JPTRM/" + name + " がありません", source);
            field.setText(*value);
        }
        // A record whose list could not be written would stand for a fax
        // that never existed: a failure from here on rolls the call back.
        fax.save(sendFolder + list.number + ".xml");
        strFileName = list.number;
        return true;
    } catch (...) {
        logCurrentError(source);
    }
    return false;
}

}  // namespace fg
