// The grouping of a fetch's files into recipient groups.
#include "documents/quillary/grouping.h"
#include "platform/error.h"

#include <gtest/gtest.h>

namespace fg::documents {
namespace {

using Strings = std::vector<std::string>;

TEST(Grouping, EditDataGroupsRecordZeroBySupplierInOrderOfFirstAppearance) {
    std::vector<GET_FILE> data{{3, "0601", {"A", "B", "A"}, {"f1", "f2", "f3"}}, {2, "0701", {"C", "C"}, {"x", "y"}}};
    std::vector<Edit_File> groups;
    documents::editData(data, groups);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].strSupplier, "A");
    EXPECT_EQ(groups[0].intCnt, 2);
    EXPECT_EQ(groups[0].strFileName, (Strings{"f1", "f3"}));
    EXPECT_EQ(groups[1].strSupplier, "B");
    EXPECT_EQ(groups[1].strFileName, Strings{"f2"});
    // Exact comparison: "a" is not "A"; only intCnt entries count.
    std::vector<Edit_File> more;
    documents::editData({{2, "0601", {"a", "A", "B"}, {"g1", "g2", "g3"}}}, more);
    ASSERT_EQ(more.size(), 2u);
    EXPECT_EQ(more[0].strSupplier, "a");
}

TEST(Grouping, FileListGroupsBySupplierThenByCodeInRecordOrder) {
    std::vector<GET_FILE> data{{1, "0301", {"S1"}, {"q1"}},
                               {1, "0500", {"S2"}, {"o1"}},
                               {3, "0701", {"S2", "S1", "S1"}, {"d1", "d2", "d3"}},
                               {0, "1101", {}, {}}};
    std::vector<SUPPLIER_GROUP> groups;
    makeGetFileList(data, groups);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].strSupplier, "S1");
    ASSERT_EQ(groups[0].intCnt, 2);
    EXPECT_EQ(groups[0].udtInfo[0].strInfoType, "0301");
    EXPECT_EQ(groups[0].udtInfo[1].strInfoType, "0701");
    EXPECT_EQ(groups[0].udtInfo[1].strFileName, (Strings{"d2", "d3"}));
    EXPECT_EQ(groups[0].udtInfo[1].intCnt, 2);
    EXPECT_EQ(groups[1].strSupplier, "S2");
    EXPECT_EQ(groups[1].udtInfo[0].strInfoType, "0500");
    EXPECT_EQ(groups[1].udtInfo[1].strFileName, Strings{"d1"});
}

TEST(Grouping, CountsThatTheListsCannotCarryAreRefused) {
    std::vector<SUPPLIER_GROUP> groups;
    try {
        makeGetFileList({{2, "0301", {"S1"}, {"q1"}}}, groups);
        FAIL() << "a count beyond the list was taken";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::SubscriptOutOfRange);
    }
    // 32767 files of one supplier fill a 16-bit count; one more overflows.
    GET_FILE big{32767, "0601", Strings(32767, "S"), Strings(32767, "f")};
    std::vector<Edit_File> edit;
    documents::editData({big}, edit);
    EXPECT_EQ(edit[0].intCnt, 32767);
    try {
        documents::editData({GET_FILE{1, "0601", {"S"}, {"g"}}}, edit);
        FAIL() << "the count overflowed silently";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::Overflow);
    }
}

TEST(Grouping, ReminderListPutsQuotationRemindersApartFromTheRest) {
    std::vector<WORKTABLE> table(4);
    const char* rows[4][3] = {{"S1", "RFQ-number", "n1"}, {"S2", "Order-number", "n2"},
                              {"S1", "Order-number", "n3"}, {"S1", "RFQ-number", "n4"}};
    for (int i = 0; i < 4; ++i) {
        table[static_cast<std::size_t>(i)].strSupplierCode = rows[i][0];
        table[static_cast<std::size_t>(i)].strTagName = rows[i][1];
        table[static_cast<std::size_t>(i)].strFileName = rows[i][2];
        table[static_cast<std::size_t>(i)].strCustomerCode = "C1";
    }
    std::vector<REMINDER_GROUP> groups;
    makeReminderList(table, groups);
    ASSERT_EQ(groups.size(), 2u);
    ASSERT_EQ(groups[0].intRfqCnt, 2);
    EXPECT_EQ(groups[0].udtRfq[0].strRepManageNo, "n1");
    EXPECT_EQ(groups[0].udtRfq[1].strRepManageNo, "n4");
    ASSERT_EQ(groups[0].intOtherCnt, 1);
    EXPECT_EQ(groups[0].udtOther[0].strRepManageNo, "n3");
    EXPECT_EQ(groups[1].intRfqCnt, 0);
    EXPECT_TRUE(groups[1].udtRfq.empty());
    EXPECT_EQ(groups[1].udtOther[0].strCustomerCode, "C1");
}

}  // namespace
}  // namespace fg::documents
