// How the batch driver groups the files of a fetch and the documents of the
// reminder lists into recipient groups: one fax per group.
#pragma once

#include "documents/quillary/fax_tran_xml.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fg::documents {

// The files of one information code within a supplier's group.
struct INFO_GROUP {
    std::int16_t intCnt = 0;
    std::string strInfoType;
    std::vector<std::string> strFileName;
};

// The files of one supplier, by information code in record order.
struct SUPPLIER_GROUP {
    std::int16_t intCnt = 0;
    std::string strSupplier;
    std::vector<INFO_GROUP> udtInfo;
};

struct REMINDER_ITEM {
    std::string strCustomerCode;
    std::string strRepManageNo;
};

// The reminder documents of one supplier: quotation reminders first.
struct REMINDER_GROUP {
    std::string strSupplierCode;
    std::int16_t intRfqCnt = 0;
    std::int16_t intOtherCnt = 0;
    std::vector<REMINDER_ITEM> udtRfq;
    std::vector<REMINDER_ITEM> udtOther;
};

// Records 0 to 3 (those present) grouped by supplier in order of first
// appearance, and within a supplier by information code in record order.
// Only the first intCnt entries of a record count; a record whose lists are
// shorter than its count raises fg::Error 9, a count beyond 32767 error 6.
void makeGetFileList(const std::vector<GET_FILE>& udtData, std::vector<SUPPLIER_GROUP>& groups);
// Record 0 grouped by supplier (exact comparison), in order of first appearance.
void editData(const std::vector<GET_FILE>& udtData, std::vector<Edit_File>& udtEdit);
// The reminder worktable grouped by supplier code; an entry whose tag is
// exactly "RFQ-number" is a quotation reminder, any other an order reminder.
void makeReminderList(const std::vector<WORKTABLE>& worktable, std::vector<REMINDER_GROUP>& groups);

}  // namespace fg::documents
