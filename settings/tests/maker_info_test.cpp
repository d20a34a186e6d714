#include "settings/maker_info.h"

#include "platform/files.h"
#include "platform/processed_file_hook.h"
#include "platform/testing/temp_home.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>

namespace fg {
namespace {

using Codes = std::vector<std::string>;

std::string supplierFile(const std::string& code, const std::string& fax, const std::string& name = "仕入先",
                         const std::string& extra = "") {
    return text::toCp932("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Maker-information><Supplier-code>" + code +
                         "</Supplier-code><Supplier-name>" + name + "</Supplier-name><Person-name>担当</Person-name>"
                         "<Section-name>営業</Section-name><E-mail>m@x</E-mail><Telephone-number>03-0000-0000"
                         "</Telephone-number><Fax-number>" + fax + "</Fax-number><Relative-client-code>C0001"
                         "</Relative-client-code>" + extra + "</Maker-information>");
}

class RecordingHook : public ProcessedFileHook {
public:
    void fileDone(const std::string& name, bool& ok) override {
        std::lock_guard<std::mutex> guard(mutex_);
        names.push_back(name);
        ok = true;
    }
    std::vector<std::string> names;

private:
    std::mutex mutex_;
};

class MakerInfoTest : public ::testing::Test {
protected:
    testing::TempHome home;
    testing::ErrorLogGuard log;
    std::string folder = home.folder("MakerInfo");
    std::string tempEdi = home.folder("TempEDI");
    std::shared_ptr<RecordingHook> hook = std::make_shared<RecordingHook>();

    MakerInfoTest() { ProcessedFileHook::install(hook); }
    ~MakerInfoTest() override { ProcessedFileHook::install(nullptr); }

    void clearFolder() {
        for (const auto& name : fs::list(folder, "*")) (void)fs::removeFile(folder + name);
    }
    void put(const std::string& name, const std::string& bytes) { fs::writeFileAtomic(folder + name, bytes); }
    // Everything in the supplier folder, hidden names included, but the lock files.
    std::vector<std::string> everything() {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            std::string n = e.path().filename().string();
            bool lockFile = n.size() > 5 && n.front() == '.' && n.compare(n.size() - 5, 5, ".lock") == 0;
            if (!lockFile && n != ".keep") names.push_back(n);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(MakerInfoTest, InstalledSuppliersAreFoundByCodeAndByDigitFax) {
    MakerInfo makers;
    ASSERT_TRUE(makers.getMakerInfo("S0002"));
    EXPECT_EQ(makers.strSupplierName(), "㈱鈴木製作所");
    EXPECT_EQ(makers.strFAXNumber(), "0623456790");
    EXPECT_EQ(makers.strTelephoneNumber(), "06-2345-6789");
    EXPECT_EQ(makers.strRelactiveClientCode(), "C0001");
    EXPECT_FALSE(makers.strPersonName().empty());
    EXPECT_FALSE(makers.strSectionName().empty());
    EXPECT_TRUE(makers.checkMaker("0523456780"));  // written "(052) 345-6780"
    EXPECT_FALSE(makers.checkMaker("052-345-6780"));
    EXPECT_EQ(makers.getAllMakerInfo(), (Codes{"S0001", "S0002", "S0003"}));
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(MakerInfoTest, LookupMatchesWhatIsGivenExactly) {
    clearFolder();
    put("A.XML", supplierFile("S1", "03-1111-2222", "一"));
    put("B.xml", supplierFile("S2", "０３-2222 3333", "二"));  // full-width digits are dropped
    put("C.XML", supplierFile("S3", "03-1111-2222", "三"));
    put("notes.txt", "not a supplier");
    struct Case {
        std::string code, fax;
        bool found;
        std::string name;
    } cases[] = {
        {"S1", "", true, "一"},          {"", "0311112222", true, "一"},   {"S3", "0311112222", true, "三"},
        {"S2", "0311112222", false, ""}, {"", "03-1111-2222", false, ""}, {"S1 ", "", false, ""},
        {"s1", "", false, ""},           {"", "22223333", true, "二"},    {"S2", " ", true, "二"},
    };
    for (const Case& c : cases) {
        MakerInfo makers;
        log.log->clear();
        EXPECT_EQ(makers.getMakerInfo(c.code, c.fax), c.found) << c.code << "/" << c.fax;
        EXPECT_EQ(makers.strSupplierName(), c.name) << c.code << "/" << c.fax;
        if (!c.found) {
            ASSERT_EQ(log.log->entries().size(), 1u);
            EXPECT_EQ(log.log->entries()[0].number, 40105);
            EXPECT_EQ(log.log->entries()[0].description, "受注者コード=" + c.code + ", FAX番号=" + c.fax);
        }
    }
}

TEST_F(MakerInfoTest, FailedLookupKeepsTheSupplierLastFound) {
    MakerInfo makers;
    ASSERT_TRUE(makers.getMakerInfo("S0001"));
    EXPECT_FALSE(makers.getMakerInfo("", ""));
    EXPECT_FALSE(makers.getMakerInfo("  ", "  ", true));
    EXPECT_TRUE(log.log->entries().empty());
    EXPECT_FALSE(makers.getMakerInfo("NONE", "", false));
    EXPECT_TRUE(log.log->entries().empty());
    EXPECT_FALSE(makers.getMakerInfo("NONE"));
    EXPECT_TRUE(log.log->has(40105));
    EXPECT_EQ(makers.strSupplierCode(), "S0001");
    EXPECT_EQ(makers.strSupplierName(), "山田精機株式会社");
}

TEST_F(MakerInfoTest, ABrokenFileStopsTheLookupButNotTheScans) {
    clearFolder();
    put("A.XML", "<Maker-information><Supplier-code>S0</Supplier-code>");
    put("B.XML", supplierFile("S1", "0311112222"));
    put("C.XML", supplierFile("S2", "0311112222"));
    MakerInfo makers;
    EXPECT_FALSE(makers.getMakerInfo("S1", "", false));
    ASSERT_EQ(log.log->entries().size(), 1u);
    EXPECT_EQ(log.log->entries()[0].number, 40105);
    EXPECT_EQ(log.log->entries()[0].description, "メーカ情報XMLファイルが不正です。(A.XML)");
    log.log->clear();
    EXPECT_TRUE(makers.checkMaker("0311112222"));
    EXPECT_EQ(makers.getAllMakerInfo(), (Codes{"", "S1", "S2"}));
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(MakerInfoTest, MissingAndEmptyFolders) {
    const std::string description = "メーカ情報格納位置がありません。(" + folder + ")";
    for (bool exists : {false, true}) {
        fs::removeTree(folder);
        if (exists) fs::makeFolders(folder);
        log.log->clear();
        MakerInfo makers;
        EXPECT_FALSE(makers.getMakerInfo("S1", "03"));
        EXPECT_FALSE(makers.checkMaker("03"));
        EXPECT_EQ(makers.getAllMakerInfo(), Codes{});
        makers.delMakerInfo();
        fs::writeFileAtomic(tempEdi + "A.XML", supplierFile("S1", "03"));
        bool saved = makers.saveMakerInfo({"A.XML"});
        EXPECT_EQ(saved, exists);
        auto entries = log.log->entries();
        if (exists) {
            ASSERT_EQ(entries.size(), 1u);
            EXPECT_EQ(entries[0].description, "受注者コード=S1, FAX番号=03");
            EXPECT_EQ(makers.getAllMakerInfo(), Codes{"S1"});
        } else {
            ASSERT_EQ(entries.size(), 3u);  // lookup, delete, save
            for (const auto& e : entries) {
                EXPECT_EQ(e.number, 40105);
                EXPECT_EQ(e.description, description);
                EXPECT_EQ(e.source, "MakerInfo");
            }
        }
    }
}

TEST_F(MakerInfoTest, SaveReplacesTheWholeSetAndReportsEachFile) {
    fs::writeFileAtomic(tempEdi + "A01.XML", supplierFile("A01", "0311110000"));
    fs::writeFileAtomic(tempEdi + "B02.XML", supplierFile("B02", "0322220000"));
    put("readme.txt", "kept");
    MakerInfo makers;
    ASSERT_TRUE(makers.saveMakerInfo({"A01.XML", "B02.XML"}));
    EXPECT_EQ(fs::list(folder, "*.XML"), (Codes{"A01.XML", "B02.XML"}));
    EXPECT_EQ(hook->names, (Codes{"A01", "B02"}));
    EXPECT_EQ(everything(), (Codes{"A01.XML", "B02.XML", "readme.txt"})) << "no staging left behind";
    EXPECT_TRUE(makers.getMakerInfo("", "0322220000"));
    EXPECT_FALSE(makers.checkMaker("0623456790"));  // the old set is gone
    EXPECT_TRUE(log.log->entries().empty());

    makers.delMakerInfo();
    EXPECT_EQ(everything(), Codes{"readme.txt"});
}

TEST_F(MakerInfoTest, SaveThatCannotCompleteLeavesTheOldSet) {
    fs::writeFileAtomic(tempEdi + "A01.XML", supplierFile("A01", "0311110000"));
    fs::writeFileAtomic(folder + "../outside.XML", supplierFile("X", "0"));
    const Codes before = everything();
    struct Case {
        const char* what;
        std::vector<std::string> names;
        long error;
    } cases[] = {
        {"empty list", {}, 9},
        {"missing source", {"A01.XML", "NONE.XML"}, 53},
        {"parent folder", {"../outside.XML"}, 52},
        {"path", {"sub/A01.XML"}, 52},
        {"no extension", {"A01"}, 52},
        {"hidden name", {".A01.XML"}, 52},
        {"empty name", {"A01.XML", ""}, 52},
    };
    for (const Case& c : cases) {
        log.log->clear();
        MakerInfo makers;
        EXPECT_FALSE(makers.saveMakerInfo(c.names)) << c.what;
        ASSERT_EQ(log.log->entries().size(), 1u) << c.what;
        EXPECT_EQ(log.log->entries()[0].number, c.error) << c.what;
        EXPECT_EQ(everything(), before) << c.what;
        EXPECT_TRUE(hook->names.empty()) << c.what;
        EXPECT_EQ(makers.getAllMakerInfo(), (Codes{"S0001", "S0002", "S0003"})) << c.what;
    }
}

// Lookups of a process keep what they learnt of the folder; whatever changed
// between two lookups, of one object or of two, the second answers what the
// folder holds then, even where the file's size and time stamp stayed.
TEST_F(MakerInfoTest, EachLookupSeesTheFolderAsItIsThen) {
    const std::string newA = supplierFile("S1", "0399990000", "壱");  // the size of the first A.XML
    struct Case {
        const char* what;
        std::function<void(MakerInfo&)> change;
        std::string nameOfS1;  // "" when S1 is not found
        bool faxFound;
        Codes codes;
        std::string error;  // of getMakerInfo("S1")
        std::function<void()> before = {};  // after the folder is laid out, before the first lookups
    } cases[] = {
        {"rewritten", [&](MakerInfo&) { put("A.XML", newA); }, "壱", true, {"S1", "S2"}, ""},
        {"added ahead", [&](MakerInfo&) { put("0.xml", supplierFile("S1", "0399990000", "零")); }, "零", true,
         {"S1", "S1", "S2"}, ""},
        {"added behind", [&](MakerInfo&) { put("D.XML", supplierFile("S1", "0399990000", "四")); }, "一", true,
         {"S1", "S2", "S1"}, ""},
        {"removed", [&](MakerInfo&) { (void)fs::removeFile(folder + "A.XML"); }, "", false, {"S2"},
         "受注者コード=S1, FAX番号="},
        {"renamed out", [&](MakerInfo&) { fs::rename(folder + "A.XML", folder + "A.txt"); }, "", false, {"S2"},
         "受注者コード=S1, FAX番号="},
        {"replaced by a save",
         [&](MakerInfo& makers) {
             fs::writeFileAtomic(tempEdi + "B.XML", newA);
             ASSERT_TRUE(makers.saveMakerInfo({"B.XML"}));
         },
         "壱", true, {"S1"}, ""},
        {"edited in place, stamp kept",
         [&](MakerInfo&) {
             const auto stamp = std::filesystem::last_write_time(folder + "A.XML");
             std::fstream(folder + "A.XML", std::ios::in | std::ios::out | std::ios::binary) << newA;
             std::filesystem::last_write_time(folder + "A.XML", stamp);
         },
         "壱", true, {"S1", "S2"}, ""},
        {"broken", [&](MakerInfo&) { put("A.XML", "<Maker-information><Supplier-code>S1"); }, "", false, {"", "S2"},
         "メーカ情報XMLファイルが不正です。(A.XML)"},
        {"a link's file edited elsewhere",
         [&](MakerInfo&) { std::fstream(home.path() + "A.XML", std::ios::in | std::ios::out) << newA; }, "壱", true,
         {"S1", "S2"}, "",
         [&] {
             fs::rename(folder + "A.XML", home.path() + "A.XML");
             std::filesystem::create_symlink(home.path() + "A.XML", folder + "A.XML");
         }},
        {"folder replaced",
         [&](MakerInfo&) {
             fs::rename(folder, home.path() + "old-makers");
             fs::makeFolders(folder);
             put("A.XML", newA);
         },
         "壱", true, {"S1"}, ""},
    };
    for (const Case& c : cases) {
        for (bool oneObject : {true, false}) {
            const std::string what = std::string(c.what) + (oneObject ? ", one object" : ", two objects");
            fs::removeTree(home.path() + "old-makers");
            clearFolder();
            put("A.XML", supplierFile("S1", "0311110000", "一"));
            put("C.XML", supplierFile("S2", "0322220000", "二"));
            if (c.before) c.before();
            auto first = std::make_unique<MakerInfo>();
            ASSERT_TRUE(first->getMakerInfo("S1")) << what;
            EXPECT_FALSE(first->checkMaker("0399990000")) << what;
            EXPECT_EQ(first->getAllMakerInfo(), (Codes{"S1", "S2"})) << what;
            c.change(*first);
            if (!oneObject) first = std::make_unique<MakerInfo>();
            log.log->clear();
            // The scans first: the lookup then chooses among files read already.
            EXPECT_EQ(first->getAllMakerInfo(), c.codes) << what;
            EXPECT_EQ(first->checkMaker("0399990000"), c.faxFound) << what;
            EXPECT_EQ(first->getMakerInfo("S1"), !c.nameOfS1.empty()) << what;
            if (!c.nameOfS1.empty()) {
                EXPECT_EQ(first->strSupplierName(), c.nameOfS1) << what;
            }
            ASSERT_EQ(log.log->entries().size(), c.error.empty() ? 0u : 1u) << what;
            if (!c.error.empty()) {
                EXPECT_EQ(log.log->entries()[0].description, c.error) << what;
            }
        }
    }
}

TEST_F(MakerInfoTest, DigitForm) {
    struct Case {
        std::string written, digits;
    } cases[] = {{"03-1234-5678", "0312345678"}, {"+81 (3) 1234 5678", "81312345678"}, {"０３１２", ""}, {"", ""},
                 {"TEL03.12", "0312"}};
    for (const Case& c : cases) EXPECT_EQ(MakerInfo::digitForm(c.written), c.digits) << c.written;
}

}  // namespace
}  // namespace fg
