#include "fax_send/kelvra/fax_send_careers.h"

#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/text.h"
#include "platform/xml.h"

#include <exception>
#include <functional>
#include <optional>
#include <vector>

namespace fg {

namespace {

bool blank(const std::string& s) { return text::trim(s).empty(); }

// The n-th element child (0-based); comments a person added do not count.
xml::Node elementChild(const xml::Node& parent, std::size_t n) {
    std::size_t seen = 0;
    for (xml::Node c = parent.firstChild(); c; c = c.nextSibling()) {
        if (c.type() != xml::NodeType::Element) continue;
        if (seen++ == n) return c;
    }
    return {};
}

xml::NodeList records(const xml::Document& doc) { return doc.selectNodes("//FaxSendLogs/FaxSendLog"); }

Error badRecord(std::size_t index) {
    return Error(errnum::ObjectNotSet,
                 "ＦＡＸ送信履歴ファイルの " + std::to_string(index + 1) + " 件目の記録に管理番号または帳票種別がありません。");
}

// Number and type of a record by position; nullopt when it lacks them.
std::optional<std::pair<std::string, std::string>> numberAndType(const xml::Node& record) {
    xml::Node number = elementChild(record, 1);
    xml::Node type = elementChild(record, 2);
    if (!number || !type) return std::nullopt;
    return std::make_pair(number.text(), type.text());
}

void appendText(xml::Document& doc, xml::Node& parent, const char* name, const std::string& value) {
    xml::Node child = doc.createElement(name);
    if (!value.empty()) child.setText(value);
    parent.appendChild(child);
}

// Errors of one operation: logged under the class's source, answered False.
bool guarded(const std::function<bool()>& body) {
    try {
        return body();
    } catch (...) {
        logCurrentError(FaxSendCareers::kErrorSource);
    }
    return false;
}

}  // namespace

FaxSendCareers::FaxSendCareers() : path_(FolderPathInfo().getFolderPath("FaxSendLog") + kFileName) {}

namespace {

xml::Document loadLog(const std::string& path, bool needRoot) {
    xml::Document doc;
    if (!doc.load(path))
        throw Error(errnum::PathFileAccessError,
                    "ＦＡＸ送信履歴ファイルが不正です。 " + path + " " + doc.parseError().reason);
    if (needRoot && doc.documentElement().nodeName() != "FaxSendLogs")
        throw Error(errnum::PathFileAccessError,
                    "ＦＡＸ送信履歴ファイルが不正です。 " + path + " FaxSendLogs がありません。");
    return doc;
}

// One load-change-save under the file's lock, so that servers writing at the
// same moment each see the other's record.
template <class Change>
bool updateLog(const std::string& path, Change change) {
    FileLock lock(path);
    xml::Document doc = loadLog(path, true);
    bool result = change(doc);
    doc.save(path);
    return result;
}

}  // namespace

bool FaxSendCareers::setSendCareer() {
    return guarded([&] {
        return updateLog(path_, [&](xml::Document& doc) {
            xml::Node record = doc.createElement("FaxSendLog");
            appendText(doc, record, "SendDate", sendDate_);
            appendText(doc, record, "RepManageNo", repManageNo_);
            appendText(doc, record, "RepType", repType_);
            xml::Node images = doc.createElement("FAXRefImageFileNames");
            if (!refImageFileName_.empty()) appendText(doc, images, "FAXRefImageFileName", refImageFileName_);
            record.appendChild(images);
            appendText(doc, record, "OrderName", orderName_);
            appendText(doc, record, "CompanyName", sendCompanyName_);
            appendText(doc, record, "PostName", sendPostName_);
            appendText(doc, record, "ChargeName", sendChargeName_);
            appendText(doc, record, "FAXNum", sendFaxNum_);
            appendText(doc, record, "EmploymentMode", enploymentMode_);
            appendText(doc, record, "PageNum", sendPageNum_);
            appendText(doc, record, "Result", sendResult_);
            appendText(doc, record, "ReceiveCode", reciverCode_);
            appendText(doc, record, "ReSendDate", reSendDate_);
            doc.documentElement().appendChild(record);
            return true;
        });
    });
}

bool FaxSendCareers::setReSendCareer(const std::string& strRepManageNo, const std::string& strRepType,
                                     const std::string& strDate, std::int16_t intSendCnt,
                                     const std::string& strResult) {
    if (blank(strRepManageNo) || blank(strRepType)) return false;
    return guarded([&] {
        return updateLog(path_, [&](xml::Document& doc) {
            bool matched = false;
            xml::NodeList all = records(doc);
            for (std::size_t i = 0; i < all.size(); ++i) {
                auto key = numberAndType(all[i]);
                if (!key) throw badRecord(i);
                if (key->first != strRepManageNo || key->second != strRepType) continue;
                matched = true;
                for (xml::Node& n : all[i].getElementsByTagName("PageNum")) n.setText(std::to_string(intSendCnt));
                for (xml::Node& n : all[i].getElementsByTagName("Result")) n.setText(strResult);
                for (xml::Node& n : all[i].getElementsByTagName("ReSendDate")) n.setText(strDate);
            }
            return matched;
        });
    });
}

bool FaxSendCareers::checkSendCareer(const std::string& strRepManageNo, const std::string& strRepType) {
    if (blank(strRepManageNo) || blank(strRepType)) return false;
    return guarded([&] {
        // Saves are atomic renames, so a read needs no lock.
        xml::Document doc = loadLog(path_, false);
        xml::NodeList all = records(doc);
        for (std::size_t i = 0; i < all.size(); ++i) {
            auto key = numberAndType(all[i]);
            if (!key) throw badRecord(i);
            if (key->first == strRepManageNo && key->second == strRepType) return true;
        }
        return false;
    });
}

bool FaxSendCareers::delSendCareer(const std::string& strRepManageNo) {
    if (blank(strRepManageNo)) return false;
    // A log that does not load is left as it is: saving the empty document
    // would wipe every record.
    return guarded([&] {
        return updateLog(path_, [&](xml::Document&doc) {
            for (xml::Node& record : records(doc)) {
                xml::NodeList numbers = record.getElementsByTagName("RepManageNo");
                if (numbers.empty() || numbers.back().text() != strRepManageNo) continue;
                record.parentNode().removeChild(record);
                break;
            }
            return true;
        });
    });
}

bool FaxSendCareers::setSendImage(const std::string& strRepManageNo, const std::string& strImageFile) {
    return guarded([&] {
        return updateLog(path_, [&](xml::Document& doc) {
            // The list is a snapshot: records moved to the end are not met
            // again, so each matching record gets the name once. A record
            // without a number cannot match and is passed over.
            for (xml::Node& record : records(doc)) {
                xml::Node number = elementChild(record, 1);
                if (!number || number.text().empty() || number.text() != strRepManageNo) continue;
                xml::NodeList lists = record.getElementsByTagName("FAXRefImageFileNames");
                if (lists.empty()) continue;
                xml::Node name = doc.createElement("FAXRefImageFileName");
                if (!strImageFile.empty()) name.setText(strImageFile);
                xml::Node parent = record.parentNode();
                xml::Node moved = parent.appendChild(record);
                xml::Node list = moved.appendChild(lists.front());
                list.appendChild(name);
            }
            return true;
        });
    });
}

}  // namespace fg
