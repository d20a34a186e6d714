// The step the document builders share. One builder call reads the message
// files of its form, starts a numbered document for each group of lines (or
// for each line), and then, document by document, attaches the code table,
// finds the supplier (or rolls the call back with UnregisteredSupplier),
// makes the record, shows the document to the observer and writes it through
// the form's style sheets (see catalogue.h for the numbers). The records of
// the call are stored together once its documents are written; should that
// fail, the call is rolled back with RecordNotStored and its
// fax documents are deleted, so that none stands without its record. Inside
// a batch the records go to the batch, which stores them with those of its
// other calls. A builder gives its form's table and the work of one line;
// what differs beyond that stays in the builder.
#pragma once

#include "documents/quillary/builder_support.h"
#include "documents/quillary/number_reservations.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fg {
class FaxTranXml;
}

namespace fg::documents {

// One fax form as its builder makes it.
struct FormTable {
    const char* source;       // the builder, under whose name it logs
    const char* root;         // the root element of its documents
    const char* form;         // its style sheets: <form>_ChangeCode.xsl and <form>_ChangeStructure.xsl
                              // (nullptr for a builder that lays its documents out itself)
    const char* reportType;   // the report type of its records (nullptr: the builder gives it per document)
    const char* declaration;  // the declaration its documents begin with
    const char* badData;      // the text of BadMessageData, which the file's name follows
    const char* body = nullptr;                    // lines are taken below each element of this name (or anywhere)
    const char* line = "JPTRM";                    // the element of one line
    const char* fileSuffix = ".xml";               // what follows the names of the message files
    const char* codeTable = "StandardCode_jp.xml";
    const char* decisionCondition = "";            // of its records
    bool preserveWhiteSpace = false;               // messages and documents keep their blanks
    bool listWhenWritten = false;                  // a number reaches the caller's list once its fax document
                                                   // is written, not when it is given
};

// A fax document under construction: the lines of one customer, supplier
// and third key (the TEST value, or a reminder's kind), or of one line.
struct DocumentGroup {
    xml::Document document;
    std::string customer, supplier, test, orderName, orderNumber, number;
};

// The steps of one builder call that do not depend on how its documents
// group. A call that ends by a raised error rolls back the records of the
// numbers it gave; a call that fails otherwise rolls them back where it
// fails.
class BuilderCall {
public:
    // `listed` is the caller's list of numbers, or nullptr.
    BuilderCall(FaxTranXml& owner, const FormTable& form, std::vector<std::string>* listed);
    ~BuilderCall();
    BuilderCall(const BuilderCall&) = delete;
    BuilderCall& operator=(const BuilderCall&) = delete;

    const FormTable& form() const { return form_; }
    NumberReservations& reservations() { return reservations_; }

    // BadMessageData for message file `name`; badData logs it and answers False.
    Error badDataError(const std::string& name) const;
    bool badData(const std::string& name) const;
    // The message file's own content is at fault: BadMessageData is logged,
    // the reason written to the debug log beside it, and the owner told
    // which file it refused and why (a batch holds back that file's archive
    // alone). False.
    bool refuse(const std::string& name, const std::string& reason) const;

    // Reads every message file of the messages folder in order and hands
    // each of its lines to `perLine` with the file's name and the line's
    // place among the file's lines. False after BadMessageData is logged for a file
    // that does not load (refused when its content is at fault), or when
    // `perLine` answers False (it has logged). A count that overflows on a
    // file's lines refuses that file.
    using LineWork = std::function<bool(xml::Node line, const std::string& file, std::size_t index)>;
    bool read(const std::vector<std::string>& names, const LineWork& perLine);
    // The lines of a message, in the order read takes them.
    std::vector<xml::Node> linesOf(const xml::Document& message) const;
    const std::string& messageFolder() const { return messageFolder_; }

    // Gives the document a new number and starts it: the declaration, the
    // root and its RepManageNo.
    void start(DocumentGroup& document);

    // The supplier of a code; False after UnregisteredSupplier is logged and
    // the call is rolled back. By fax number, before any record of the call
    // is stored: False after UnregisteredSupplier is logged.
    bool supplierOf(const std::string& code, Supplier& out);
    bool supplierByFax(const std::string& faxNo, Supplier& out);
    // Makes the document's record and shows the document to the observer.
    void record(const DocumentGroup& document, const Supplier& supplier, const std::string& reportType);
    // The code table attached, the supplier found (or the addressee taken)
    // and the record made, as above; False when the supplier is not found.
    bool recordWithCodes(DocumentGroup& document, const Supplier* addressee);
    // Writes the fax document through the form's style sheets into the
    // "FaxSendXML" folder.
    void saveFax(const DocumentGroup& document);

    // Loads the form's style sheets and the code table, in that order.
    void loadSheets();
    const FormSheets& sheets() const { return *sheets_; }
    const std::string& sendFolder() const { return sendFolder_; }

    // Stores the records of the call in one save, once its documents are
    // written (in a batch they are the batch's already). False after
    // RecordNotStored is logged, the call rolled back and its fax documents
    // deleted.
    bool commit();
    void rollBack() noexcept;

private:
    FaxTranXml& owner_;
    const FormTable& form_;
    std::vector<std::string>* listed_;
    std::string messageFolder_;
    NumberReservations reservations_;
    std::vector<std::string> made_;  // the numbers this call gave
    std::vector<ManageRecord> pending_;  // outside a batch: the records not yet stored
    std::vector<std::string> committed_;  // outside a batch: the numbers stored
    int uncaught_;
    std::string sendFolder_;
    std::unique_ptr<FormSheets> sheets_;
    xml::Document codeTable_;
};

// A builder call and its documents, in the order they were started: a form
// that groups its lines finds the document of a line's keys or starts one;
// a form of one document per line starts one for every line.
template <class Group = DocumentGroup>
class GroupedBuilder : public BuilderCall {
public:
    using BuilderCall::BuilderCall;

    std::size_t size() const { return groups_.size(); }
    std::deque<Group>& groups() { return groups_; }

    // The group of those keys, nullptr when none has been started.
    Group* find(const std::string& customer, const std::string& supplier, const std::string& test) {
        for (auto& g : groups_)
            if (g.customer == customer && g.supplier == supplier && g.test == test) return &g;
        return nullptr;
    }
    // Starts and numbers the document of a new group.
    Group& start(const std::string& customer, const std::string& supplier, const std::string& test,
                 const std::string& orderName) {
        Group g;
        BuilderCall::start(g);
        g.customer = customer;
        g.supplier = supplier;
        g.test = test;
        g.orderName = orderName;
        groups_.push_back(std::move(g));
        return groups_.back();
    }

    // Records and writes every document: by default the fax document alone,
    // or what `writeDocuments` writes. With an addressee every record goes to
    // that supplier; otherwise each document's supplier code is looked up.
    bool write(const Supplier* addressee = nullptr) {
        return write(addressee, [this](Group& g) { saveFax(g); });
    }
    template <class WriteDocuments>
    bool write(const Supplier* addressee, WriteDocuments&& writeDocuments) {
        if (groups_.empty()) return true;
        loadSheets();
        for (Group& g : groups_) {
            if (!recordWithCodes(g, addressee)) return false;
            writeDocuments(g);
        }
        return commit();
    }

private:
    std::deque<Group> groups_;
};

}  // namespace fg::documents
