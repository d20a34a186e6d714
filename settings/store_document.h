// The management-number store's document as its members work on it: the
// records found by position, made, removed and given list entries. Shared by
// FaxManageNum, which makes one change per load and save, and StoreChanges,
// which makes many.
#pragma once

#include "platform/error.h"
#include "platform/xml.h"
#include "platform/xml_scan.h"
#include "settings/errors.h"
#include "settings/locked_document.h"
#include "settings/manage_records.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fg::settings::store {

inline constexpr std::size_t kRepManageNo = 1;
inline constexpr std::size_t kRepType = 2;
inline constexpr std::size_t kTempList = 3;
inline constexpr std::size_t kRefList = 4;
inline constexpr std::size_t kXmlList = 5;
inline constexpr std::size_t kOrderCode = 7;
inline constexpr std::size_t kReceiveCode = 9;
inline constexpr std::size_t kDecisionCondition = 14;
inline constexpr std::size_t kOrderNumber = 18;

struct ListKind {
    const char* list;
    const char* entry;
    long missingError;  // of the member that appends to it
};
inline constexpr ListKind kTempImages{"FAXTempImageFileNames", "FAXTempImageFileName", errs::NoTempImageRecord};
inline constexpr ListKind kRefImages{"FAXRefImageFileNames", "FAXRefImageFileName", errs::NoRefImageRecord};
inline constexpr ListKind kSendXml{"FAXSendXMLFileNames", "FAXSendXMLFileName", errs::NoSendXmlRecord};

// Child node `n` of a record as positions count (white space between
// elements is gone after the load, comments count). Raises error 91 for a
// record without it.
xml::Node childAt(const xml::Node& record, std::size_t n);
inline std::string childText(const xml::Node& record, std::size_t n) { return childAt(record, n).text(); }

// Every FAXManageNums element of the document, in document order.
inline xml::NodeList roots(const xml::Document& doc) { return doc.getElementsByTagName("FAXManageNums"); }

// The records of one FAXManageNums element, in document order, until
// `visit` answers false.
template <class Visit>
void forEachRecord(const xml::Node& root, Visit visit) {
    for (xml::Node c = root.firstChild(); c; c = c.nextSibling()) {
        if (c.type() != xml::NodeType::Element || c.nodeName() != "FAXManageNum") continue;
        if (!visit(c)) return;
    }
}

// The record as getManageNum reads it (every field by position) and the
// entries of its lists. Raises error 91 for a record short of its fields.
ManageRecord readRecord(const xml::Node& record);

// Appends the record as the last child of the root (a FAXManageNums): the
// fields in position order, an entry per list name (an empty name gives an
// empty entry), a blank DecisionCondition as "9"; answers the record's
// element. `root` may be the document itself, for a record written alone.
xml::Node appendRecord(xml::Document& doc, xml::Node root, const ManageRecord& record);
// Removes the first record of the number (by position) of each
// FAXManageNums; whether one was removed.
[[nodiscard]] bool removeRecord(const xml::Document& doc, const std::string& number);
// Appends the names, in order, to every list of the kind in the first
// record that holds a RepManageNo of the number; whether there was one.
[[nodiscard]] bool appendNames(xml::Document& doc, const ListKind& kind, const std::string& number,
                 const std::vector<std::string>& names);
// Appends the names to every list of the kind in the record, at any depth.
void appendEntriesTo(xml::Document& doc, const xml::Node& record, const ListKind& kind,
                     const std::vector<std::string>& names);
// Replaces the entries of every list of the kind in the record, at any depth.
void replaceEntriesIn(xml::Document& doc, const xml::Node& record, const ListKind& kind,
                      const std::vector<std::string>& names);
// Replaces the entries of every list of the kind in the number's first
// record (by position); whether there was one.
[[nodiscard]] bool replaceNames(xml::Document& doc, const ListKind& kind, const std::string& number,
                  const std::vector<std::string>& names);

// A writer's refusal to touch a store that did not load.
Error loadError(const LockedDocument& store);
// Error 91 for a record short of position n.
Error shortRecord(std::size_t n);

// ---- The store in one pass over its bytes (platform/xml_scan.h)

// The store's bytes, nullopt when they cannot be read (a load then tells why).
std::optional<std::string> storeBytes(const std::string& path);
// Whether a scan of the store may stand for a load: understood, its root
// FAXManageNums and no other FAXManageNums in it, so that the records are
// the root's FAXManageNum children.
[[nodiscard]] bool plainStore(const xml::ScannedFile& scan);
// The text of child node n of a scanned record (its nodes, as nodesIn gives
// them); raises shortRecord(n) as childText does.
std::string childText(const xml::ScannedFile& scan, const std::vector<xml::ScannedNode>& nodes, std::size_t n);
// Whether child n's text is `wanted`, as childText(...) == wanted tells,
// without making the text where it is plain ASCII; throws as childText.
bool childIs(const xml::ScannedFile& scan, const std::vector<xml::ScannedNode>& nodes, std::size_t n,
             std::string_view wanted);

// Calls visit(record, its child nodes) for the records of a plain store, in
// order, until it answers false.
template <class Visit>
void forEachRecord(const xml::ScannedFile& scan, Visit visit) {
    std::vector<xml::ScannedNode> nodes;
    for (const xml::ScannedNode& record : scan.topElements()) {
        if (record.name != "FAXManageNum") continue;
        scan.nodesIn(record.content, nodes, false);
        if (!visit(record, nodes)) return;
    }
}

// The same for the records whose number (the node at position 1) is
// `number`: the others are walked no further than that node. A record short
// of it raises shortRecord, as childIs does.
template <class Visit>
void forEachRecordNumbered(const xml::ScannedFile& scan, std::string_view number, Visit visit) {
    std::vector<xml::ScannedNode> nodes;
    for (const xml::ScannedNode& record : scan.topElements()) {
        if (record.name != "FAXManageNum") continue;
        scan.nodesIn(record.content, nodes, false, kRepManageNo + 1);
        if (!childIs(scan, nodes, kRepManageNo, number)) continue;
        scan.nodesIn(record.content, nodes, false);
        if (!visit(record, nodes)) return;
    }
}

// Calls visit(text) for every entry of the kind in a scanned record, as the
// load's walk finds them: every list of the kind at any depth, in document
// order, and every entry at any depth in each. `deep` is the record's nodes
// with every descendant (nodesIn with deep).
template <class Visit>
void forEachEntry(const xml::ScannedFile& scan, const std::vector<xml::ScannedNode>& deep, const ListKind& kind,
                  Visit visit) {
    for (std::size_t i = 0; i < deep.size(); ++i) {
        if (!deep[i].element || deep[i].name != kind.list) continue;
        for (std::size_t j = i + 1; j < deep.size() && deep[j].whole.begin < deep[i].whole.end; ++j)
            if (deep[j].element && deep[j].name == kind.entry) visit(scan.text(deep[j].content));
    }
}
// The record as readRecord reads it, from a scanned record: `nodes` its
// children, `deep` a buffer for its descendants.
ManageRecord readRecord(const xml::ScannedFile& scan, const xml::ScannedNode& record,
                        const std::vector<xml::ScannedNode>& nodes, std::vector<xml::ScannedNode>& deep);
// The records of a plain store, when every FAXManageNum of the file is one
// of them (none stands deeper, where a walk by name would meet it too).
[[nodiscard]] bool flatStore(const xml::ScannedFile& scan);

// What a writer's pass made of the store.
enum class Splice { Declined, Unchanged, Changed };
// A writer's pass over the store's bytes under its lock: `change` says what
// becomes of the records, and the store is saved when it answers Changed.
// False when the store is not in the form a save writes, or not plain, or
// (with `appends`) its root has no end tag, or `change` declined: the caller
// then changes it through a load and a save, as before.
[[nodiscard]] bool spliceStore(const std::string& path, bool appends,
                 const std::function<Splice(const xml::ScannedFile&, xml::SplicedWrite&)>& change);

}  // namespace fg::settings::store
