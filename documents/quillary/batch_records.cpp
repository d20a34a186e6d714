#include "documents/quillary/batch_records.h"

#include "documents/quillary/builder_support.h"

#include "report_maker/record_addressee.h"
#include "platform/error.h"
#include "platform/error_log.h"

#include <algorithm>

namespace fg::documents {

void BatchRecords::add(const ManageRecord& record) {
    held_.push_back({record, false, false, {}});
    index_.try_emplace(record.number(), held_.size() - 1);
    suppliers_.try_emplace(supplierCodeOf(record), held_.size() - 1);
}

void BatchRecords::holdStored(const std::vector<std::string>& numbers) {
    StoredRecords stored;
    for (const std::string& number : numbers) {
        if (index_.count(number)) continue;
        if (const ManageRecord* record = stored.find(number)) {
            held_.push_back({*record, true, false, {}});
            index_.emplace(number, held_.size() - 1);
        }
    }
}

const BatchRecords::Held* BatchRecords::held(const std::string& number) const {
    auto at = index_.find(number);
    if (at == index_.end() || held_[at->second].forgotten) return nullptr;
    return &held_[at->second];
}

void BatchRecords::forget(const std::vector<std::string>& numbers) {
    for (const std::string& number : numbers)
        if (Held* h = held(number); h && !h->existed) h->forgotten = true;
}

const ManageRecord* BatchRecords::find(const std::string& number) const {
    const Held* h = held(number);
    return h ? &h->record : nullptr;
}

const ManageRecord* BatchRecords::madeFor(const std::string& supplierCode) const {
    auto at = suppliers_.find(supplierCode);
    if (at == suppliers_.end()) return nullptr;
    // A record its builder rolled back may be followed by others of the
    // supplier; the first still in hand serves.
    for (std::size_t i = at->second; i < held_.size(); ++i) {
        const Held& h = held_[i];
        if (!h.forgotten && !h.existed && supplierCodeOf(h.record) == supplierCode) return &h.record;
    }
    return nullptr;
}

FaxReportMaker::AddresseeLookup BatchRecords::addressees() const {
    return [this](const std::string& number) -> std::optional<FaxReportMaker::Addressee> {
        if (const ManageRecord* record = find(number)) return addresseeOf(*record);
        return std::nullopt;
    };
}

std::optional<std::string> BatchRecords::title(const std::string& number) {
    if (const Held* h = held(number)) return h->record.title();
    FaxManageNum store;
    if (!store.getManageNum(number, "", true)) return std::nullopt;  // the store has logged NoRecordForManageNum
    return store.mstrRepType();
}

bool BatchRecords::pagesMade(const std::string& number, const std::vector<std::string>& names) {
    if (Held* h = held(number)) {
        h->made.insert(h->made.end(), names.begin(), names.end());
        return true;
    }
    loose_.push_back({number, names});
    return true;
}

void BatchRecords::store() {
    StoreChanges changes;
    for (const Held& h : held_) {
        if (h.forgotten) continue;
        if (h.existed) {
            changes.replacePages(h.record.number(), h.made, h.made);
            continue;
        }
        ManageRecord record = h.record;
        record.tempImages.insert(record.tempImages.end(), h.made.begin(), h.made.end());
        record.refImages.insert(record.refImages.end(), h.made.begin(), h.made.end());
        changes.add(record);
    }
    for (const auto& [number, names] : loose_) changes.addPages(number, names);
    changes.apply();
    stored_ = true;
}

BatchRecords::ListedFiles BatchRecords::filesOf(const std::vector<std::string>& numbers) const {
    ListedFiles files;
    for (const std::string& number : numbers) {
        const Held* h = held(number);
        if (!h || h->existed) continue;
        files.sendXml.insert(h->record.sendXml.begin(), h->record.sendXml.end());
        for (auto* list : {&h->record.tempImages, &h->made}) files.temp.insert(list->begin(), list->end());
        for (auto* list : {&h->record.refImages, &h->made}) files.ref.insert(list->begin(), list->end());
    }
    return files;
}

bool BatchRecords::unstore(const std::vector<std::string>& numbers) noexcept {
    try {
        StoreChanges changes;
        for (const std::string& number : numbers) {
            const Held* h = held(number);
            if (!h) continue;
            if (h->existed)
                changes.replacePages(number, h->record.tempImages, h->record.refImages);
            else
                changes.remove(number);
        }
        changes.apply();
        return true;
    } catch (...) {
        logCurrentError("FaxTranXml");
        return false;
    }
}

void BatchRecords::keep(NumberReservations& reservations) noexcept {
    try {
        if (!reservations_) reservations_ = std::make_unique<NumberReservations>();
        reservations_->keep(reservations);
    } catch (...) {
        // Given back with the call then, as outside a batch.
        writeDebugLine("FaxTranXml", "バッチの番号の予約を保てません: " + currentError().description());
    }
}

}  // namespace fg::documents
