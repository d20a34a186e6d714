#include "settings/fax_manage_num.h"

#include "platform/error.h"
#include "platform/folder_path_info.h"
#include "platform/text.h"
#include "platform/xml.h"
#include "platform/xml_scan.h"
#include "settings/locked_document.h"
#include "settings/errors.h"
#include "settings/member_guard.h"
#include "settings/store_document.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

namespace fg {

const char* const FaxManageNum::kFieldNames[kFieldCount] = {
    "SendDate",      "RepManageNo",         "RepType",          "FAXTempImageFileNames", "FAXRefImageFileNames",
    "FAXSendXMLFileNames", "ReceiveXMLFileName", "OrderCode",   "OrderName",             "ReceiveCode",
    "SendCompanyName", "SendPostName",      "SendChargeName",   "SendFAXNum",            "DecisionCondition",
    "EnploymentMode", "PageNum",            "ReportConfirmNo",  "OrderNumber"};

namespace {

using namespace settings::store;

constexpr long kNoRecordForRead = settings::errs::NoRecordForRead;
constexpr long kNoRecordForManageNum = settings::errs::NoRecordForManageNum;

bool blank(const std::string& s) { return text::trim(s).empty(); }

// Adds one to a 16-bit count, as the callers' Integer counts do.
void bump16(int& n) {
    if (n >= std::numeric_limits<std::int16_t>::max()) throw Error::standard(errnum::Overflow);
    ++n;
}

// An array the caller never sized, or one too long for a 16-bit index.
void checkNames(const std::vector<std::string>& names) {
    if (names.empty())
        throw Error(errnum::SubscriptOutOfRange,
                    Error::standardText(errnum::SubscriptOutOfRange) + " ファイル名の一覧が空です。");
    if (names.size() - 1 > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max()))
        throw Error::standard(errnum::Overflow);
}

}  // namespace

FaxManageNum::FaxManageNum() : path_(FolderPathInfo().getFolderPath("FaxManageNum") + kFileName) {}

namespace {

// The store's bytes scanned, when one pass over them may stand for a load
// (`plain`, or with `flat` every FAXManageNum a record of the root). False,
// the scan given back, otherwise: the caller then loads the file, which
// tells why it does not load, holding no second copy of it.
bool scanStore(const std::string& path, std::optional<xml::ScannedFile>& scan, bool flat = false) {
    if (std::optional<std::string> bytes = storeBytes(path)) scan.emplace(std::move(*bytes));
    if (scan && (flat ? flatStore(*scan) : plainStore(*scan))) return true;
    scan.reset();
    return false;
}

// A load of the store for the readers that find no plain store; a store
// that does not load holds no records, and why is traced.
xml::Document loadForRead(const std::string& path) {
    xml::Document doc;
    if (!doc.load(path))
        settings::traceFailure(FaxManageNum::kErrorSource,
                               Error(errnum::PathFileAccessError, settings::loadFailure(path, doc.parseError())));
    return doc;
}

}  // namespace

bool FaxManageNum::setManageNum(const std::string& strUpdateType) {
    try {
        ManageRecord record;
        std::copy(std::begin(fields_), std::end(fields_), record.fields.begin());
        // A list property gives its list one entry, when it is not empty.
        for (auto [position, names] : {std::pair{kTempList, &record.tempImages},
                                        std::pair{kRefList, &record.refImages}, std::pair{kXmlList, &record.sendXml}})
            if (!fields_[position].empty()) names->push_back(fields_[position]);
        const bool spliced = spliceStore(path_, true, [&](const xml::ScannedFile& scan, xml::SplicedWrite& write) {
            // A replacement looks for records at any depth: one inside
            // another record leaves the change to a load.
            if (!flatStore(scan)) return Splice::Declined;
            if (strUpdateType == "1") {
                forEachRecord(scan, [&](const xml::ScannedNode& top, const std::vector<xml::ScannedNode>& nodes) {
                    for (const xml::ScannedNode& c : nodes) {
                        if (c.element && c.name == "RepManageNo" && scan.text(c.content) == mstrRepManageNo()) {
                            write.replace(top.whole, {});
                            break;
                        }
                    }
                    return true;
                });
            }
            write.appendToRoot(scan.fragment([&](xml::Document& doc) { return appendRecord(doc, doc.asNode(), record); }));
            return Splice::Changed;
        });
        if (spliced) return true;
        settings::LockedDocument store(path_);
        if (!store.loaded()) throw loadError(store);
        xml::Document& doc = store.document();
        xml::NodeList all = roots(doc);
        // Without its root the record would go nowhere; reporting True then
        // would lose the document's record silently.
        if (all.empty())
            throw Error(errnum::PathFileAccessError, "管理番号ファイルに FAXManageNums がありません。" + path_);
        xml::Node root = all.front();

        if (strUpdateType == "1") {
            for (xml::Node& record : root.getElementsByTagName("FAXManageNum")) {
                for (xml::Node c = record.firstChild(); c; c = c.nextSibling()) {
                    if (c.type() == xml::NodeType::Element && c.nodeName() == "RepManageNo" &&
                        c.text() == mstrRepManageNo()) {
                        record.parentNode().removeChild(record);
                        break;
                    }
                }
            }
        }

        appendRecord(doc, root, record);
        store.save();
        return true;
    } catch (...) {
        settings::traceFailure(kErrorSource, currentError());
        return false;
    }
}

bool FaxManageNum::getManageNum(const std::string& strManageNo, const std::string& strOrderNo, bool blnErrOut) {
    const bool byNumber = !blank(strManageNo);
    const bool byOrder = !blank(strOrderNo);
    if (!byNumber && !byOrder) return false;
    bool found = false;
    // Whether the record whose field n is text(n) is the one asked for; the
    // first that is fills the properties.
    auto take = [&](auto text) {
        bool match;
        if (byNumber && byOrder) {
            // Both children are read, as a record short of either is broken.
            bool number = text(kRepManageNo) == strManageNo;
            bool order = text(kOrderNumber) == strOrderNo;
            match = number && order;
        } else if (byNumber) {
            match = text(kRepManageNo) == strManageNo;
        } else {
            match = text(kOrderNumber) == strOrderNo;
        }
        if (!match) return true;
        // All 19 are read before any property changes, so a short
        // record leaves the properties as they were.
        std::string values[kFieldCount];
        for (std::size_t i = 0; i < kFieldCount; ++i) values[i] = text(i);
        for (std::size_t i = 0; i < kFieldCount; ++i) fields_[i] = std::move(values[i]);
        found = true;
        return false;
    };
    try {
        std::optional<xml::ScannedFile> scan;
        if (scanStore(path_, scan)) {
            auto visit = [&](const xml::ScannedNode&, const std::vector<xml::ScannedNode>& nodes) {
                return take([&](std::size_t n) { return childText(*scan, nodes, n); });
            };
            if (byNumber && !byOrder) forEachRecordNumbered(*scan, strManageNo, visit);
            else forEachRecord(*scan, visit);
        } else {
            // A store that does not load holds no records: the search below
            // reports the number as missing, and the reason is traced.
            xml::Document doc = loadForRead(path_);
            for (const xml::Node& root : roots(doc))
                forEachRecord(root, [&](const xml::Node& record) {
                    return take([&](std::size_t n) { return childText(record, n); });
                });
        }
        if (!found) {
            if (blnErrOut) throw Error::standard(kNoRecordForManageNum);
            return false;
        }
        return true;
    } catch (...) {
        logCurrentError(kErrorSource);
        return false;
    }
}

bool FaxManageNum::getSendRecord(const std::string& strManageNo, std::vector<std::string>& tempImages,
                                 std::vector<std::string>& refImages) {
    tempImages.clear();
    refImages.clear();
    if (blank(strManageNo)) return getManageNum(strManageNo, "", true);
    try {
        std::optional<xml::ScannedFile> scan;
        if (!scanStore(path_, scan)) {
            // Not in the form the saves write: the members read it as they always have.
            if (!getManageNum(strManageNo, "", true)) return false;
            std::vector<std::string> names;
            std::int16_t count = getTempImageFileToManage(strManageNo, "", names);
            tempImages.assign(names.begin(), names.begin() + std::max<std::int16_t>(count, 0));
            count = getRefImageFileToManage(strManageNo, mstrRepType(), names);
            refImages.assign(names.begin(), names.begin() + std::max<std::int16_t>(count, 0));
            return true;
        }
        bool found = false;
        std::vector<xml::ScannedNode> deep;
        forEachRecordNumbered(*scan, strManageNo, [&](const auto& record, const auto& nodes) {
            std::string values[kFieldCount];
            for (std::size_t i = 0; i < kFieldCount; ++i) values[i] = childText(*scan, nodes, i);
            for (std::size_t i = 0; i < kFieldCount; ++i) fields_[i] = std::move(values[i]);
            scan->nodesIn(record.content, deep, true);
            forEachEntry(*scan, deep, kTempImages, [&](std::string name) { tempImages.push_back(std::move(name)); });
            forEachEntry(*scan, deep, kRefImages, [&](std::string name) { refImages.push_back(std::move(name)); });
            found = true;
            return false;
        });
        if (!found) throw Error::standard(kNoRecordForManageNum);
        return true;
    } catch (...) {
        tempImages.clear();
        refImages.clear();
        logCurrentError(kErrorSource);
        return false;
    }
}

bool FaxManageNum::setDecisionCondition(const std::string& strRepManageNo, const std::string& strDecisionCondition) {
    try {
        const bool spliced = spliceStore(path_, false, [&](const xml::ScannedFile& scan, xml::SplicedWrite& write) {
            Splice done = Splice::Unchanged;
            forEachRecordNumbered(scan, strRepManageNo, [&](const auto& record, const auto& nodes) {
                if (nodes.size() <= kDecisionCondition) throw shortRecord(kDecisionCondition);
                write.replace(record.whole, scan.reworked(record.whole, [&](xml::Document&, xml::Node& r) {
                    childAt(r, kDecisionCondition).setTextAsLoaded(strDecisionCondition);
                }));
                done = Splice::Changed;
                return false;
            });
            return done;
        });
        if (spliced) return true;
        settings::LockedDocument store(path_);
        if (!store.loaded()) throw loadError(store);
        bool changed = false;
        for (const xml::Node& root : roots(store.document())) {
            forEachRecord(root, [&](const xml::Node& record) {
                if (childText(record, kRepManageNo) != strRepManageNo) return true;
                childAt(record, kDecisionCondition).setTextAsLoaded(strDecisionCondition);
                changed = true;
                return false;
            });
        }
        // Rewriting an unchanged store would only hold the lock longer.
        if (changed) store.save();
        return true;
    } catch (...) {
        settings::traceFailure(kErrorSource, currentError());
        return false;
    }
}

bool FaxManageNum::delManageNum(const std::string& strRepManageNo) {
    try {
        const bool spliced = spliceStore(path_, false, [&](const xml::ScannedFile& scan, xml::SplicedWrite& write) {
            Splice done = Splice::Unchanged;
            forEachRecordNumbered(scan, strRepManageNo, [&](const auto& record, const auto&) {
                write.replace(record.whole, {});
                done = Splice::Changed;
                return false;
            });
            return done;
        });
        if (spliced) return true;
        settings::LockedDocument store(path_);
        if (!store.loaded()) throw loadError(store);
        bool changed = removeRecord(store.document(), strRepManageNo);
        if (changed) store.save();
        return true;
    } catch (...) {
        settings::traceFailure(kErrorSource, currentError());
        return false;
    }
}

bool FaxManageNum::getUnansweredRecords(const std::string& strFaxNum, std::vector<xml::Node>& records) {
    records.clear();
    try {
        // The last element of each name counts; a record without one does
        // not match, whatever the record before it held.
        auto matches = [&](const std::string* faxNumber, const std::string* condition) {
            return faxNumber && condition && *faxNumber == strFaxNum && *condition == "0";
        };
        std::optional<xml::ScannedFile> scan;
        if (scanStore(path_, scan, true)) {
            // Only the matching records are made into nodes, in a document
            // of their own under the store's declaration and root.
            std::vector<xml::ByteSpan> found;
            std::vector<xml::ScannedNode> deep;
            for (const xml::ScannedNode& record : scan->topElements()) {
                if (record.name != "FAXManageNum") continue;
                scan->nodesIn(record.content, deep, true);
                const xml::ScannedNode* faxNumber = nullptr;
                const xml::ScannedNode* condition = nullptr;
                for (const xml::ScannedNode& n : deep) {
                    if (!n.element) continue;
                    if (n.name == "SendFAXNum") faxNumber = &n;
                    else if (n.name == "DecisionCondition") condition = &n;
                }
                if (!faxNumber || !condition) continue;
                const std::string number = scan->text(faxNumber->content);
                const std::string decision = scan->text(condition->content);
                if (matches(&number, &decision)) found.push_back(record.whole);
            }
            if (found.empty()) return true;
            xml::Document doc = scan->excerpt(found);
            for (xml::Node c = doc.documentElement().firstChild(); c; c = c.nextSibling())
                if (c.type() == xml::NodeType::Element) records.push_back(c);
            return true;
        }
        xml::Document doc;
        if (!doc.load(path_)) return false;
        for (const xml::Node& root : roots(doc)) {
            for (const xml::Node& record : root.getElementsByTagName("FAXManageNum")) {
                xml::NodeList faxNumbers = record.getElementsByTagName("SendFAXNum");
                xml::NodeList conditions = record.getElementsByTagName("DecisionCondition");
                if (faxNumbers.empty() || conditions.empty()) continue;
                const std::string number = faxNumbers.back().text();
                const std::string decision = conditions.back().text();
                if (matches(&number, &decision)) records.push_back(record);
            }
        }
        return true;
    } catch (...) {
        settings::traceFailure(kErrorSource, currentError());
        records.clear();
        return false;
    }
}

bool FaxManageNum::getNamedRecords(std::vector<NamedRecord>& records) {
    records.clear();
    try {
        std::optional<xml::ScannedFile> scan;
        if (scanStore(path_, scan, true)) {
            std::vector<xml::ScannedNode> deep;
            for (const xml::ScannedNode& record : scan->topElements()) {
                if (record.name != "FAXManageNum") continue;
                NamedRecord named;
                scan->nodesIn(record.content, deep, true);
                const xml::ScannedNode* number = nullptr;
                const xml::ScannedNode* faxNum = nullptr;
                for (const xml::ScannedNode& n : deep) {
                    if (n.element && n.name == "RepManageNo") number = &n;
                    else if (n.element && n.name == "SendFAXNum") faxNum = &n;
                }
                if (number) named.number = scan->text(number->content);
                if (faxNum) named.faxNum = scan->text(faxNum->content);
                forEachEntry(*scan, deep, kSendXml, [&](std::string name) { named.sendXml.push_back(std::move(name)); });
                records.push_back(std::move(named));
            }
            return true;
        }
        xml::Document doc;
        if (!doc.load(path_)) return false;
        auto last = [](const xml::Node& record, const char* name) {
            xml::NodeList all = record.getElementsByTagName(name);
            return all.empty() ? std::string() : all.back().text();
        };
        xml::NodeList groups = roots(doc);
        for (std::size_t g = 0; g < groups.size(); ++g) {
            for (const xml::Node& record : groups[g].getElementsByTagName("FAXManageNum")) {
                NamedRecord named{g, last(record, "RepManageNo"), last(record, "SendFAXNum"), {}};
                for (const xml::Node& list : record.getElementsByTagName(kSendXml.list))
                    for (const xml::Node& entry : list.getElementsByTagName(kSendXml.entry))
                        named.sendXml.push_back(entry.text());
                records.push_back(std::move(named));
            }
        }
        return true;
    } catch (...) {
        settings::traceFailure(kErrorSource, currentError());
        records.clear();
        return false;
    }
}

bool FaxManageNum::getManageNumbers(std::vector<std::string>& numbers, const std::string& prefix) {
    numbers.clear();
    try {
        std::optional<xml::ScannedFile> scan;
        if (scanStore(path_, scan)) {
            std::vector<xml::ScannedNode> nodes;
            for (const xml::ScannedNode& record : scan->topElements()) {
                if (record.name != "FAXManageNum") continue;
                scan->nodesIn(record.content, nodes, false);
                for (const xml::ScannedNode& n : nodes)
                    if (n.element && n.name == "RepManageNo" && scan->textStartsWith(n.content, prefix))
                        numbers.push_back(scan->text(n.content));
            }
            return true;
        }
        xml::Document doc;
        if (!doc.load(path_)) return false;
        for (const xml::Node& n : doc.selectNodes("/*/FAXManageNum/RepManageNo"))
            if (std::string text = n.text(); text.compare(0, prefix.size(), prefix) == 0) numbers.push_back(text);
        return true;
    } catch (...) {
        settings::traceFailure(kErrorSource, currentError());
        numbers.clear();
        return false;
    }
}

namespace {

// Collects the entries of one list of `record` into `out` from index n.
void collect(const xml::Node& record, const ListKind& kind, std::vector<std::string>& out, int& n) {
    for (const xml::Node& list : record.getElementsByTagName(kind.list)) {
        for (const xml::Node& entry : list.getElementsByTagName(kind.entry)) {
            out.resize(static_cast<std::size_t>(n) + 1);
            out[static_cast<std::size_t>(n)] = entry.text();
            bump16(n);
        }
    }
}

void collect(const xml::ScannedFile& scan, const std::vector<xml::ScannedNode>& deep, const ListKind& kind,
             std::vector<std::string>& out, int& n) {
    forEachEntry(scan, deep, kind, [&](std::string name) {
        out.resize(static_cast<std::size_t>(n) + 1);
        out[static_cast<std::size_t>(n)] = std::move(name);
        bump16(n);
    });
}

std::int16_t readByNumber(const std::string& path, const ListKind& kind, const std::string& strManageNo,
                          const std::string& strManageId, std::vector<std::string>& strFileName) {
    if (blank(strManageNo)) return 0;
    try {
        strFileName.assign(1, std::string());
        int n = 0;
        const bool anyType = blank(strManageId);
        bool found = false;
        std::optional<xml::ScannedFile> scan;
        if (scanStore(path, scan)) {
            std::vector<xml::ScannedNode> deep;
            forEachRecordNumbered(*scan, strManageNo, [&](const auto& record, const auto& nodes) {
                if (!anyType && !childIs(*scan, nodes, kRepType, strManageId)) return true;
                scan->nodesIn(record.content, deep, true);
                collect(*scan, deep, kind, strFileName, n);
                found = true;
                return false;
            });
        } else {
            xml::Document doc = loadForRead(path);
            for (const xml::Node& root : roots(doc)) {
                forEachRecord(root, [&](const xml::Node& record) {
                    if (childText(record, kRepManageNo) != strManageNo) return true;
                    if (!anyType && childText(record, kRepType) != strManageId) return true;
                    collect(record, kind, strFileName, n);
                    found = true;
                    return false;
                });
                if (found) break;
            }
        }
        if (!found) throw Error::standard(kNoRecordForRead);
        return static_cast<std::int16_t>(n);
    } catch (...) {
        logCurrentError(FaxManageNum::kErrorSource);
        return 0;
    }
}

bool appendNames(const std::string& path, const ListKind& kind, const std::string& strRepManageNo,
                 const std::vector<std::string>& strFileName) {
    try {
        checkNames(strFileName);
        settings::LockedDocument store(path);
        // A store that does not load has no record of the number; it is
        // left exactly as it is.
        if (!store.loaded())
            settings::traceFailure(FaxManageNum::kErrorSource,
                                   Error(errnum::PathFileAccessError, settings::loadFailure(path, store.parseError())));
        bool found = settings::store::appendNames(store.document(), kind, strRepManageNo, strFileName);
        if (!found) throw Error::standard(kind.missingError);
        store.save();
        return true;
    } catch (...) {
        logCurrentError(FaxManageNum::kErrorSource);
        return false;
    }
}

}  // namespace

std::int16_t FaxManageNum::getXMLFileToManage(const std::string& strManageNo, const std::string& strManageId,
                                              std::vector<std::string>& strFileName) {
    return readByNumber(path_, kSendXml, strManageNo, strManageId, strFileName);
}

std::int16_t FaxManageNum::getRefImageFileToManage(const std::string& strManageNo, const std::string& strManageId,
                                                   std::vector<std::string>& strFileName) {
    return readByNumber(path_, kRefImages, strManageNo, strManageId, strFileName);
}

std::int16_t FaxManageNum::getTempImageFileToManage(const std::string& strManageNo, const std::string& strManageId,
                                                    std::vector<std::string>& strFileName) {
    return readByNumber(path_, kTempImages, strManageNo, strManageId, strFileName);
}

std::int16_t FaxManageNum::getXMLFileToOrder(const std::string& strOrderCode, const std::string& strReceiveCode,
                                             const std::string& strOrderNo, std::vector<std::string>& strFileName) {
    if (blank(strOrderCode) || blank(strReceiveCode) || blank(strOrderNo)) return 0;
    try {
        strFileName.assign(1, std::string());
        int n = 0;
        std::optional<xml::ScannedFile> scan;
        if (scanStore(path_, scan)) {
            std::vector<xml::ScannedNode> deep;
            forEachRecord(*scan, [&](const xml::ScannedNode& record, const std::vector<xml::ScannedNode>& nodes) {
                // All three are read, as a record short of any of them is broken.
                bool code = childText(*scan, nodes, kOrderCode) == strOrderCode;
                bool receiver = childText(*scan, nodes, kReceiveCode) == strReceiveCode;
                bool order = childText(*scan, nodes, kOrderNumber) == strOrderNo;
                if (!(code && receiver && order)) return true;
                scan->nodesIn(record.content, deep, true);
                collect(*scan, deep, kSendXml, strFileName, n);
                return false;
            });
        } else {
            xml::Document doc = loadForRead(path_);
            for (const xml::Node& root : roots(doc)) {
                forEachRecord(root, [&](const xml::Node& record) {
                    bool code = childText(record, kOrderCode) == strOrderCode;
                    bool receiver = childText(record, kReceiveCode) == strReceiveCode;
                    bool order = childText(record, kOrderNumber) == strOrderNo;
                    if (!(code && receiver && order)) return true;
                    collect(record, kSendXml, strFileName, n);
                    return false;
                });
                if (n > 0) break;
            }
        }
        // A record of the order without documents is as good as none.
        if (n == 0) throw Error::standard(kNoRecordForRead);
        return static_cast<std::int16_t>(n);
    } catch (...) {
        logCurrentError(kErrorSource);
        return 0;
    }
}

std::string FaxManageNum::readFailure() const {
    try {
        std::optional<xml::ScannedFile> scan;
        if (scanStore(path_, scan)) {
            forEachRecord(*scan, [&](const xml::ScannedNode&, const std::vector<xml::ScannedNode>& nodes) {
                if (nodes.size() < kFieldCount) throw shortRecord(nodes.size());
                return true;
            });
            return {};
        }
        xml::Document doc;
        if (!doc.load(path_)) return settings::loadFailure(path_, doc.parseError());
        xml::NodeList all = roots(doc);
        if (all.empty()) return "管理番号ファイルに FAXManageNums がありません。" + path_;
        for (const xml::Node& root : all) forEachRecord(root, [](const xml::Node& record) {
                readRecord(record);
                return true;
            });
        return {};
    } catch (...) {
        return path_ + ": " + currentError().description();
    }
}

bool FaxManageNum::subAddTempImageFileNames(const std::string& strRepManageNo,
                                            const std::vector<std::string>& strFileName) {
    return appendNames(path_, kTempImages, strRepManageNo, strFileName);
}

bool FaxManageNum::subAddRefImageFileNames(const std::string& strRepManageNo,
                                           const std::vector<std::string>& strFileName) {
    return appendNames(path_, kRefImages, strRepManageNo, strFileName);
}

bool FaxManageNum::subAddSendXMLFileNames(const std::string& strRepManageNo,
                                          const std::vector<std::string>& strFileName) {
    return appendNames(path_, kSendXml, strRepManageNo, strFileName);
}

}  // namespace fg
