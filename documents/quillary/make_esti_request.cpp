// Quotation requests (見積依頼書, DORE0301): one document per request. The
// base copy, which the quotation answer is later built from, is the request
// exactly as its own message file holds it.
#include "documents/quillary/fax_tran_xml.h"
#include "documents/quillary/grouped_builder.h"

namespace fg {

using namespace documents;

namespace {

// The requests of a message are each JPTRM below each DORE0301.
constexpr FormTable kForm{.source = "makeEstiRequest",
                          .root = "DORE0301",
                          .form = "FR010",
                          .reportType = "見積依頼書",
                          .declaration = kShiftJisDeclaration,
                          .badData = "見積依頼データが不正です。：",
                          .body = "DORE0301",
                          .listWhenWritten = true};

struct Request : DocumentGroup {
    std::string file;       // its message file
    std::size_t index = 0;  // its place among that file's requests
};

}  // namespace

bool FaxTranXml::makeEstiRequest(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile) {
    return static_cast<bool>(estiRequests(strFileName, strOutFile));
}

Built FaxTranXml::estiRequests(const std::vector<std::string>& strFileName, std::vector<std::string>& strOutFile) {
    GroupedBuilder<Request> call(*this, kForm, &strOutFile);
    std::string pilot;
    if (!readPilotFaxNumber(pilot)) return false;

    Built read = call.read(strFileName, [&](xml::Node jptrm, const std::string& name, std::size_t index) -> Built {
        bool hasSupplier = false, hasCustomer = false;
        std::string supplier = childText(jptrm, "Supplier-code", &hasSupplier);
        std::string customer = childText(jptrm, "Customer-code", &hasCustomer);
        if (!hasSupplier || !hasCustomer)
            return call.refuse(name, "Supplier-code, Customer-code のいずれかがない JPTRM があります");
        Request& r = call.start(customer, supplier, "", descendantText(jptrm, "Customer-name-K"));
        r.document.documentElement().appendChild(r.document.createElement("PilotFAXNumber")).setText(pilot);
        r.document.documentElement().appendChild(jptrm);
        r.file = name;
        r.index = index;
        return true;
    });
    if (!read) return read;
    return call.write(nullptr, [&](Request& r) {
        call.saveFax(r);
        // The base copy comes from the request's own file and place, so
        // that a file of several requests (or none) can never hand one
        // request's text to another request's answer.
        xml::Document original;
        original.setPreserveWhiteSpace(true);
        if (!original.load(call.messageFolder() + r.file + kForm.fileSuffix))
            throw call.badDataError(r.file);
        auto originals = call.linesOf(original);
        if (r.index >= originals.size()) throw call.badDataError(r.file);
        xml::Document base;
        base.setPreserveWhiteSpace(true);
        base.appendChild(base.createProcessingInstruction("xml", kUtf8Declaration));
        xml::Node copy = base.appendChild(originals[r.index].cloneNode(true));
        copy.appendChild(base.createTextNode("\r\n"));
        base.save(call.sendFolder() + "base" + r.number + ".xml");
    });
}

}  // namespace fg
