// The management records of one batch's documents, held in hand from the
// moment the builders make them until the batch hands its first group over.
// The layouts and the page pipeline take what they need from them, and they
// reach the store in one locked save before any group is handed over (the
// fax-send servers read them there): a batch of n documents costs the store
// a save or two, not several saves and reads per document. A batch that
// fails before that save leaves the store as it was.
//
// The documents of a batch that lays stored documents out again are held
// too, read from the store once: their new pages replace the old ones in the
// same save, and the old lists are kept to be put back should the batch
// fail after it.
#pragma once

#include "documents/quillary/number_reservations.h"
#include "fax_images/pellior/fax_rep_img.h"
#include "report_maker/fax_report_maker.h"
#include "settings/manage_records.h"

#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace fg::documents {

class BatchRecords : public PageRecords {
public:
    // The record of a document a builder of the batch has made.
    void add(const ManageRecord& record);
    // Takes the stored records of the numbers in hand, read once; a number
    // without one is not taken (its pages and layout then go by the store).
    void holdStored(const std::vector<std::string>& numbers);
    // Forgets the records the batch made of these numbers: a builder that
    // rolls its documents back before they are stored.
    void forget(const std::vector<std::string>& numbers);

    // The record in hand of the number; nullptr when there is none.
    const ManageRecord* find(const std::string& number) const;
    // The first record the batch made for the supplier code, which names
    // the supplier as its lookup found it: a batch looks each supplier up
    // once, not once per document. nullptr when there is none.
    const ManageRecord* madeFor(const std::string& supplierCode) const;
    // The layouts' lookup: the addressee of a record in hand.
    FaxReportMaker::AddresseeLookup addressees() const;

    // The title of a record in hand, or as the store has it (NoRecordForManageNum logged
    // when it has none).
    std::optional<std::string> title(const std::string& number) override;
    // The pages rendered for the number, after those rendered before in
    // this batch.
    bool pagesMade(const std::string& number, const std::vector<std::string>& names) override;

    // Stores what is in hand in one save: the records made, with their
    // pages; the pages of the documents laid out again in place of their
    // old ones; pages of numbers not in hand appended. Raises fg::Error when
    // the store cannot be changed, and then nothing of it is stored.
    void store();
    bool stored() const { return stored_; }
    // Removes the stored records the batch made of these numbers and puts
    // the old pages of those it laid out again back, in one save. Never
    // raises; False (logged) when the store cannot be changed: every record
    // then stays as stored.
    [[nodiscard]] bool unstore(const std::vector<std::string>& numbers) noexcept;

    // The files the records the batch made of these numbers list (stored or
    // not): fax documents, pages and reference copies. Those of documents
    // laid out again are not among them: their records stay.
    struct ListedFiles {
        std::set<std::string> temp, ref, sendXml;
    };
    ListedFiles filesOf(const std::vector<std::string>& numbers) const;

    // Keeps a builder call's reservations until the batch ends, when its
    // records are stored or rolled back: should the batch die before, its
    // numbers stay marked, and what was made under them is cleared.
    void keep(NumberReservations& reservations) noexcept;

private:
    struct Held {
        ManageRecord record;
        bool existed = false;           // stored before the batch: laid out again
        bool forgotten = false;         // rolled back by its builder
        std::vector<std::string> made;  // pages rendered in this batch
    };
    // The record in hand of the number, not forgotten; nullptr when none.
    const Held* held(const std::string& number) const;
    Held* held(const std::string& number) {
        return const_cast<Held*>(static_cast<const BatchRecords*>(this)->held(number));
    }
    std::vector<Held> held_;
    std::unordered_map<std::string, std::size_t> index_;  // number -> first held record
    std::unordered_map<std::string, std::size_t> suppliers_;  // supplier code -> first record made
    std::vector<std::pair<std::string, std::vector<std::string>>> loose_;  // pages of numbers not in hand
    bool stored_ = false;
    std::unique_ptr<NumberReservations> reservations_;
};

}  // namespace fg::documents
