#include "documents/quillary/grouped_builder.h"

#include "documents/quillary/batch_records.h"
#include "documents/quillary/catalogue.h"
#include "documents/quillary/fax_tran_xml.h"
#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/invariant.h"

#include <exception>

namespace fg::documents {

BuilderCall::BuilderCall(FaxTranXml& owner, const FormTable& form, std::vector<std::string>* listed)
    : owner_(owner),
      form_(form),
      listed_(listed),
      messageFolder_(FolderPathInfo().getFolderPath(folders::kMessages)),
      reservations_(owner),
      uncaught_(std::uncaught_exceptions()) {}

BuilderCall::~BuilderCall() {
    if (std::uncaught_exceptions() > uncaught_) rollBack();
    if (owner_.batchRecords_) owner_.batchRecords_->keep(reservations_);
}

Error BuilderCall::badDataError(const std::string& name) const {
    return Error(errs::BadMessageData, form_.badData + name + form_.fileSuffix, form_.source);
}

bool BuilderCall::badData(const std::string& name) const {
    ErrorLogWriter().writeError(form_.source, badDataError(name));
    return false;
}

const Refusal& Built::refusal() const {
    checkInvariant(outcome_ == Outcome::Refused && !refusal_.files.empty(),
                   "a builder's refusal names the files it refused", "FaxTranXml");
    return refusal_;
}

Refusal BuilderCall::refuse(const std::string& name, const std::string& reason) const {
    // The error log keeps its one text; why the file was refused is for the
    // person who has to mend it.
    (void)badData(name);
    writeDebugLine(form_.source, name + form_.fileSuffix + ": " + reason);
    return {{name + form_.fileSuffix}, reason};
}

std::vector<xml::Node> BuilderCall::linesOf(const xml::Document& message) const {
    if (!form_.body) return message.getElementsByTagName(form_.line);
    std::vector<xml::Node> out;
    for (const auto& body : message.getElementsByTagName(form_.body))
        for (const auto& line : body.getElementsByTagName(form_.line)) out.push_back(line);
    return out;
}

Built BuilderCall::read(const std::vector<std::string>& names, const LineWork& perLine) {
    xml::Document message;
    message.setPreserveWhiteSpace(form_.preserveWhiteSpace);
    for (const auto& name : names) {
        reading_ = name;
        if (!message.load(messageFolder_ + name + form_.fileSuffix)) {
            const xml::ParseError& why = message.parseError();
            if (why.contentFault()) return refuse(name, why.told());
            badData(name);
            writeDebugLine(form_.source, name + form_.fileSuffix + ": " + why.told());
            return false;
        }
        std::size_t index = 0;
        for (xml::Node line : linesOf(message)) {
            try {
                if (Built took = perLine(line, name, index++); !took) return took;
            } catch (const Error& e) {
                // More documents or keys than a 16-bit count holds.
                if (e.number() != errnum::Overflow) throw;
                rollBack();
                return refuse(name, e.description());
            }
        }
    }
    return true;
}

void BuilderCall::start(DocumentGroup& document) {
    document.number = reservations_.next();
    made_.push_back(document.number);
    if (listed_ && !form_.listWhenWritten) listed_->push_back(document.number);
    xml::Node root;
    document.document = newDocument(form_.declaration, form_.root, root);
    root.appendChild(document.document.createElement("RepManageNo")).setText(document.number);
    joins(document);
}

void BuilderCall::joins(DocumentGroup& document) const {
    if (reading_.empty()) return;  // a document made of no message file
    if (document.files.empty() || document.files.back() != reading_) document.files.push_back(reading_);
}

Built BuilderCall::supplierOf(const DocumentGroup& document, Supplier& out) {
    const std::string& code = document.supplier;
    if (owner_.batchRecords_) {
        if (const ManageRecord* made = owner_.batchRecords_->madeFor(code)) {
            out = documents::supplierOf(*made);
            return true;
        }
    }
    if (findSupplier(code, "", out)) return true;
    rollBack();
    logFailure(form_.source, errs::UnregisteredSupplier, "[受注者コード:" + code + "]");
    Refusal refusal{{}, code.empty() ? std::string("受注者コードのない行があります")
                                     : "受注者コード " + code + " は登録されていません"};
    for (const std::string& file : document.files) refusal.files.push_back(file + form_.fileSuffix);
    // A document of no file (a list built outside the messages) has no
    // message to blame: its call has only failed.
    if (refusal.files.empty()) return false;
    for (const std::string& file : refusal.files) writeDebugLine(form_.source, file + ": " + refusal.reason);
    return refusal;
}

bool BuilderCall::supplierByFax(const std::string& faxNo, Supplier& out) {
    if (findSupplier("", faxNo, out)) return true;
    logFailure(form_.source, errs::UnregisteredSupplier, "[Fax番号:" + faxNo + "]");
    return false;
}

void BuilderCall::record(const DocumentGroup& d, const Supplier& supplier, const std::string& reportType) {
    ManageRecord record = recordOf({owner_.repManageDate(), d.number, reportType, d.customer, d.orderName,
                                    form_.decisionCondition, d.orderNumber, supplier});
    if (owner_.batchRecords_)
        owner_.batchRecords_->add(record);
    else
        pending_.push_back(std::move(record));
    owner_.observe(d.number, d.document);
}

bool BuilderCall::commit() {
    if (pending_.empty()) return true;
    try {
        storeRecords(pending_);
    } catch (...) {
        writeDebugLine(form_.source, "records not stored: " + currentError().description());
        rollBack();
        logFailure(form_.source, errs::RecordNotStored, "");
        return false;
    }
    for (const ManageRecord& r : pending_) committed_.push_back(r.number());
    pending_.clear();
    return true;
}

Built BuilderCall::recordWithCodes(DocumentGroup& d, const Supplier* addressee) {
    if (form_.preserveWhiteSpace) d.document.setPreserveWhiteSpace(true);
    appendCodeBlock(d.document, codeTable_);
    Supplier supplier;
    if (addressee) supplier = *addressee;
    else if (Built found = supplierOf(d, supplier); !found) return found;
    record(d, supplier, form_.reportType);
    return true;
}

void BuilderCall::loadSheets() {
    FolderPathInfo folders;
    const std::string xsl = folders.getFolderPath("Xsl");
    sendFolder_ = folders.getFolderPath("FaxSendXML");
    sheets_ = std::make_unique<FormSheets>(xsl, form_.form, form_.source);
    codeTable_ = loadInstalled(xsl, form_.codeTable, form_.source);
}

void BuilderCall::saveFax(const DocumentGroup& d) {
    saveFaxDocument(d.document, *sheets_, sendFolder_ + d.number + ".xml");
    if (listed_ && form_.listWhenWritten) listed_->push_back(d.number);
}

void BuilderCall::rollBack() noexcept {
    pending_.clear();
    if (owner_.batchRecords_) owner_.batchRecords_->forget(made_);
    if (!committed_.empty()) removeRecords(committed_);
    committed_.clear();
    // The documents of the numbers it gave: written before a later document
    // failed, they would stand without their records for good, as nothing
    // else knows their numbers. The numbers are the call's own, so no other
    // record can list these files.
    try {
        const std::string folder = FolderPathInfo().getFolderPath("FaxSendXML");
        for (const std::string& n : made_)
            for (const std::string& path : {folder + n + ".xml", folder + "base" + n + ".xml"})
                if (fs::fileExists(path) && !fs::removeFile(path))
                    writeDebugLine(form_.source, "戻した管理番号の帳票を削除できません: " + path);
    } catch (...) {
        logCurrentError(form_.source);
    }
}

}  // namespace fg::documents
