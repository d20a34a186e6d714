#include "settings/schedule.h"

#include "platform/error.h"
#include "platform/folder_path_info.h"
#include "platform/values.h"
#include "platform/xml.h"
#include "settings/locked_document.h"
#include "settings/errors.h"
#include "settings/member_guard.h"

namespace fg {

namespace {

constexpr long kReadFailed = settings::errs::ScheduleReadFailed;
constexpr long kUpdateFailed = settings::errs::ScheduleUpdateFailed;
constexpr const char* kSource = "Schedule";
constexpr const char* kPlainNames[] = {"MakerInfoInterval", "UrgeDataInterval", "ReceiveInterval", "MakerTimeSet",
                                       "UrgeTimeSet"};

Error missing(const std::string& what) {
    return Error(errnum::ObjectNotSet,
                 Error::standardText(errnum::ObjectNotSet) + " スケジュールファイルに " + what + " がありません。");
}

// The first attribute's value of an element.
std::string firstAttribute(const xml::Node& element, const std::string& what) {
    auto attributes = element.attributes();
    if (attributes.empty()) throw missing(what + " の属性");
    return attributes.front().second;
}

// The element of a plain value: the one GetScheduleInfo reads, so that a
// comment or another node among the elements moves nothing.
xml::Node plainValue(const xml::Node& root, const char* name) {
    xml::NodeList found = root.getElementsByTagName(name);
    if (found.empty()) throw missing(name);
    return found.front();
}

// The readers' one failure: kReadFailed with no words of its own under the
// reader's name; why it failed goes to the debug log.
void readFailed(const char* source) {
    Error cause = currentError();
    settings::traceFailure(source, cause);
    settings::logError(source, Error(kReadFailed, ""));
}

}  // namespace

namespace {

// Looks the folder up again (it is kept for updateSchedule) and loads the file.
xml::Document load(std::string& folder) {
    folder = FolderPathInfo().getFolderPath("Schedule");
    std::string path = folder + schedule::kFileName;
    xml::Document doc;
    if (!doc.load(path))
        throw Error(errnum::PathFileAccessError, settings::loadFailure(path, doc.parseError()));
    return doc;
}

}  // namespace

bool schedule::GetScheduleInfo() {
    try {
        folder_ = FolderPathInfo().getFolderPath("Schedule");
        std::string path = folder_ + kFileName;
        xml::Document doc;
        if (!doc.load(path)) {
            settings::traceFailure(kSource, Error(errnum::PathFileAccessError,
                                                  settings::loadFailure(path, doc.parseError())));
            settings::logError(kSource, Error(kReadFailed, ""));
            return false;
        }
        std::int32_t* targets[] = {&makerInfoInterval_, &urgeDataInterval_, &receiveInterval_, &makerTimeSet_,
                                   &urgeTimeSet_};
        bool found = false;
        for (const xml::Node& root : doc.getElementsByTagName("Schedule")) {
            found = true;
            for (std::size_t k = 0; k < std::size(kPlainNames); ++k) {
                xml::NodeList values = root.getElementsByTagName(kPlainNames[k]);
                if (!values.empty()) *targets[k] = toInt32(values.front().text());
            }
        }
        if (!found) settings::traceFailure(kSource, missing("Schedule"));
        return found;
    } catch (...) {
        settings::traceFailure(kSource, currentError());
        return false;
    }
}

bool schedule::updateSchedule() {
    try {
        // Without a reading member first the folder is looked up here; the
        // process's current folder is no place for the settings.
        if (folder_.empty()) folder_ = FolderPathInfo().getFolderPath("Schedule");
        settings::LockedDocument store(folder_ + kFileName);
        if (!store.loaded())
            throw Error(errnum::PathFileAccessError, "読み込めないスケジュールファイルには保存しません。" +
                                                         settings::loadFailure(store.path(), store.parseError()));
        xml::NodeList roots = store.document().getElementsByTagName("Schedule");
        if (roots.empty()) throw missing("Schedule");
        const std::int32_t values[] = {makerInfoInterval_, urgeDataInterval_, receiveInterval_, makerTimeSet_,
                                       urgeTimeSet_};
        for (const xml::Node& root : roots)
            for (std::size_t k = 0; k < std::size(values); ++k)
                plainValue(root, kPlainNames[k]).setText(std::to_string(values[k]));
        store.save();
        return true;
    } catch (...) {
        Error e = currentError();
        settings::logError(kSource, Error(kUpdateFailed, e.description()));
        return false;
    }
}

std::string schedule::getEDIScheduleMode() {
    try {
        xml::Document doc = load(folder_);
        xml::Node session = doc.selectSingleNode("Schedule/EDISessionInterval");
        if (!session) throw missing("EDISessionInterval");
        return firstAttribute(session, "EDISessionInterval");
    } catch (...) {
        readFailed("getEDIScheduleMode");
        return "0";
    }
}

std::int16_t schedule::getInterval() {
    try {
        xml::Document doc = load(folder_);
        xml::Node interval = doc.selectSingleNode("Schedule/EDISessionInterval/Interval");
        if (!interval) throw missing("Interval");
        return toInt16(interval.text());
    } catch (...) {
        readFailed("getInterval");
        return 99;
    }
}

bool schedule::getTime(ScheduleTimes& strTime) {
    strTime = ScheduleTimes{};
    try {
        xml::Document doc = load(folder_);
        xml::NodeList times = doc.selectNodes("/Schedule/EDISessionInterval/Time");
        for (std::size_t row = 0; row < strTime.size(); ++row) {
            if (row >= times.size()) throw missing(std::to_string(row + 1) + " 番目の Time");
            strTime[row][0] = Variant(firstAttribute(times[row], "Time"));
            strTime[row][1] = Variant(times[row].text());
        }
        return true;
    } catch (...) {
        readFailed("getTime");
        return false;
    }
}

}  // namespace fg
