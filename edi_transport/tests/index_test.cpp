// The document index over archives made with GNU tar: cells, dates, quotes,
// code page 932, blank lines, many rows, and the searches the EDI control
// and others make.
#include "edi_transport/index.h"

#include "edi_test_support.h"
#include "platform/files.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace fg {
namespace {

using testing::ErrorLogGuard;
using testing::everything;
using testing::makeTgz;
using testing::TempDir;
using testing::TempHome;

const char* kColumns =
    "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n"
    "<IndexInfo COLCOUNT=\"5\"><Col>Customer-code</Col><Col>Supplier-code</Col><Col DATATYPE=\"date\">Issue-date</Col>"
    "<Col>Status</Col><Col>File-name</Col></IndexInfo>";

class IndexTest : public ::testing::Test {
protected:
    TempHome home;
    TempDir work;
    ErrorLogGuard log;
    Index index;
    int archives = 0;

    void SetUp() override { home.write("IndexInfo/9999-info.xml", kColumns); }

    // An archive whose index.csv holds `csv` (UTF-8 here, code page 932 inside).
    std::string archive(const std::string& csv) {
        std::string path = work / ("D" + std::to_string(++archives) + ".tgz");
        std::map<std::string, std::string> members{{"doc1.xml", "<doc/>"}, {"index.csv", text::toCp932(csv)}};
        makeTgz(path, members, work / "scratch");
        return path;
    }
    bool load(const std::vector<std::string>& archives, const std::vector<std::string>& keys = {"KEY"}) {
        std::vector<std::string> k = keys;
        if (k.size() < archives.size()) k.resize(archives.size(), "KEY");
        return index.loadIndex(archives, "9999", k);
    }
    std::string cell(int row, int column) {
        const Variant& v = index.getSearchedXArrayAll()->value(row, column);
        return v.isEmpty() ? "(empty)" : v.toText();
    }
};

TEST_F(IndexTest, FieldsLandInTheirCells) {
    ASSERT_TRUE(load({archive("C01,S01,20240131,0,a.xml\r\n"
                              "\"C,02\" , \"A\"\"B\",2024013,0,b.xml\n"
                              "C03,東京商事,,1\n"
                              "C04,\t S04 ,20241301,0,d.xml")}));
    auto grid = index.getSearchedXArrayAll();
    ASSERT_EQ(grid->count(1), 4);
    EXPECT_EQ(grid->lowerBound(2), -1);
    EXPECT_EQ(grid->upperBound(2), 4);
    struct Case {
        int row, column;
        const char* value;
    } cases[] = {
        {0, -1, "KEY"},       {0, 0, "C01"},        {0, 2, "2024/01/31"},  {0, 4, "a.xml"},
        {1, 0, "C,02"},       {1, 1, "A\"B"},       {1, 2, "2024013"},     // seven characters stay as they are
        {2, 1, "東京商事"},   {2, 2, ""},           {2, 4, "(empty)"},     // fewer fields leave cells empty
        {3, 1, "S04"},        {3, 2, "2024/13/01"},                         // eight characters are reshaped, not judged
    };
    for (const Case& c : cases) EXPECT_EQ(cell(c.row, c.column), c.value) << c.row << "," << c.column;
}

TEST_F(IndexTest, BlankLinesAreSkippedAndArchivesFollowEachOther) {
    std::string first = archive("C01,S01,,0,a.xml\r\n\r\n   \r\nC02,S02,,0,b.xml\r\n\r\n");
    std::string second = archive("C03,S01,,0,c.xml\n");
    ASSERT_TRUE(load({first, "", second}, {"K1", "", "K2"}));
    auto grid = index.getSearchedXArrayAll();
    ASSERT_EQ(grid->count(1), 3);
    EXPECT_EQ(cell(1, 0), "C02");
    EXPECT_EQ(cell(1, -1), "K1");
    EXPECT_EQ(cell(2, 0), "C03");
    EXPECT_EQ(cell(2, -1), "K2");
    // Nothing is left of the extraction.
    for (const std::string& name : everything(home.path())) EXPECT_EQ(name.rfind(".index-", 0), std::string::npos) << name;
    for (const std::string& name : everything(home / "temp")) EXPECT_EQ(name.rfind(".index-", 0), std::string::npos) << name;
    // An empty first name is only skipped.
    ASSERT_TRUE(load({"", second}, {"", "K2"}));
    EXPECT_EQ(index.getSearchedXArrayAll()->count(1), 1);
}

TEST_F(IndexTest, LoadsFailCleanly) {
    std::string good = archive("C01,S01,,0,a.xml\n");
    struct Case {
        const char* what;
        std::function<bool()> load;
    } cases[] = {
        {"a line with more fields than columns", [&] { return load({archive("C01,S01,,0,a.xml,extra\n")}); }},
        {"no archive at all", [&] { return load({}); }},
        {"only empty names", [&] { return load({"", ""}); }},
        {"a missing archive", [&] { return load({work / "missing.tgz"}); }},
        {"a missing column file", [&] { return index.loadIndex({good}, "0000", {"KEY"}); }},
        {"fewer keys than archives", [&] { return index.loadIndex({good, good}, "9999", {"KEY"}); }},
        {"a Col with another attribute", [&] {
             home.write("IndexInfo/9998-info.xml", "<IndexInfo COLCOUNT=\"1\"><Col KIND=\"x\">A</Col></IndexInfo>");
             return index.loadIndex({good}, "9998", {"KEY"});
         }},
        {"no COLCOUNT", [&] {
             home.write("IndexInfo/9997-info.xml", "<IndexInfo><Col>A</Col></IndexInfo>");
             return index.loadIndex({good}, "9997", {"KEY"});
         }},
        {"fewer Col than COLCOUNT", [&] {
             home.write("IndexInfo/9996-info.xml", "<IndexInfo COLCOUNT=\"3\"><Col>A</Col></IndexInfo>");
             return index.loadIndex({good}, "9996", {"KEY"});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(load({good}));
        log.log->clear();
        EXPECT_FALSE(c.load());
        EXPECT_EQ(index.getSearchedXArrayAll(), nullptr);
        EXPECT_EQ(index.getList("Supplier-code", false), std::vector<std::string>{});
        EXPECT_FALSE(log.log->entries().empty());
    }
    // An index of blank lines lists no documents.
    ASSERT_TRUE(load({archive("\r\n\r\n")}));
    EXPECT_EQ(index.getSearchedXArrayAll()->count(1), 0);
    EXPECT_EQ(index.getList("Supplier-code", false), std::vector<std::string>{""});
}

TEST_F(IndexTest, AnArchiveWithoutAnIndexListsNoDocuments) {
    std::string scratch = work / "scratch";
    auto made = [&](const std::map<std::string, std::string>& members) {
        std::string path = work / ("X" + std::to_string(++archives) + ".tgz");
        makeTgz(path, members, scratch);
        return path;
    };
    struct Case {
        const char* what;
        std::map<std::string, std::string> members;
        int rows;
    } cases[] = {
        {"no index at all", {{"doc1.xml", "<doc/>"}}, 0},
        {"the index in a folder", {{"sub/index.csv", "C01,S01,,0,a.xml\n"}, {"a.xml", "<doc/>"}}, 0},
        {"the index in capitals", {{"INDEX.CSV", "C01,S01,,0,a.xml\nC02,S02,,0,b.xml\n"}}, 2},
        {"the index in mixed case", {{"Index.Csv", "C01,S01,,0,a.xml\n"}}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log.log->clear();
        ASSERT_TRUE(load({made(c.members)}));
        EXPECT_EQ(index.getSearchedXArrayAll()->count(1), c.rows);
        EXPECT_EQ(index.loadFault(), Index::LoadFault::None);
        EXPECT_TRUE(log.log->entries().empty());
    }
    EXPECT_EQ(index.getList("Supplier-code", false), std::vector<std::string>{"S01"});
    // Nothing of the extraction stays in the temporary folder.
    for (const std::string& name : everything(home / "temp")) EXPECT_EQ(name.rfind(".index-", 0), std::string::npos) << name;
}

TEST_F(IndexTest, AFailedLoadTellsWhetherTheAnswerOrTheInstallationFailed) {
    std::string good = archive("C01,S01,,0,a.xml\n");
    fs::writeFileAtomic(work / "broken.tgz", "this is no archive");
    std::string cut = archive("C01,S01,,0,a.xml\n");
    std::string bytes = fs::readFile(cut);
    fs::writeFileAtomic(cut, bytes.substr(0, bytes.size() / 2));
    struct Case {
        const char* what;
        std::function<bool()> load;
        Index::LoadFault fault;
    } cases[] = {
        {"a line with more fields than columns", [&] { return load({archive("C01,S01,,0,a.xml,extra\n")}); },
         Index::LoadFault::Answer},
        {"an archive that is none", [&] { return load({work / "broken.tgz"}); }, Index::LoadFault::Answer},
        {"an archive cut short", [&] { return load({cut}); }, Index::LoadFault::Answer},
        {"a missing column file", [&] { return index.loadIndex({good}, "0000", {"KEY"}); },
         Index::LoadFault::Installation},
        {"fewer keys than archives", [&] { return index.loadIndex({good, good}, "9999", {"KEY"}); },
         Index::LoadFault::Installation},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(c.load());
        EXPECT_EQ(index.loadFault(), c.fault);
    }

    // The work is done in the temporary folder of folder.xml, not in the
    // program folder: with that folder unusable the load fails, and as the
    // installation's fault.
    fs::removeTree(home / "temp/");
    home.write("temp", "a file where the temporary folder should be");
    EXPECT_FALSE(load({good}));
    EXPECT_EQ(index.loadFault(), Index::LoadFault::Installation);
}

TEST_F(IndexTest, ThirtyThousandRowsAndMoreLoad) {
    std::string csv;
    for (int i = 0; i < 35000; ++i) csv += "C" + std::to_string(i % 7) + ",S" + std::to_string(i % 3) + ",20240101,0,f" + std::to_string(i) + ".xml\r\n";
    ASSERT_TRUE(load({archive(csv)}));
    EXPECT_EQ(index.getSearchedXArrayAll()->count(1), 35000);
    EXPECT_EQ(cell(34999, 4), "f34999.xml");
    EXPECT_EQ(index.getSearchedListXArray("Supplier-code", "S1").size(), 11667u);
}

TEST_F(IndexTest, SearchesReturnTheRightRows) {
    ASSERT_TRUE(load({archive("C01,SB,20240110,0,a.xml\n"
                              "C02,SA,20240120,1,b.xml\n"
                              "C03,SB,20240130,0,c.xml\n"
                              "C04,,20240105,0,d.xml\n"
                              "C05,ABC,,0,e.xml\n"
                              "C06,AB,20240125,0,f.xml\n"
                              "C07,ab,20240101,0,g.xml\n"
                              "C08,XAB,20240131,0,h.xml\n")}));
    EXPECT_EQ(index.getList("Supplier-code", false), (std::vector<std::string>{"SB", "SA", "ABC", "AB", "ab", "XAB"}));
    EXPECT_EQ(index.getList("Supplier-code", true), (std::vector<std::string>{"AB", "ABC", "SA", "SB", "XAB", "ab"}));
    EXPECT_EQ(index.getList("No-such-column", false), std::vector<std::string>{});

    auto rows = index.getSearchedListXArray("Supplier-code", "SB");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"C01", "SB", "2024/01/10", "0", "a.xml"}));
    EXPECT_EQ(rows[1][4], "c.xml");
    EXPECT_TRUE(index.getSearchedListXArray("Supplier-code", "").empty());
    EXPECT_TRUE(index.getSearchedListXArray("Supplier", "SB").empty());

    auto customers = [](const Index::Grid& g) {
        std::string out;
        if (!g) return std::string("Nothing");
        for (int r = g->lowerBound(1); r <= g->upperBound(1); ++r) out += g->value(r, 0).toText() + " ";
        return out;
    };
    Index::Grid source;
    EXPECT_EQ(customers(index.getSearchedXArray("Supplier-code", "AB", source, true)), "C05 C06 ");
    EXPECT_EQ(source, index.getSearchedXArrayAll()) << "a null source becomes the index";
    Index::Grid none;
    EXPECT_EQ(customers(index.getSearchedXArray("Supplier-code", "AB", none, false)), "C06 ");
    EXPECT_EQ(customers(index.getSearchedXArray("Supplier-code", "", none, false)), "Nothing");
    EXPECT_EQ(customers(index.getSearchedXArray("Supplier", "AB", none, false)), "Nothing");
    // A result passed back in narrows it.
    Index::Grid earlier = index.getSearchedXArray("Status", "0", none, false);
    EXPECT_EQ(customers(index.getSearchedXArray("Supplier-code", "S", earlier, true)), "C01 C03 ");
    EXPECT_EQ(index.getSearchedXArray("Status", "0", none, false)->value(0, -1).toText(), "KEY");

    Index::Grid all;
    EXPECT_EQ(customers(index.getDateSearchedXArrayEx("Issue-date", 20240110, 20240125, all)), "C01 C02 C06 ");
    EXPECT_EQ(customers(index.getDateSearchedXArrayEx("Issue-date", 20240126, 0, all)), "C03 C08 ");
    EXPECT_EQ(customers(index.getDateSearchedXArrayEx("Issue-date", 0, 20240105, all)), "C04 C07 ");
    EXPECT_EQ(index.getDateSearchedXArrayEx("Issue-date", 0, 0, all), all);
    EXPECT_EQ(customers(index.getDateSearchedXArray("Issue-date", Variant("2024/01/20"), Variant("2024-01-30"), all)),
              "C02 C03 C06 ");
    EXPECT_EQ(customers(index.getDateSearchedXArray("Issue-date", Variant(Variant::Null{}), Variant("2024/01/05"), all)),
              "C04 C07 ");
    EXPECT_EQ(index.getDateSearchedXArray("Issue-date", Variant(Variant::Null{}), Variant(Variant::Null{}), all), all);
    EXPECT_EQ(index.getDateSearchedXArray("Issue-date", Variant("2024/02/01"), Variant("2024/01/01"), all), nullptr);
    EXPECT_EQ(index.getDateSearchedXArray("Issue-date", Variant("someday"), Variant(Variant::Null{}), all), nullptr);

    EXPECT_EQ(customers(index.getSearchedXArrayEx("Issue-date", Variant("2024/01/28"), all, 0, 5, 4)), "C03 C08 ");
    EXPECT_EQ(customers(index.getSearchedXArrayEx("Supplier-code", Variant("ab"), all, 0, 1, 1)), "C06 C07 ");
    EXPECT_EQ(customers(index.getSearchedXArrayEx("Supplier-code", Variant(""), all, 0, 1, 0)), "Nothing");

    Index::StringTable table{{"x", "SB"}, {"y", "SA"}, {"z", "SB"}};
    EXPECT_EQ(index.getSearchedList("Supplier-code", "SB", table), (Index::StringTable{{"x", "SB"}, {"z", "SB"}}));
    EXPECT_TRUE(index.getSearchedList("Supplier-code", "", table).empty());
}

// The walk answers exactly as a plain search of every row would: each
// supplier in the order of its first row, its rows in file order with every
// cell as the grid holds it. Pinned on the answers the demo EDI server ships
// (each code's own column file) and on the shapes of the fixtures above:
// blanks, codes that differ only in case or by a prefix, two archives.
TEST_F(IndexTest, TheSupplierWalkAnswersAsAPlainSearchOfEveryRow) {
    const std::string demo = testing::sourceDir() + "demo/";
    for (const char* code : {"0301", "0500", "0701", "1101"})
        home.write(std::string("IndexInfo/") + code + "-info.xml",
                   fs::readFile(demo + "home/IndexInfo/" + code + "-info.xml"));
    auto demoArchive = [&](const std::string& folder) {
        std::map<std::string, std::string> members;
        for (const std::string& name : fs::list(demo + "edi_server/GetEdiData/" + folder))
            members[name] = fs::readFile(demo + "edi_server/GetEdiData/" + folder + "/" + name);
        std::string path = work / ("D" + std::to_string(++archives) + ".tgz");
        makeTgz(path, members, work / "scratch");
        return path;
    };
    const struct {
        const char* what;
        std::string type;
        std::vector<std::string> archives;
    } cases[] = {
        {"demo 0301", "0301", {demoArchive("1/D0301_20240110083000.tgz")}},
        {"demo 0500", "0500", {demoArchive("2/D0500_20240111090000.tgz")}},
        {"demo 0701", "0701", {demoArchive("3/D0701_20240112100000.tgz")}},
        {"demo 1101", "1101", {demoArchive("4/D1101_20240105080000.tgz")}},
        {"blanks, case and prefixes", "9999",
         {archive("C01,SB,20240110,0,a.xml\nC02,SA,20240120,1,b.xml\nC03,SB,20240130,0,c.xml\nC04,,20240105,0,d.xml\n"
                  "C05,ABC,,0,e.xml\nC06,AB,20240125,0,f.xml\nC07,ab,20240101,0,g.xml\nC08,XAB,20240131,0,h.xml\n")}},
        {"two archives", "9999",
         {archive("C01,S2,,0,a.xml\nC02,S1,,0,b.xml\n"), archive("C03,S1,,0,c.xml\nC04,S3,,0,d.xml\nC05,S2,,0,e.xml\n")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(index.loadIndex(c.archives, c.type, std::vector<std::string>(c.archives.size(), "KEY")));
        const Index::Grid grid = index.getSearchedXArrayAll();
        const int32_t supplierColumn = 1;  // second in every column file here
        auto text = [&](int32_t r, int32_t k) {
            const Variant& v = grid->value(r, k);
            return v.isEmpty() || v.isNull() ? std::string() : v.toText();
        };
        std::vector<std::string> order;
        Index::StringTable expected;
        for (int32_t r = 0; r <= grid->upperBound(1); ++r) {
            const std::string supplier = text(r, supplierColumn);
            if (!supplier.empty() && std::find(order.begin(), order.end(), supplier) == order.end())
                order.push_back(supplier);
        }
        ASSERT_FALSE(order.empty());
        EXPECT_EQ(index.getList("Supplier-code", false), order);
        for (const std::string& supplier : order) {
            Index::StringTable plain;
            for (int32_t r = 0; r <= grid->upperBound(1); ++r) {
                if (text(r, supplierColumn) != supplier) continue;
                std::vector<std::string> row;
                for (int32_t k = 0; k <= grid->upperBound(2); ++k) row.push_back(text(r, k));
                plain.push_back(std::move(row));
            }
            EXPECT_EQ(index.getSearchedListXArray("Supplier-code", supplier), plain) << supplier;
        }
    }
}

// The walk the EDI control makes: every supplier of the index, in the order
// of its first row, and each supplier's rows in file order, the rows without
// a supplier in none. Pinned on 100,000 rows whose 4,000 suppliers are spread
// over the whole file, against the rows the file was written with.
TEST_F(IndexTest, TheSupplierWalkOfAHundredThousandRowsKeepsEveryRowInItsPlace) {
    const int rows = 100000, suppliers = 4000;
    std::string csv;
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::string>> expected;  // supplier -> file names in file order
    for (int i = 0; i < rows; ++i) {
        // Every 1,000th row has no supplier.
        std::string supplier = i % 1000 == 999 ? "" : "S" + std::to_string((i * 7919) % suppliers);
        std::string file = "f" + std::to_string(i) + ".xml";
        csv += "C" + std::to_string(i % 7) + "," + supplier + ",20240101," + std::to_string(i % 2) + "," + file + "\n";
        if (supplier.empty()) continue;
        if (expected.find(supplier) == expected.end()) order.push_back(supplier);
        expected[supplier].push_back(file);
    }
    ASSERT_TRUE(load({archive(csv)}));
    ASSERT_EQ(index.getList("Supplier-code", false), order);
    std::size_t walked = 0;
    for (const std::string& supplier : order) {
        auto found = index.getSearchedListXArray("Supplier-code", supplier);
        const std::vector<std::string>& files = expected[supplier];
        ASSERT_EQ(found.size(), files.size()) << supplier;
        for (std::size_t k = 0; k < found.size(); ++k) {
            ASSERT_EQ(found[k].size(), 5u);
            ASSERT_EQ(found[k][1], supplier);
            ASSERT_EQ(found[k][4], files[k]) << supplier << " row " << k;
        }
        walked += found.size();
    }
    EXPECT_EQ(walked, static_cast<std::size_t>(rows - rows / 1000));
    EXPECT_TRUE(index.getSearchedListXArray("Supplier-code", "S" + std::to_string(suppliers)).empty());
}

// The grouped rows follow the index: a caller that changes the grid it was
// given, or a new load, is answered from the grid as it now stands.
TEST_F(IndexTest, SearchesFollowTheIndexAsItChanges) {
    ASSERT_TRUE(load({archive("C01,SB,20240110,0,a.xml\nC02,SA,20240120,1,b.xml\nC03,SB,20240130,0,c.xml\n")}));
    EXPECT_EQ(index.getSearchedListXArray("Supplier-code", "SB").size(), 2u);
    EXPECT_EQ(index.getList("Supplier-code", false), (std::vector<std::string>{"SB", "SA"}));

    Index::Grid grid = index.getSearchedXArrayAll();
    grid->setValue(0, 1, std::string("SC"));
    EXPECT_EQ(index.getList("Supplier-code", false), (std::vector<std::string>{"SC", "SA", "SB"}));
    auto rows = index.getSearchedListXArray("Supplier-code", "SB");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "C03");
    grid->quickSort(0, 2, {{1, 1, 0}});  // suppliers descending: SC, SB, SA
    EXPECT_EQ(index.getList("Supplier-code", false), (std::vector<std::string>{"SC", "SB", "SA"}));

    // Another column is grouped on its own.
    EXPECT_EQ(index.getList("Status", false), (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(index.getSearchedListXArray("Status", "0").size(), 2u);

    ASSERT_TRUE(load({archive("C09,SZ,20240110,0,z.xml\n")}));
    EXPECT_EQ(index.getList("Supplier-code", false), std::vector<std::string>{"SZ"});
    EXPECT_TRUE(index.getSearchedListXArray("Supplier-code", "SB").empty());
}

TEST_F(IndexTest, TheShippedColumnFilesNameTheColumnsTheFetchReads) {
    std::string a = archive("C01,S01,N1,0,B1,20240131,顧客,仕入先,0301,N1.xml\r\n");
    for (const char* code : {"0301", "0500", "0601", "0701", "1101"}) {
        SCOPED_TRACE(code);
        ASSERT_TRUE(index.loadIndex({a}, code, {"KEY"}));
        auto rows = index.getSearchedListXArray("Supplier-code", "S01");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][3], "0");
        EXPECT_EQ(rows[0][5], "2024/01/31");
        EXPECT_EQ(rows[0][9], "N1.xml");
    }
}

TEST(IndexCountTest, CountOccurrencesDoesNotOverlap) {
    Index index;
    EXPECT_EQ(index.CountOccurrences("aaaa", "aa"), 2);
    EXPECT_EQ(index.CountOccurrences("aaa", "A"), 0);
    EXPECT_EQ(index.CountOccurrences("", "a"), 0);
    EXPECT_EQ(index.CountOccurrences("abcabc", ""), 0);
    EXPECT_EQ(index.CountOccurrences("東京と東京", "東京", 1), 2);
    EXPECT_TRUE(index.InfomationType().isEmpty());
}

}  // namespace
}  // namespace fg
