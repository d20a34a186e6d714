#include "settings/held_manage_record.h"

#include "platform/error.h"
#include "platform/folder_path_info.h"
#include "settings/fax_manage_num.h"
#include "settings/store_document.h"

namespace fg {

using namespace settings::store;

namespace {

// The first record of the number in each FAXManageNums, as the members find it.
xml::Node firstRecord(const xml::Document& doc, const std::string& number) {
    xml::Node found;
    for (const xml::Node& root : roots(doc)) {
        forEachRecord(root, [&](const xml::Node& record) {
            if (childText(record, kRepManageNo) != number) return true;
            if (!found) found = record;
            return false;
        });
    }
    return found;
}

}  // namespace

HeldManageRecord::HeldManageRecord(std::chrono::milliseconds bound) {
    store_.emplace(FolderPathInfo().getFolderPath("FaxManageNum") + FaxManageNum::kFileName, bound);
    if (!store_->loaded()) throw loadError(*store_);
}

std::optional<std::string> HeldManageRecord::decisionCondition(const std::string& number) {
    xml::Node record = firstRecord(store_->document(), number);
    if (!record) return std::nullopt;
    return childText(record, kDecisionCondition);
}

void HeldManageRecord::setDecisionCondition(const std::string& number, const std::string& value) {
    bool changed = false;
    for (const xml::Node& root : roots(store_->document())) {
        forEachRecord(root, [&](const xml::Node& record) {
            if (childText(record, kRepManageNo) != number) return true;
            childAt(record, kDecisionCondition).setTextAsLoaded(value);
            changed = true;
            return false;
        });
    }
    if (changed) store_->save();
}

}  // namespace fg
