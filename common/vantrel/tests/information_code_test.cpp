#include "common/vantrel/file_name.h"
#include "common/vantrel/information_code.h"

#include "platform/error.h"
#include "platform/testing/error_of.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace fg {
namespace {

using testing::errorOf;

std::vector<std::string> items(const Collection<std::string>& c) {
    std::vector<std::string> out;
    for (std::size_t i = 1; i <= c.count(); ++i) out.push_back(c.item(i));
    return out;
}


TEST(InformationCode, ListHoldsTheCodesInTheirFixedOrder) {
    InformationCode codes;
    EXPECT_EQ(items(codes.List()), (std::vector<std::string>{"0301", "0302", "0500", "0601", "0701", "0702", "0704",
                                                             "0705", "0801", "0303", "0304", "0901", "1101"}));
    EXPECT_EQ(codes.List().item(10), "0303");
    EXPECT_EQ(codes.List().item(13), "1101");
    for (std::size_t bad : {0u, 14u}) EXPECT_EQ(errorOf([&] { codes.List().item(bad); }), errnum::InvalidProcedureCall);
    // Added without keys: a code is no key of List.
    EXPECT_EQ(errorOf([&] { codes.List().item(std::string("0301")); }), errnum::InvalidProcedureCall);
}

TEST(InformationCode, NamedCodes) {
    InformationCode c;
    const std::pair<std::string, const char*> cases[] = {
        {c.RFQ(), "0301"},          {c.RFQANS(), "0302"},   {c.CUSTOMSREQUEST(), "0303"}, {c.CUSTOMS(), "0304"},
        {c.ORDER(), "0500"},        {c.ORDERBALANCE(), "0601"}, {c.REQUEST(), "0701"},   {c.REQUESTANS(), "0702"},
        {c.DELIVERY(), "0704"},     {c.ARRIVAL(), "0705"},  {c.INSPECTION(), "0801"},     {c.RECEIVING(), "0901"},
        {c.ADVANCE(), "1101"},
    };
    for (const auto& [value, code] : cases) EXPECT_EQ(value, code);
}

TEST(InformationCode, KeyColumnsByCode) {
    InformationCode codes;
    const std::vector<std::string> cc = {"Customer-code", "Supplier-code"};
    auto with = [&](std::vector<std::string> rest) {
        auto v = cc;
        v.insert(v.end(), rest.begin(), rest.end());
        return v;
    };
    const std::vector<std::pair<std::string, std::vector<std::string>>> rows = {
        {"0301", with({"RFQ-number", "RFQ-branch-number"})},
        {"0302", with({"Quotation-number"})},
        {"0500", with({"Order-number"})},
        {"0601", with({"Order-number"})},
        {"0701", with({"Order-number", "Devide-delivery-number"})},
        {"0702", with({"Order-number", "Devide-delivery-number"})},
        {"0704", with({"Delivery-control-number"})},
        {"0705", with({"Delivery-control-number"})},
        {"0801", with({"Delivery-control-number"})},
        {"0901", with({"Delivery-control-number"})},
        {"1101", with({"Order-number", "Add-up-year-and-month"})},
        {"0303", with({"Ship-number"})},
        {"0304", with({"Ship-number"})},
        {"REPLY", {"RFQ-number", "RFQ-branch-number"}},
    };
    ASSERT_EQ(codes.Key().count(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(items(codes.Key().item(rows[i].first)), rows[i].second) << rows[i].first;
        // Rows in table order: "0901" and "1101" before "0303" and "0304".
        EXPECT_EQ(items(codes.Key().item(i + 1)), rows[i].second) << i + 1;
    }
    EXPECT_EQ(items(codes.Key().item("reply")), rows.back().second);
    for (std::string bad : {"0300", "0303 ", "", "REPLIES"})
        EXPECT_EQ(errorOf([&] { codes.Key().item(bad); }), errnum::InvalidProcedureCall) << bad;
    EXPECT_EQ(errorOf([&] { codes.Key().item(15); }), errnum::InvalidProcedureCall);
    EXPECT_EQ(errorOf([&] { codes.Key().item("0301").item(5); }), errnum::InvalidProcedureCall);
}

TEST(InformationCode, EachCodeOwnsItsColumnsAndEachObjectItsTables) {
    InformationCode codes;
    codes.Key().item("0500").add("Extra");
    EXPECT_EQ(codes.Key().item("0500").count(), 4u);
    EXPECT_EQ(codes.Key().item("0601").count(), 3u);  // same names, its own collection
    codes.List().remove(1);
    EXPECT_EQ(InformationCode().List().count(), 13u);
    EXPECT_EQ(InformationCode().Key().item("0500").count(), 3u);

    Collection<std::string> mine;
    mine.add("9999");
    codes.setList(mine);
    EXPECT_EQ(items(codes.List()), std::vector<std::string>{"9999"});
}

TEST(FileName, RequestFilesAreNewObjectsEachRead) {
    FileName names;
    FileObject xml = names.REQUEST_XML();
    FileObject again = names.REQUEST_XML();
    FileObject arc = names.REQUEST_ARC();
    EXPECT_EQ(xml.Name(), "request.xml");
    EXPECT_EQ(xml.ThinName(), "request");
    EXPECT_EQ(xml.Ext(), "xml");
    EXPECT_EQ(xml.Path(), "");
    EXPECT_EQ(xml.Drive(), "");
    EXPECT_EQ(arc.Name(), "request.zip");
    EXPECT_EQ(arc.Ext(), "zip");
    xml.setExt("bak");
    EXPECT_EQ(xml.Name(), "request.bak");
    EXPECT_EQ(again.Name(), "request.xml");
    EXPECT_EQ(names.REQUEST_XML().Name(), "request.xml");
}

}  // namespace
}  // namespace fg
