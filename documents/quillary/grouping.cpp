#include "documents/quillary/grouping.h"

#include "platform/error.h"

#include <limits>

namespace fg::documents {

namespace {

// Counts are 16-bit, as the records that carry them.
void bump16(std::int16_t& n) {
    if (n == std::numeric_limits<std::int16_t>::max()) throw Error::standard(errnum::Overflow, "FaxTranXml");
    ++n;
}

// The entries of a record that its count makes valid.
std::size_t usedEntries(const GET_FILE& record) {
    if (record.intCnt <= 0) return 0;
    auto n = static_cast<std::size_t>(record.intCnt);
    if (record.strSupplier.size() < n || record.strGetFile.size() < n)
        throw Error(errnum::SubscriptOutOfRange,
                    Error::standardText(errnum::SubscriptOutOfRange) + " 情報区分 \"" + record.strInfoType + "\" の件数 " +
                        std::to_string(record.intCnt) + " にファイルが足りません。",
                    "FaxTranXml");
    return n;
}

}  // namespace

void makeGetFileList(const std::vector<GET_FILE>& udtData, std::vector<SUPPLIER_GROUP>& groups) {
    groups.clear();
    for (std::size_t j = 0; j < udtData.size() && j < 4; ++j) {
        const GET_FILE& record = udtData[j];
        const std::size_t n = usedEntries(record);
        for (std::size_t k = 0; k < n; ++k) {
            const std::string& supplier = record.strSupplier[k];
            const std::string& file = record.strGetFile[k];
            SUPPLIER_GROUP* group = nullptr;
            for (auto& g : groups)
                if (g.strSupplier == supplier) {
                    group = &g;
                    break;
                }
            if (!group) {
                groups.push_back({});
                group = &groups.back();
                group->strSupplier = supplier;
            }
            INFO_GROUP* info = nullptr;
            for (auto& i : group->udtInfo)
                if (i.strInfoType == record.strInfoType) {
                    info = &i;
                    break;
                }
            if (!info) {
                bump16(group->intCnt);
                group->udtInfo.push_back({});
                info = &group->udtInfo.back();
                info->strInfoType = record.strInfoType;
            }
            bump16(info->intCnt);
            info->strFileName.push_back(file);
        }
    }
}

void editData(const std::vector<GET_FILE>& udtData, std::vector<Edit_File>& udtEdit) {
    if (udtData.empty()) throw Error::standard(errnum::SubscriptOutOfRange, "EditData");
    const GET_FILE& record = udtData[0];
    const std::size_t n = usedEntries(record);
    for (std::size_t j = 0; j < n; ++j) {
        Edit_File* entry = nullptr;
        for (auto& e : udtEdit)
            if (e.strSupplier == record.strSupplier[j]) {
                entry = &e;
                break;
            }
        if (!entry) {
            udtEdit.push_back({});
            entry = &udtEdit.back();
            entry->strSupplier = record.strSupplier[j];
        }
        bump16(entry->intCnt);
        entry->strFileName.push_back(record.strGetFile[j]);
    }
}

void makeReminderList(const std::vector<WORKTABLE>& worktable, std::vector<REMINDER_GROUP>& groups) {
    groups.clear();
    for (const WORKTABLE& w : worktable) {
        REMINDER_GROUP* group = nullptr;
        for (auto& g : groups)
            if (g.strSupplierCode == w.strSupplierCode) {
                group = &g;
                break;
            }
        if (!group) {
            groups.push_back({});
            group = &groups.back();
            group->strSupplierCode = w.strSupplierCode;
        }
        REMINDER_ITEM item{w.strCustomerCode, w.strFileName};
        if (w.strTagName == "RFQ-number") {
            bump16(group->intRfqCnt);
            group->udtRfq.push_back(item);
        } else {
            bump16(group->intOtherCnt);
            group->udtOther.push_back(item);
        }
    }
}

}  // namespace fg::documents
