#include "settings/modem_info.h"

#include "platform/files.h"
#include "platform/text.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

#include <map>

namespace fg {
namespace {

using Lines = std::vector<std::string>;

std::string modem(const std::string& port, const std::string& use, const std::string& pilotNumber = "") {
    return "<Modem><PortNo>" + port + "</PortNo><InitString>ATZ</InitString><LineType>0</LineType><Usefulness>" + use +
           "</Usefulness><PilotFlag>" + (pilotNumber.empty() ? "0" : "1") + "</PilotFlag><PilotFAXNumber>" +
           pilotNumber + "</PilotFAXNumber></Modem>";
}

std::string modemFile(const std::string& records, bool declaration = true) {
    return (declaration ? "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n" : "") + std::string("<Modems>") +
           records + "</Modems>";
}

class ModemInfoTest : public ::testing::Test {
protected:
    testing::TempHome home;
    testing::ErrorLogGuard log;
    std::string path = home.folder("ModemInfo") + ModemInfo::kFileName;
};

TEST_F(ModemInfoTest, InstalledFileHasTwentyLinesTwoReceivingFourSending) {
    EXPECT_EQ(fs::readFile(path).rfind("<?xml ", 0), 0u);
    ModemInfo modems;
    Lines lines;
    ASSERT_TRUE(modems.getModemInfo(lines));
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(modems.getModemCount(), 20);
    std::map<std::string, int> byUse;
    std::map<std::string, int> ports;
    int pilots = 0;
    for (const auto& line : lines) {
        auto f = text::split(line, '*');
        ASSERT_EQ(f.size(), 6u) << line;
        ++byUse[f[3]];
        ++ports[f[0]];
        int port = std::stoi(f[0]);
        EXPECT_TRUE(port >= 0 && port <= 20) << line;
        if (f[3] == "1") {
            EXPECT_TRUE(!f[1].empty() && !f[2].empty()) << "a send line needs its modem settings";
        }
        if (f[4] == "1") {
            ++pilots;
            EXPECT_FALSE(f[5].empty());
        }
    }
    EXPECT_EQ(byUse["0"], 2);
    EXPECT_EQ(byUse["1"], 4);
    EXPECT_EQ(byUse[""], 14);  // unused lines: neither receive nor send
    EXPECT_EQ(ports.size(), 20u) << "no port twice";
    EXPECT_EQ(pilots, 1);
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(ModemInfoTest, EachRecordIsItsSixTextsJoinedAsTheyStand) {
    fs::writeFileAtomic(path, modemFile(modem("1", "1") + modem(" 2 ", "0", "03*1234") +
                                        "<Modem><a/><b> x </b><c/><d/><e/><f/></Modem>"));
    ModemInfo modems;
    Lines lines{"stale", "stale", "stale", "stale", "stale"};
    ASSERT_TRUE(modems.getModemInfo(lines));
    EXPECT_EQ(lines, (Lines{"1*ATZ*0*1*0*", " 2 *ATZ*0*0*1*03*1234", "* x ****"}));
    EXPECT_EQ(text::split(lines[1], '*').size(), 7u);  // a "*" inside a field is not escaped

    // Field by field, a "*" inside a field stays where it belongs.
    std::vector<ModemLine> typed;
    ASSERT_TRUE(modems.getModemLines(typed));
    ASSERT_EQ(typed.size(), 3u);
    EXPECT_TRUE(typed[1].complete);
    EXPECT_EQ(typed[1].port, " 2 ");
    EXPECT_TRUE(typed[1].receives());
    EXPECT_TRUE(typed[1].isPilot());
    EXPECT_EQ(typed[1].pilotFaxNumber, "03*1234");
    EXPECT_EQ(typed[1].joined(), lines[1]);
    EXPECT_TRUE(typed[0].sends());
    EXPECT_EQ(typed[2].initString, " x ");
}

TEST_F(ModemInfoTest, AnInitialisationStringWithAStarKeepsTheLineApart) {
    fs::writeFileAtomic(path, modemFile("<Modem><PortNo>3</PortNo><InitString>AT*E0</InitString><LineType>1</LineType>"
                                        "<Usefulness>1</Usefulness><PilotFlag>1</PilotFlag><PilotFAXNumber>0312340000"
                                        "</PilotFAXNumber></Modem>"));
    std::vector<ModemLine> typed;
    ASSERT_TRUE(ModemInfo().getModemLines(typed));
    ASSERT_EQ(typed.size(), 1u);
    EXPECT_EQ(typed[0].initString, "AT*E0");
    EXPECT_EQ(typed[0].lineType, "1");
    EXPECT_TRUE(typed[0].sends());
    EXPECT_TRUE(typed[0].isPilot());
    EXPECT_EQ(typed[0].pilotFaxNumber, "0312340000");
}

TEST_F(ModemInfoTest, IndentationDoesNotShiftTheFields) {
    fs::writeFileAtomic(path, "<?xml version=\"1.0\"?>\n<Modems>\n  <Modem>\n    <PortNo>4</PortNo>\n    <InitString>ATZ"
                              "</InitString>\n    <LineType>0</LineType>\n    <Usefulness>1</Usefulness>\n    <PilotFlag>"
                              "0</PilotFlag>\n    <PilotFAXNumber></PilotFAXNumber>\n  </Modem>\n</Modems>\n");
    ModemInfo modems;
    Lines lines;
    ASSERT_TRUE(modems.getModemInfo(lines));
    EXPECT_EQ(lines, Lines{"4*ATZ*0*1*0*"});
    EXPECT_EQ(modems.getModemCount(), 1);
}

TEST_F(ModemInfoTest, MissingMalformedOrEmptyFiles) {
    struct Case {
        const char* what;
        std::string bytes;  // empty: no file
        std::int16_t count;
    } cases[] = {
        {"missing", "", 0},
        {"malformed", "<Modems><Modem>", 0},
        {"without records", modemFile(""), 0},
    };
    for (const Case& c : cases) {
        (void)fs::removeFile(path);
        if (!c.bytes.empty()) fs::writeFileAtomic(path, c.bytes);
        log.log->clear();
        ModemInfo modems;
        Lines lines{"kept"};
        EXPECT_FALSE(modems.getModemInfo(lines)) << c.what;
        EXPECT_EQ(lines, Lines{"kept"}) << c.what;
        ASSERT_EQ(log.log->entries().size(), 1u) << c.what;
        EXPECT_EQ(log.log->entries()[0].number, 40002);
        EXPECT_EQ(log.log->entries()[0].description, "モデム情報ファイル=modeminformation.xml");
        EXPECT_EQ(log.log->entries()[0].source, "ModemInfo");

        log.log->clear();
        EXPECT_FALSE(modems.updateModemInfo(1, "ATZ", "0", "1", "0", "")) << c.what;
        EXPECT_TRUE(log.log->has(40003)) << c.what;
        if (c.bytes.empty()) {
            EXPECT_FALSE(fs::fileExists(path));
        } else {
            EXPECT_EQ(fs::readFile(path), c.bytes) << c.what;
        }

        log.log->clear();
        EXPECT_EQ(modems.getModemCount(), c.count) << c.what;
        EXPECT_TRUE(log.log->entries().empty()) << c.what;
    }
}

TEST_F(ModemInfoTest, ShortRecordFailsWithTheLinesReadSoFar) {
    fs::writeFileAtomic(path, modemFile(modem("1", "1") + "<Modem><a>2</a><b/><c/><d/><e/></Modem>" + modem("3", "1")));
    ModemInfo modems;
    Lines lines;
    EXPECT_FALSE(modems.getModemInfo(lines));
    EXPECT_EQ(lines, (Lines{"1*ATZ*0*1*0*", ""}));
    ASSERT_EQ(log.log->entries().size(), 1u);
    EXPECT_EQ(log.log->entries()[0].number, 424);

    std::vector<ModemLine> typed;
    EXPECT_FALSE(modems.getModemLines(typed));
    ASSERT_EQ(typed.size(), 2u);
    EXPECT_TRUE(typed[0].complete);
    EXPECT_FALSE(typed[1].complete);
}

TEST_F(ModemInfoTest, UpdateRewritesTheFirstRecordOfThePort) {
    const std::string other = "<Modems>" + modem("3", "1") + "</Modems>";
    fs::writeFileAtomic(path, "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><Root>" +
                                  std::string("<Modems>") + modem("1", "1") + modem(" 3 ", "0") + modem("3", "0") +
                                  "</Modems>" + other + "</Root>");
    ModemInfo modems;
    ASSERT_TRUE(modems.updateModemInfo(3, "ATZ&F", "1", "1", "1", "0312340000"));
    Lines lines;
    ASSERT_TRUE(modems.getModemInfo(lines));
    EXPECT_EQ(lines, (Lines{"1*ATZ*0*1*0*", "3*ATZ&F*1*1*1*0312340000", "3*ATZ*0*0*0*",
                            "3*ATZ&F*1*1*1*0312340000"}));
    EXPECT_EQ(fs::readFile(path).rfind("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", 0), 0u);
    EXPECT_TRUE(log.log->entries().empty());
}

TEST_F(ModemInfoTest, UpdateOfAnUnknownOrUnreadablePortChangesNothing) {
    const std::string file = modemFile(modem("1", "1") + "<Modem><a>x</a><b/><c/><d/><e/><f/></Modem>" + modem("9", "1"));
    struct Case {
        std::int16_t port;
        long error;
    } cases[] = {{1, 0}, {9, 13}, {7, 13}};
    for (const Case& c : cases) {
        fs::writeFileAtomic(path, file);
        log.log->clear();
        ModemInfo modems;
        bool ok = modems.updateModemInfo(c.port, "ATZ", "0", "1", "0", "");
        EXPECT_EQ(ok, c.error == 0) << c.port;
        if (c.error) {
            EXPECT_TRUE(log.log->has(c.error)) << c.port;
            EXPECT_EQ(fs::readFile(path), file) << c.port;
        }
    }
}

TEST_F(ModemInfoTest, CountNeedsTheDeclarationBeforeTheRoot) {
    fs::writeFileAtomic(path, modemFile(modem("1", "1") + "<!-- spare -->", /*declaration=*/false));
    ModemInfo modems;
    EXPECT_EQ(modems.getModemCount(), 0);
    ASSERT_EQ(log.log->entries().size(), 1u);
    EXPECT_EQ(log.log->entries()[0].number, 40004);
    log.log->clear();
    fs::writeFileAtomic(path, modemFile(modem("1", "1") + "<!-- spare -->"));
    EXPECT_EQ(modems.getModemCount(), 2);  // a comment counts as a child
    EXPECT_TRUE(log.log->entries().empty());
}

}  // namespace
}  // namespace fg
