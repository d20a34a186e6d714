#include "settings/modem_info.h"

#include "platform/error.h"
#include "platform/folder_path_info.h"
#include "platform/values.h"
#include "platform/xml.h"
#include "settings/locked_document.h"
#include "settings/errors.h"
#include "settings/member_guard.h"

#include <limits>

namespace fg {

namespace {

constexpr long kNoModemRecords = settings::errs::NoModemRecords;
constexpr long kNoSuchPort = settings::errs::NoSuchPort;
constexpr long kCountFailed = settings::errs::ModemCountFailed;
constexpr long kObjectRequired = 424;
constexpr std::size_t kFields = 6;

// Child node `n` of a Modem record as positions count: white space between
// elements is gone after the load, comments count.
xml::Node fieldAt(const xml::Node& record, std::size_t n) {
    xml::Node c = record.firstChild();
    for (std::size_t i = 0; c && i < n; ++i) c = c.nextSibling();
    if (!c)
        throw Error(kObjectRequired, "オブジェクトが必要です。 モデム情報の記録に " + std::to_string(n + 1) +
                                         " 番目の項目がありません。");
    return c;
}

}  // namespace

ModemInfo::ModemInfo() : path_(FolderPathInfo().getFolderPath("ModemInfo") + kFileName) {}

std::string ModemLine::joined() const {
    if (!complete) return {};
    return port + '*' + initString + '*' + lineType + '*' + usefulness + '*' + pilotFlag + '*' + pilotFaxNumber;
}

bool ModemInfo::getModemInfo(std::vector<std::string>& strModemInfo) {
    std::vector<ModemLine> lines;
    bool read = getModemLines(lines);
    // No record at all leaves the caller's array as it was.
    if (!lines.empty()) strModemInfo.resize(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) strModemInfo[i] = lines[i].joined();
    return read;
}

bool ModemInfo::getModemLines(std::vector<ModemLine>& lines) {
    try {
        xml::Document doc;
        (void)doc.load(path_);  // a file that does not load has no records: kNoModemRecords below
        std::size_t i = 0;
        for (const xml::Node& modems : doc.getElementsByTagName("Modems")) {
            for (const xml::Node& record : modems.getElementsByTagName("Modem")) {
                lines.resize(i + 1);
                ModemLine line;
                std::string* fields[kFields] = {&line.port,       &line.initString, &line.lineType,
                                                &line.usefulness, &line.pilotFlag,  &line.pilotFaxNumber};
                for (std::size_t f = 0; f < kFields; ++f) *fields[f] = fieldAt(record, f).text();
                line.complete = true;
                lines[i] = std::move(line);
                // The callers count lines in 16-bit integers.
                if (i == static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
                    throw Error::standard(errnum::Overflow);
                ++i;
            }
        }
        if (i == 0) throw Error(kNoModemRecords, std::string("モデム情報ファイル=") + kFileName);
        return true;
    } catch (...) {
        logCurrentError(kErrorSource);
        return false;
    }
}

bool ModemInfo::updateModemInfo(std::int16_t intPortNum, const std::string& strInitString,
                                 const std::string& strLineType, const std::string& strUsefulness,
                                 const std::string& strPilotFlag, const std::string& strPilotFAXNumber) {
    try {
        // Another process may rewrite a line at the same moment: the lock
        // keeps both changes.
        settings::LockedDocument store(path_);
        bool found = false;
        for (const xml::Node& modems : store.document().getElementsByTagName("Modems")) {
            for (const xml::Node& record : modems.getElementsByTagName("Modem")) {
                if (toInt32(fieldAt(record, 0).text()) != intPortNum) continue;
                fieldAt(record, 0).setText(std::to_string(intPortNum));
                const std::string* values[] = {&strInitString, &strLineType, &strUsefulness, &strPilotFlag,
                                               &strPilotFAXNumber};
                for (std::size_t f = 1; f < kFields; ++f) fieldAt(record, f).setText(*values[f - 1]);
                found = true;
                break;
            }
        }
        if (!found) throw Error::standard(kNoSuchPort);
        store.save();
        return true;
    } catch (...) {
        logCurrentError(kErrorSource);
        return false;
    }
}

std::int16_t ModemInfo::getModemCount() {
    try {
        xml::Document doc;
        if (!doc.load(path_)) return 0;
        // The root stands second, after the declaration the file begins with.
        xml::NodeList top = doc.childNodes();
        if (top.size() < 2) throw Error::standard(errnum::ObjectNotSet);
        std::size_t count = top[1].childNodes().size();
        if (count > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
            throw Error::standard(errnum::Overflow);
        return static_cast<std::int16_t>(count);
    } catch (...) {
        Error e = currentError();
        settings::logError(kErrorSource, Error(kCountFailed, e.description()));
        return 0;
    }
}

}  // namespace fg
