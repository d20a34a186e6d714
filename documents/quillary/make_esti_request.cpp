// Quotation requests (見積依頼書, DORE0301): one document per request. The
// base copy, which the quotation answer is later built from, is the request
// exactly as its own message file holds it.
#include "documents/quillary/builder_support.h"
#include "documents/quillary/fax_tran_xml.h"
#include "documents/quillary/number_reservations.h"
#include "platform/folder_path_info.h"

namespace fg {

using namespace documents;

namespace {

struct Request {
    xml::Document document;
    std::string number, supplier, customer, orderName;
    std::size_t file = 0;   // index of its message file
    std::size_t index = 0;  // its place among that file's requests
};

// The requests of a message in the order they are taken: each JPTRM below
// each DORE0301.
std::vector<xml::Node> requestsOf(const xml::Document& message) {
    std::vector<xml::Node> out;
    for (const auto& body : message.getElementsByTagName("DORE0301"))
        for (const auto& jptrm : body.getElementsByTagName("JPTRM")) out.push_back(jptrm);
    return out;
}

}  // namespace

bool FaxTranXml::makeEstiRequest(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile) {
    const std::string source = "makeEstiRequest";
    FolderPathInfo folders;
    const std::string tempEdi = folders.getFolderPath("TempEDI");
    std::string pilot;
    if (!readPilotFaxNumber(pilot)) return false;

    NumberReservations reservations(*this);
    std::vector<Request> requests;
    std::vector<std::string> made;
    try {
        xml::Document message;
        for (std::size_t f = 0; f < strFileName.size(); ++f) {
            const std::string& name = strFileName[f];
            if (!message.load(tempEdi + name + ".xml")) {
                logFailure(source, 40017, "見積依頼データが不正です。：" + name + ".xml");
                return false;
            }
            std::size_t index = 0;
            for (xml::Node jptrm : requestsOf(message)) {
                Request r;
                xml::Node root;
                r.document = newDocument(kShiftJisDeclaration, "DORE0301", root);
                xml::Node rep = r.document.createElement("RepManageNo");
                xml::Node pilotElement = r.document.createElement("PilotFAXNumber");
                bool hasSupplier = false, hasCustomer = false;
                r.supplier = childText(jptrm, "Supplier-code", &hasSupplier);
                r.customer = childText(jptrm, "Customer-code", &hasCustomer);
                if (!hasSupplier || !hasCustomer) {
                    logFailure(source, 40017, "見積依頼データが不正です。：" + name + ".xml");
                    return false;
                }
                r.orderName = descendantText(jptrm, "Customer-name-K");
                r.number = reservations.next();
                made.push_back(r.number);
                rep.setText(r.number);
                pilotElement.setText(pilot);
                root.appendChild(rep);
                root.appendChild(pilotElement);
                root.appendChild(jptrm);
                r.file = f;
                r.index = index++;
                requests.push_back(std::move(r));
            }
        }
        if (requests.empty()) return true;

        const std::string xsl = folders.getFolderPath("Xsl");
        const std::string sendFolder = folders.getFolderPath("FaxSendXML");
        const FormSheets sheets(xsl, "FR010", source);
        xml::Document codeTable = loadInstalled(xsl, "StandardCode_jp.xml", source);

        for (auto& r : requests) {
            appendCodeBlock(r.document, codeTable);
            Supplier supplier;
            if (!findSupplier(r.supplier, "", supplier)) {
                rollBack(made);
                logFailure(source, 40105, "[受注者コード:" + r.supplier + "]");
                return false;
            }
            if (!storeRecord({mstrRepManageDate, r.number, "見積依頼書", r.customer, r.orderName, "", "", supplier})) {
                rollBack(made);
                logFailure(source, 40013, "");
                return false;
            }
            observe(r.number, r.document);
            saveFaxDocument(r.document, sheets, sendFolder + r.number + ".xml");
            strOutFile.push_back(r.number);

            // The base copy comes from the request's own file and place, so
            // that a file of several requests (or none) can never hand one
            // request's text to another request's answer.
            const std::string& name = strFileName[r.file];
            xml::Document original;
            original.setPreserveWhiteSpace(true);
            if (!original.load(tempEdi + name + ".xml"))
                throw Error(40017, "見積依頼データが不正です。：" + name + ".xml", source);
            auto originals = requestsOf(original);
            if (r.index >= originals.size())
                throw Error(40017, "見積依頼データが不正です。：" + name + ".xml", source);
            xml::Document base;
            base.setPreserveWhiteSpace(true);
            base.appendChild(base.createProcessingInstruction("xml", kUtf8Declaration));
            xml::Node copy = base.appendChild(originals[r.index].cloneNode(true));
            copy.appendChild(base.createTextNode("\r\n"));
            base.save(sendFolder + "base" + r.number + ".xml");
        }
        return true;
    } catch (...) {
        rollBack(made);
        throw;
    }
}

}  // namespace fg
