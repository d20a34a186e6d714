#include "common/ferrund/file_object.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

#include <string>

namespace fg {
namespace {

struct Parts {
    std::string drive, path, name, thinName, ext;
};

void expectParts(const FileObject& f, const Parts& p, const std::string& what) {
    EXPECT_EQ(f.Drive(), p.drive) << what;
    EXPECT_EQ(f.Path(), p.path) << what;
    EXPECT_EQ(f.Name(), p.name) << what;
    EXPECT_EQ(f.ThinName(), p.thinName) << what;
    EXPECT_EQ(f.Ext(), p.ext) << what;
}

TEST(FileObject, PathKeepsTheFolderPartOfAValue) {
    struct Case {
        std::string value, path, fullPath;
    } cases[] = {
        {"/FAX/Data/", "/FAX/Data", "/FAX/Data/"},
        {"/FAX/Data", "/FAX/Data", "/FAX/Data/"},
        {"Data/Html/", "/Data/Html", "/Data/Html/"},   // relative: one "/" put in front
        {"temp/", "/temp", "/temp/"},
        {"temp", "", ""},                              // no "/" at all: no folder
        {"", "", ""},
        {"/", "/", "//"},                              // a lone "/" stays
        {"/a.b/c", "/a.b", "/a.b/"},                   // a dot makes "c" count as a file name
        {"x/y.txt", "/", "//"},                        // text before the first "/" is dropped
        {"/FAX/Data/order.xml", "/FAX/Data", "/FAX/Data/"},
        {"/v1.2/", "/v1.2", "/v1.2/"},
        {"C:/FAX", "/C:/FAX", "/C:/FAX/"},             // a colon is an ordinary character
        {"//server/share/", "//server/share", "//server/share/"},
        {"/データ/受信/", "/データ/受信", "/データ/受信/"},
    };
    for (const auto& c : cases) {
        FileObject f;
        f.setPath(c.value);
        EXPECT_EQ(f.Path(), c.path) << c.value;
        EXPECT_EQ(f.Drive(), "") << c.value;
        EXPECT_EQ(f.FullPath(), c.fullPath) << c.value;
    }
}

TEST(FileObject, PathLeavesTheNameAlone) {
    FileObject f;
    f.setName("order.xml");
    f.setPath("/a/b/other.txt");
    expectParts(f, {"", "/a/b", "order.xml", "order", "xml"}, "path after name");
    EXPECT_EQ(f.FullPath(), "/a/b/order.xml");
    f.setPath("none");
    EXPECT_EQ(f.FullPath(), "/order.xml");
}

TEST(FileObject, FullPathTakesAnAbsolutePathApart) {
    struct Case {
        std::string value;
        Parts parts;
        std::string fullPath;
    } cases[] = {
        {"/FAX/Data/order.xml", {"", "/FAX/Data", "order.xml", "order", "xml"}, "/FAX/Data/order.xml"},
        {"/FAX/readme", {"", "/FAX", "", "", ""}, "/FAX/"},            // no dot: no name
        {"/order.xml", {"", "", "order.xml", "order", "xml"}, "/order.xml"},
        {"/x.d/readme", {"", "/x.d", "readme", "", ""}, "/x.d/readme"},  // a dot anywhere makes a name
        {"/a/report.old.xml", {"", "/a", "report.old.xml", "report.old", "xml"}, "/a/report.old.xml"},
        {"/a/b/", {"", "/a/b", "", "", ""}, "/a/b/"},
        {"FAX/Data/order.xml", {}, ""},                               // relative: nothing set
        {"C:/FAX/order.xml", {}, ""},
        {"", {}, ""},
    };
    for (const auto& c : cases) {
        FileObject f;
        f.setName("stale.txt");
        f.setPath("/stale/");
        f.setFullPath(c.value);
        expectParts(f, c.parts, c.value);
        EXPECT_EQ(f.FullPath(), c.fullPath) << c.value;
    }
}

TEST(FileObject, NameThinNameAndExt) {
    FileObject f;
    f.setPath("/keep/");
    f.setName("/x/report.old.xml");
    expectParts(f, {"", "/keep", "report.old.xml", "report.old", "xml"}, "name with folder");

    f.setName("README");
    expectParts(f, {"", "/keep", "README", "", ""}, "name without dot");

    f.setName(".profile");
    expectParts(f, {"", "/keep", ".profile", "", "profile"}, "leading dot");

    FileObject g;
    g.setThinName("a");
    EXPECT_EQ(g.Name(), "");  // no extension yet: the name is left alone
    g.setExt("zip");
    EXPECT_EQ(g.Name(), "a.zip");
    g.setThinName("b");
    EXPECT_EQ(g.Name(), "b.zip");
    g.setExt("");
    EXPECT_EQ(g.Name(), "b.zip");  // clearing the extension leaves the name
    EXPECT_EQ(g.Ext(), "");
}

TEST(FileObject, NoDriveOnPosix) {
    for (std::string value : {"c:/x", "C:", "1:", "", "/"}) {
        FileObject f;
        f.setDrive(value);
        EXPECT_EQ(f.Drive(), "") << value;
    }
}

TEST(FileObject, SeparatorBeyond32767UnitsOverflows) {
    std::string longName(40000, 'a');
    FileObject f;
    try {
        f.setName(longName + "/x.txt");
        ADD_FAILURE() << "no overflow";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::Overflow);
    }
    // No separator at all: nothing to count, nothing raised.
    f.setName(longName);
    EXPECT_EQ(f.Name(), longName);
}

TEST(FileObject, IsExistFindsPlainVisibleFiles) {
    testing::TempDir dir;
    std::string root = dir.path().substr(0, dir.path().size() - 1);
    fs::writeFileAtomic(dir / "Order.xml", "x");
    fs::writeFileAtomic(dir / ".hidden.xml", "x");
    fs::makeFolders(dir / "sub.d");

    struct Case {
        std::string name;
        bool exists;
    } cases[] = {
        {"Order.xml", true}, {"order.XML", true},  // names match without case
        {"*.xml", true},     {"Ord?r.*", true},    // wildcards act as wildcards
        {"none.xml", false}, {"*.txt", false},
        {".hidden.xml", false},                    // hidden files are never found
        {"sub.d", false},                          // nor folders
        {"", false},
    };
    for (const auto& c : cases) {
        FileObject f;
        f.setPath(root + "/");
        f.setName(c.name);
        EXPECT_EQ(f.IsExist(), c.exists) << c.name;
    }

    FileObject missingFolder;
    missingFolder.setFullPath(root + "/nowhere/Order.xml");
    EXPECT_FALSE(missingFolder.IsExist());

    FileObject empty;
    EXPECT_FALSE(empty.IsExist());

    // Only a name: looked for at the root, and still not cleared.
    FileObject bare;
    bare.setName("faxgate-no-such-file.xml");
    EXPECT_FALSE(bare.IsExist());
    EXPECT_EQ(bare.Name(), "faxgate-no-such-file.xml");
}

}  // namespace
}  // namespace fg
