#include "settings/manage_records.h"

#include "platform/error.h"
#include "platform/xml.h"
#include "settings/locked_document.h"
#include "settings/member_guard.h"
#include "settings/store_document.h"

#include <optional>

namespace fg {

using namespace settings::store;

StoredRecords::StoredRecords() {
    const std::string path = FaxManageNum().storePath();
    xml::Document doc;
    if (!doc.load(path)) {
        settings::traceFailure(FaxManageNum::kErrorSource,
                               Error(errnum::PathFileAccessError, settings::loadFailure(path, doc.parseError())));
        return;
    }
    loaded_ = true;
    for (const xml::Node& root : roots(doc)) {
        forEachRecord(root, [&](const xml::Node& record) {
            try {
                records_.push_back(readRecord(record));
            } catch (const Error&) {
                whole_ = false;
                return false;
            }
            first_.try_emplace(records_.back().number(), records_.size() - 1);
            return true;
        });
    }
}

const ManageRecord* StoredRecords::find(const std::string& number) const {
    if (!whole_) return nullptr;
    auto at = first_.find(number);
    return at == first_.end() ? nullptr : &records_[at->second];
}

void StoreChanges::add(const ManageRecord& record) { changes_.push_back({Change::Add, record}); }

void StoreChanges::addPages(const std::string& number, const std::vector<std::string>& names) {
    Change c{Change::AddPages, {}};
    c.record.fields[kRepManageNo] = number;
    c.record.tempImages = names;
    changes_.push_back(std::move(c));
}

void StoreChanges::replacePages(const std::string& number, const std::vector<std::string>& temp,
                                const std::vector<std::string>& ref) {
    Change c{Change::ReplacePages, {}};
    c.record.fields[kRepManageNo] = number;
    c.record.tempImages = temp;
    c.record.refImages = ref;
    changes_.push_back(std::move(c));
}

void StoreChanges::remove(const std::string& number) {
    Change c{Change::Remove, {}};
    c.record.fields[kRepManageNo] = number;
    changes_.push_back(std::move(c));
}

void StoreChanges::apply() {
    std::vector<Change> changes = std::move(changes_);
    changes_.clear();
    if (changes.empty()) return;
    settings::LockedDocument store(FaxManageNum().storePath());
    if (!store.loaded()) throw loadError(store);
    xml::Document& doc = store.document();
    bool changed = false;
    std::optional<Error> stopped;
    // Where new records go, found once: a search of the whole document for
    // every record added made a save of n new records cost n searches.
    std::optional<xml::Node> newRecords;
    for (const Change& c : changes) {
        const std::string& number = c.record.number();
        switch (c.kind) {
        case Change::Add: {
            if (!newRecords) {
                xml::NodeList all = roots(doc);
                if (all.empty())
                    throw Error(errnum::PathFileAccessError,
                                "管理番号ファイルに FAXManageNums がありません。" + store.path());
                newRecords = all.front();
            }
            appendRecord(doc, *newRecords, c.record);
            changed = true;
            break;
        }
        case Change::AddPages:
            // A record missing stops here, as the member that appends alone
            // fails for it and the caller goes no further.
            for (const ListKind* kind : {&kTempImages, &kRefImages}) {
                if (!appendNames(doc, *kind, number, c.record.tempImages)) {
                    stopped = Error(kind->missingError, "帳票管理番号=" + number + " の記録がありません。");
                    break;
                }
                changed = true;
            }
            break;
        case Change::ReplacePages:
            changed = replaceNames(doc, kTempImages, number, c.record.tempImages) | changed;
            changed = replaceNames(doc, kRefImages, number, c.record.refImages) | changed;
            break;
        case Change::Remove:
            changed = removeRecord(doc, number) | changed;
            break;
        }
        if (stopped) break;
    }
    if (changed) store.save();
    if (stopped) throw *stopped;
}

}  // namespace fg
