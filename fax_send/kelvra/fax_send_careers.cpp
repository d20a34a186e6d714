#include "fax_send/kelvra/fax_send_careers.h"

#include "fax_send/kelvra/month_sends.h"

#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/folder_path_info.h"
#include "platform/text.h"
#include "platform/xml.h"
#include "platform/xml_scan.h"

#include <exception>
#include <functional>
#include <optional>
#include <string_view>
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

// Values are set as a load keeps them (a blank is an empty element, unless
// the element's place preserves white space), so that the log stays in the
// form its saves write and the next write splices: set once in their place.
void appendText(xml::Document& doc, xml::Node& parent, const char* name, const std::string& value) {
    parent.appendChild(doc.createElement(name)).setTextAsLoaded(value);
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

// For the readers whose callers tell the failure themselves: why it failed
// goes to the debug log, and the reader answers False.
bool traced(const std::function<bool()>& body) {
    try {
        return body();
    } catch (...) {
        writeDebugLine(FaxSendCareers::kErrorSource, currentError().description());
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

// The log's bytes, or nothing when they cannot be read: the load that
// follows then tells why, as it always has.
std::optional<std::string> logBytes(const std::string& path) {
    try {
        return fs::readFile(path);
    } catch (const Error&) {
        return std::nullopt;
    }
}

// Whether one pass over the bytes may stand for a load: the scan understood
// the file (so a load takes it, and finds what the scan finds), its root is
// FaxSendLogs and no other FaxSendLogs lies within it, so that the records
// are the root's FaxSendLog children.
bool plainLog(const xml::ScannedFile& scan) { return scan.understoodWithSoleRoot("FaxSendLogs"); }

// The n-th element child of a scanned record, nullptr when it has none.
const xml::ScannedNode* elementChild(const std::vector<xml::ScannedNode>& nodes, std::size_t n) {
    std::size_t seen = 0;
    for (const xml::ScannedNode& node : nodes)
        if (node.element && seen++ == n) return &node;
    return nullptr;
}

// A writer's pass over the bytes: `change` answers the member's result and
// says what becomes of the records (SplicedWrite), which is then saved.
// nullopt when the file is not in the form the save writes (or does not
// scan): the caller changes it through a load and a save instead, which
// brings it into that form.
template <class Change>
std::optional<bool> spliceLog(const std::string& path, Change change) {
    FileLock lock(path);
    std::optional<std::string> bytes = logBytes(path);
    if (!bytes) return std::nullopt;
    xml::ScannedFile scan(std::move(*bytes));
    if (!scan.canonical() || !plainLog(scan) || scan.rootEmptyTag()) return std::nullopt;
    xml::SplicedWrite write(scan);
    bool result = change(scan, write);
    write.save(path);
    return result;
}

// Calls visit(record, its nodes, its index) for every record of a plain log.
template <class Visit>
void forEachScannedRecord(const xml::ScannedFile& scan, Visit visit) {
    std::vector<xml::ScannedNode> nodes;
    std::size_t index = 0;
    for (const xml::ScannedNode& record : scan.topElements()) {
        if (record.name != "FaxSendLog") continue;
        scan.nodesIn(record.content, nodes, false);
        if (!visit(record, nodes, index++)) return;
    }
}

// The same for the records that may bear `number`: a record whose number and
// type stand at their places is walked no further when the number is
// another; any other comes whole, as the walk above gives it.
template <class Visit>
void forEachScannedRecordOf(const xml::ScannedFile& scan, const std::string& number, Visit visit) {
    std::vector<xml::ScannedNode> nodes;
    std::size_t index = 0;
    for (const xml::ScannedNode& record : scan.topElements()) {
        if (record.name != "FaxSendLog") continue;
        const std::size_t at = index++;
        scan.nodesIn(record.content, nodes, false, 3);
        const xml::ScannedNode* n = elementChild(nodes, 1);
        if (n && elementChild(nodes, 2) && !scan.textIs(n->content, number)) continue;
        scan.nodesIn(record.content, nodes, false);
        if (!visit(record, nodes, at)) return;
    }
}

// Whether a scanned record's number and type by position are these; throws
// as a load's walk does.
bool scannedKeyIs(const xml::ScannedFile& scan, const std::vector<xml::ScannedNode>& nodes, std::size_t index,
                  const std::string& wantedNumber, const std::string& wantedType) {
    const xml::ScannedNode* number = elementChild(nodes, 1);
    const xml::ScannedNode* type = elementChild(nodes, 2);
    if (!number || !type) throw badRecord(index);
    return scan.textIs(number->content, wantedNumber) && scan.textIs(type->content, wantedType);
}

}  // namespace

xml::Node FaxSendCareers::newRecord(xml::Document& doc, xml::Node parent) const {
    xml::Node record = parent.appendChild(doc.createElement("FaxSendLog"));
    appendText(doc, record, "SendDate", sendDate_);
    appendText(doc, record, "RepManageNo", repManageNo_);
    appendText(doc, record, "RepType", repType_);
    xml::Node images = record.appendChild(doc.createElement("FAXRefImageFileNames"));
    if (!refImageFileName_.empty()) appendText(doc, images, "FAXRefImageFileName", refImageFileName_);
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
    return record;
}

bool FaxSendCareers::setSendCareer() {
    return guarded([&] {
        auto spliced = spliceLog(path_, [&](const xml::ScannedFile& scan, xml::SplicedWrite& write) {
            write.appendToRoot(scan.fragment([&](xml::Document& doc) { return newRecord(doc, doc.asNode()); }));
            return true;
        });
        if (spliced) return *spliced;
        return updateLog(path_, [&](xml::Document& doc) {
            newRecord(doc, doc.documentElement());
            return true;
        });
    });
}

namespace {

// What a send again changes in each record of its number and type.
void markResent(xml::Node record, const std::string& pages, const std::string& result, const std::string& date) {
    for (xml::Node& n : record.getElementsByTagName("PageNum")) n.setTextAsLoaded(pages);
    for (xml::Node& n : record.getElementsByTagName("Result")) n.setTextAsLoaded(result);
    for (xml::Node& n : record.getElementsByTagName("ReSendDate")) n.setTextAsLoaded(date);
}

}  // namespace

bool FaxSendCareers::setReSendCareer(const std::string& strRepManageNo, const std::string& strRepType,
                                     const std::string& strDate, std::int16_t intSendCnt,
                                     const std::string& strResult) {
    if (blank(strRepManageNo) || blank(strRepType)) return false;
    auto resend = [&](xml::Node record) { markResent(record, std::to_string(intSendCnt), strResult, strDate); };
    return guarded([&] {
        auto spliced = spliceLog(path_, [&](const xml::ScannedFile& scan, xml::SplicedWrite& write) {
            bool matched = false;
            forEachScannedRecordOf(scan, strRepManageNo, [&](const auto& record, const auto& nodes, std::size_t i) {
                if (!scannedKeyIs(scan, nodes, i, strRepManageNo, strRepType)) return true;
                matched = true;
                write.replace(record.whole, scan.reworked(record.whole, [&](xml::Document&, xml::Node& r) { resend(r); }));
                return true;
            });
            return matched;
        });
        if (spliced) return *spliced;
        return updateLog(path_, [&](xml::Document& doc) {
            bool matched = false;
            xml::NodeList all = records(doc);
            for (std::size_t i = 0; i < all.size(); ++i) {
                auto key = numberAndType(all[i]);
                if (!key) throw badRecord(i);
                if (key->first != strRepManageNo || key->second != strRepType) continue;
                matched = true;
                resend(all[i]);
            }
            return matched;
        });
    });
}

bool FaxSendCareers::checkSendCareer(const std::string& strRepManageNo, const std::string& strRepType) {
    if (blank(strRepManageNo) || blank(strRepType)) return false;
    return guarded([&] {
        // Saves are atomic renames, so a read needs no lock.
        if (std::optional<std::string> bytes = logBytes(path_)) {
            xml::ScannedFile scan(std::move(*bytes));
            if (plainLog(scan)) {
                bool found = false;
                forEachScannedRecordOf(scan, strRepManageNo, [&](const auto&, const auto& nodes, std::size_t i) {
                    found = scannedKeyIs(scan, nodes, i, strRepManageNo, strRepType);
                    return !found;
                });
                return found;
            }
        }
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

bool FaxSendCareers::findSendResult(const std::string& strRepManageNo, std::string& strResult) {
    strResult.clear();
    return guarded([&] {
        std::optional<std::string> bytes = logBytes(path_);
        std::optional<xml::ScannedFile> scan;
        if (bytes) scan.emplace(std::move(*bytes));
        if (scan && plainLog(*scan)) {
            forEachScannedRecordOf(*scan, strRepManageNo, [&](const xml::ScannedNode&, const auto& nodes, std::size_t) {
                const xml::ScannedNode* number = elementChild(nodes, 1);
                if (!number || !scan->textIs(number->content, strRepManageNo)) return true;
                for (const xml::ScannedNode& n : nodes) {
                    if (n.element && n.name == "Result") {
                        strResult = scan->text(n.content);
                        break;
                    }
                }
                return false;
            });
            return true;
        }
        xml::Document doc;
        if (!doc.load(path_)) return true;
        for (const xml::Node& record : records(doc)) {
            xml::Node number = elementChild(record, 1);
            if (!number || number.text() != strRepManageNo) continue;
            if (xml::Node status = record.selectSingleNode("Result")) strResult = status.text();
            break;
        }
        return true;
    });
}

bool FaxSendCareers::getManageNumbers(std::vector<std::string>& numbers, const std::string& prefix) {
    numbers.clear();
    const bool read = traced([&] {
        if (!fs::fileExists(path_)) return true;
        if (std::optional<std::string> bytes = logBytes(path_)) {
            xml::ScannedFile scan(std::move(*bytes));
            if (plainLog(scan)) {
                forEachScannedRecord(scan, [&](const xml::ScannedNode&, const auto& nodes, std::size_t) {
                    for (const xml::ScannedNode& n : nodes)
                        if (n.element && n.name == "RepManageNo" && scan.textStartsWith(n.content, prefix))
                            numbers.push_back(scan.text(n.content));
                    return true;
                });
                return true;
            }
        }
        xml::Document doc = loadLog(path_, false);
        for (const xml::Node& n : doc.selectNodes("//FaxSendLogs/FaxSendLog/RepManageNo"))
            if (std::string text = n.text(); text.compare(0, prefix.size(), prefix) == 0) numbers.push_back(text);
        return true;
    });
    if (!read) numbers.clear();
    return read;
}

bool FaxSendCareers::getSendsOfMonth(const std::string& strYD, const std::string& strFaxNo,
                                     std::vector<xml::Node>& sends) {
    sends.clear();
    const bool read = traced([&] {
        if (std::optional<std::string> bytes = logBytes(path_)) {
            xml::ScannedFile scan(std::move(*bytes));
            // The month's records are found by name at any depth: one pass
            // stands for the walk only while every FaxSendLog is a record of
            // the root.
            if (plainLog(scan) && xml::startTags(scan.bytes(), "FaxSendLog") == scan.topElementsNamed("FaxSendLog")) {
                std::vector<xml::ByteSpan> found;
                std::vector<xml::ScannedNode> deep;
                MonthSends month(strYD, strFaxNo);
                forEachScannedRecord(scan, [&](const xml::ScannedNode& record, const auto&, std::size_t) {
                    scan.nodesIn(record.content, deep, true);
                    if (month.holds([&](const char* name, const MonthSends::Test& test) {
                            for (const xml::ScannedNode& n : deep)
                                if (n.element && n.name == name && test(scan.text(n.content))) return true;
                            return false;
                        }))
                        found.push_back(record.whole);
                    return true;
                });
                if (!found.empty()) {
                    xml::Document doc = scan.excerpt(found);
                    for (xml::Node c = doc.documentElement().firstChild(); c; c = c.nextSibling())
                        if (c.type() == xml::NodeType::Element) sends.push_back(c);
                }
                return true;
            }
        }
        xml::Document doc = loadLog(path_, false);
        for (const xml::Node& send : sendsOfMonth(doc, strYD, strFaxNo)) sends.push_back(send);
        return true;
    });
    if (!read) sends.clear();
    return read;
}

bool FaxSendCareers::delSendCareer(const std::string& strRepManageNo) {
    if (blank(strRepManageNo)) return false;
    // A log that does not load is left as it is: saving the empty document
    // would wipe every record.
    return guarded([&] {
        auto spliced = spliceLog(path_, [&](const xml::ScannedFile& scan, xml::SplicedWrite& write) {
            std::vector<xml::ScannedNode> inside;
            forEachScannedRecord(scan, [&](const xml::ScannedNode& record, const auto&, std::size_t) {
                scan.nodesIn(record.content, inside, true);
                const xml::ScannedNode* last = nullptr;
                for (const xml::ScannedNode& n : inside)
                    if (n.element && n.name == "RepManageNo") last = &n;
                if (!last || scan.text(last->content) != strRepManageNo) return true;
                write.replace(record.whole, {});
                return false;
            });
            return true;
        });
        if (spliced) return *spliced;
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

namespace {

// The record's image list goes behind ReSendDate, with the name last in it.
void addImage(xml::Document& doc, xml::Node record, const xml::Node& list, const std::string& image) {
    record.appendChild(list).appendChild(doc.createElement("FAXRefImageFileName")).setTextAsLoaded(image);
}

// Whether a record of the number takes image names (setSendImage): its
// number at position 1, and an image list within it.
bool takesImages(const xml::ScannedFile& scan, const xml::ScannedNode& record, const std::vector<xml::ScannedNode>& nodes,
                 const std::string& number, std::vector<xml::ScannedNode>& inside) {
    const xml::ScannedNode* n = elementChild(nodes, 1);
    if (!n) return false;
    if (number.empty() || !scan.textIs(n->content, number)) return false;
    scan.nodesIn(record.content, inside, true);
    for (const xml::ScannedNode& node : inside)
        if (node.element && node.name == "FAXRefImageFileNames") return true;
    return false;
}

// Whether a text can stand in the log (the setters refuse what no file can hold).
bool holdable(const std::string& value) {
    try {
        xml::Document doc;
        doc.createElement("a").setText(value);
        return true;
    } catch (const Error&) {
        return false;
    }
}

}  // namespace

bool FaxSendCareers::setSendImage(const std::string& strRepManageNo, const std::string& strImageFile) {
    auto addImage = [&](xml::Document& doc, xml::Node record, const xml::Node& list) {
        fg::addImage(doc, record, list, strImageFile);
    };
    return guarded([&] {
        auto spliced = spliceLog(path_, [&](const xml::ScannedFile& scan, xml::SplicedWrite& write) {
            std::vector<xml::ScannedNode> inside;
            forEachScannedRecordOf(scan, strRepManageNo, [&](const auto& record, const auto& nodes, std::size_t) {
                if (!takesImages(scan, record, nodes, strRepManageNo, inside)) return true;
                // Moved last among the records.
                write.replace(record.whole, {});
                write.appendToRoot(scan.reworked(record.whole, [&](xml::Document& doc, xml::Node& r) {
                    addImage(doc, r, r.getElementsByTagName("FAXRefImageFileNames").front());
                }));
                return true;
            });
            return true;
        });
        if (spliced) return *spliced;
        return updateLog(path_, [&](xml::Document& doc) {
            // The list is a snapshot: records moved to the end are not met
            // again, so each matching record gets the name once. A record
            // without a number cannot match and is passed over.
            for (xml::Node& record : records(doc)) {
                xml::Node number = elementChild(record, 1);
                if (!number || number.text().empty() || number.text() != strRepManageNo) continue;
                xml::NodeList lists = record.getElementsByTagName("FAXRefImageFileNames");
                if (lists.empty()) continue;
                xml::Node moved = record.parentNode().appendChild(record);
                addImage(doc, moved, lists.front());
            }
            return true;
        });
    });
}

std::optional<bool> FaxSendCareers::setSendOutcome(const std::vector<std::string>& images, bool& resent) {
    resent = false;
    if (blank(repManageNo_) || blank(repType_)) return std::nullopt;
    for (const std::string& image : images)
        if (!holdable(image)) return std::nullopt;
    try {
        FileLock lock(path_);
        std::optional<std::string> bytes = logBytes(path_);
        if (!bytes) return std::nullopt;
        xml::ScannedFile scan(std::move(*bytes));
        if (!scan.canonical() || !plainLog(scan) || scan.rootEmptyTag()) return std::nullopt;
        // One walk finds the records a send again changes and those the
        // image names move; which of them it is shows at its end.
        bool keyless = false;
        std::vector<xml::ByteSpan> sameKey, takingImages;
        std::vector<xml::ScannedNode> inside;
        forEachScannedRecordOf(scan, repManageNo_, [&](const xml::ScannedNode& record, const auto& nodes, std::size_t) {
            const xml::ScannedNode* number = elementChild(nodes, 1);
            const xml::ScannedNode* type = elementChild(nodes, 2);
            keyless = !number || !type;
            if (keyless) return false;
            if (scan.textIs(number->content, repManageNo_) && scan.textIs(type->content, repType_))
                sameKey.push_back(record.whole);
            if (!images.empty() && takesImages(scan, record, nodes, repManageNo_, inside))
                takingImages.push_back(record.whole);
            return true;
        });
        if (keyless) return std::nullopt;
        resent = !sameKey.empty();
        xml::SplicedWrite write(scan);
        if (resent) {
            for (const xml::ByteSpan& whole : sameKey)
                write.replace(whole, scan.reworked(whole, [&](xml::Document&, xml::Node& r) {
                    markResent(r, sendPageNum_, sendResult_, sendDate_);
                }));
        } else {
            // Each image moves the records of the number last, in file order.
            for (const xml::ByteSpan& whole : takingImages) {
                write.replace(whole, {});
                write.appendToRoot(scan.reworked(whole, [&](xml::Document& doc, xml::Node& r) {
                    for (const std::string& image : images)
                        addImage(doc, r, r.getElementsByTagName("FAXRefImageFileNames").front(), image);
                }));
            }
        }
        if (!resent)
            write.appendToRoot(scan.fragment([&](xml::Document& doc) {
                xml::Node record = newRecord(doc, doc.asNode());
                for (const std::string& image : images)
                    addImage(doc, record, record.getElementsByTagName("FAXRefImageFileNames").front(), image);
                return record;
            }));
        write.save(path_);
        return true;
    } catch (...) {
        logCurrentError(kErrorSource);
        return false;
    }
}

}  // namespace fg
