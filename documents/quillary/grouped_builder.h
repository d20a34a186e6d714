// The step the document builders share. One builder call reads the message
// files of its form, starts a numbered document for each group of lines (or
// for each line), and then, document by document, attaches the code table,
// finds the supplier (or rolls the call back with UnregisteredSupplier),
// makes the record, shows the document to the observer and writes it through
// the form's style sheets (see catalogue.h for the numbers). The records of
// the call are stored together once its documents are written; should that
// fail, the call is rolled back with RecordNotStored. A call rolled back,
// for whatever reason, deletes the fax documents it wrote, so that none
// stands without its record. Inside a batch the records go to the batch,
// which stores them with those of its other calls. A builder gives its
// form's table and the work of one line; what differs beyond that stays in
// the builder.
#pragma once

#include "documents/quillary/builder_support.h"
#include "documents/quillary/number_reservations.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
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
    std::vector<std::string> files;  // the message files its lines came from, in order
};

// Message files that a builder call would not take for their own content
// (they do not parse, a line lacks what its form needs, a count overflows,
// a line names a supplier that is not registered), and why. A batch leaves
// out what they came in, and builds the rest.
struct Refusal {
    std::vector<std::string> files;  // as named in the messages folder, suffix included
    std::string reason;
};

// What a builder call came to: done; failed (logged, the call rolled back);
// or refused, which is a failure as well but one that names its files.
class [[nodiscard]] Built {
public:
    // Line work and steps that only succeed or fail say so with a bool.
    Built(bool done) : outcome_(done ? Outcome::Done : Outcome::Failed) {}  // NOLINT: implicit on purpose
    Built(Refusal refusal) : outcome_(Outcome::Refused), refusal_(std::move(refusal)) {}  // NOLINT
    explicit operator bool() const { return outcome_ == Outcome::Done; }
    bool refused() const { return outcome_ == Outcome::Refused; }
    // The refusal of a call that refused; every refusal names a file.
    const Refusal& refusal() const;

private:
    enum class Outcome { Done, Failed, Refused };
    Outcome outcome_;
    Refusal refusal_;
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
    // the reason written to the debug log beside it, and the refusal of
    // that file answered (a batch holds back that file's archive alone).
    Refusal refuse(const std::string& name, const std::string& reason) const;

    // Reads every message file of the messages folder in order and hands
    // each of its lines to `perLine` with the file's name and the line's
    // place among the file's lines. Failed after BadMessageData is logged
    // for a file that does not load (refused when its content is at fault),
    // or what `perLine` answers when it is not done (it has logged). A count
    // that overflows on a file's lines refuses that file.
    using LineWork = std::function<Built(xml::Node line, const std::string& file, std::size_t index)>;
    Built read(const std::vector<std::string>& names, const LineWork& perLine);
    // The lines of a message, in the order read takes them.
    std::vector<xml::Node> linesOf(const xml::Document& message) const;
    const std::string& messageFolder() const { return messageFolder_; }

    // Gives the document a new number and starts it: the declaration, the
    // root and its RepManageNo. Its lines come from the file being read.
    void start(DocumentGroup& document);
    // The document takes a line of the file being read.
    void joins(DocumentGroup& document) const;

    // The supplier of the document's code; after UnregisteredSupplier is
    // logged and the call rolled back, the refusal of the files its lines
    // came from: a line that names no registered supplier is the message's
    // own fault, which the supplier refresh or the EDI server may mend. By
    // fax number, before any record of the call is stored: False after
    // UnregisteredSupplier is logged.
    Built supplierOf(const DocumentGroup& document, Supplier& out);
    bool supplierByFax(const std::string& faxNo, Supplier& out);
    // Makes the document's record and shows the document to the observer.
    void record(const DocumentGroup& document, const Supplier& supplier, const std::string& reportType);
    // The code table attached, the supplier found (or the addressee taken)
    // and the record made, as above; not done when the supplier is not found.
    Built recordWithCodes(DocumentGroup& document, const Supplier* addressee);
    // Writes the fax document through the form's style sheets into the
    // "FaxSendXML" folder.
    void saveFax(const DocumentGroup& document);

    // Loads the form's style sheets and the code table, in that order.
    void loadSheets();
    const FormSheets& sheets() const { return *sheets_; }
    const std::string& sendFolder() const { return sendFolder_; }

    // Stores the records of the call in one save, once its documents are
    // written (in a batch they are the batch's already). False after
    // RecordNotStored is logged and the call rolled back.
    bool commit();
    // Forgets (or removes) the records of the numbers the call gave, and
    // deletes the fax documents and base copies written under them.
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
    std::string reading_;  // the message file being read
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

    // The group of those keys, which the line being read joins; nullptr
    // when none has been started.
    Group* find(const std::string& customer, const std::string& supplier, const std::string& test) {
        for (auto& g : groups_)
            if (g.customer == customer && g.supplier == supplier && g.test == test) {
                joins(g);
                return &g;
            }
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
    Built write(const Supplier* addressee = nullptr) {
        return write(addressee, [this](Group& g) { saveFax(g); });
    }
    template <class WriteDocuments>
    Built write(const Supplier* addressee, WriteDocuments&& writeDocuments) {
        if (groups_.empty()) return true;
        loadSheets();
        for (Group& g : groups_) {
            if (Built recorded = recordWithCodes(g, addressee); !recorded) return recorded;
            writeDocuments(g);
        }
        return commit();
    }

private:
    std::deque<Group> groups_;
};

}  // namespace fg::documents
