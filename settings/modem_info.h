// The fax-modem lines of the server: one Modem record per line in
// modeminformation.xml (folder key "ModemInfo"), which is installed with the
// system and begins with its XML declaration.
//
// Each Modem holds six child elements, read by position only: port number,
// initialisation string, line type, usefulness ("0" receive, "1" send, other
// values unused), pilot flag ("1" marks the pilot line) and pilot fax number.
// A line is handed out as the six texts joined with "*", or field by field
// as a ModemLine, which the programs that choose lines read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fg {

// The lines of the server, numbered from 1: the records modeminformation.xml
// must hold, and the highest receive port.
inline constexpr int kModemLineCount = 20;

// One Modem record, field by field: an initialisation string or a number
// that holds a "*" stays whole, as it cannot in the joined form.
struct ModemLine {
    std::string port, initString, lineType, usefulness, pilotFlag, pilotFaxNumber;
    // False for a record short of its six fields.
    bool complete = false;

    [[nodiscard]] bool receives() const { return usefulness == "0"; }
    [[nodiscard]] bool sends() const { return usefulness == "1"; }
    [[nodiscard]] bool isPilot() const { return pilotFlag == "1"; }
    // The six texts joined with "*" ("" for an incomplete line).
    std::string joined() const;
};

class ModemInfo {
public:
    // Reads the folder of "ModemInfo"; raises that lookup's fg::Error.
    ModemInfo();

    static constexpr const char* kFileName = "modeminformation.xml";
    static constexpr const char* kErrorSource = "ModemInfo";

    // One "*"-joined string per Modem record, from index 0, every record of
    // the file. No record (missing or broken file included): 40002 logged,
    // False, the array as it was. A record short of six children: False,
    // logged with error 424, the array grown to that record's index.
    [[nodiscard]] bool getModemInfo(std::vector<std::string>& strModemInfo);
    // The same records as typed lines, with the same answer and log; the
    // short record is an incomplete line at its index.
    [[nodiscard]] bool getModemLines(std::vector<ModemLine>& lines);
    // Rewrites the first record of the port (per Modems element) under the
    // file's lock. No such port: 40003 logged, False, nothing saved.
    [[nodiscard]] bool updateModemInfo(std::int16_t intPortNum, const std::string& strInitString, const std::string& strLineType,
                         const std::string& strUsefulness, const std::string& strPilotFlag,
                         const std::string& strPilotFAXNumber);
    // Child nodes of the root. 0 without a log for a file that does not
    // load; 0 with 40004 logged for one without its declaration.
    std::int16_t getModemCount();

    const std::string& filePath() const { return path_; }

private:
    std::string path_;
};

}  // namespace fg
