#include "settings/store_document.h"

#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/text.h"

namespace fg::settings::store {

namespace {

const ListKind* listAt(std::size_t position) {
    switch (position) {
    case kTempList: return &kTempImages;
    case kRefList: return &kRefImages;
    case kXmlList: return &kSendXml;
    default: return nullptr;
    }
}

const std::vector<std::string>& namesAt(const ManageRecord& record, std::size_t position) {
    return position == kTempList ? record.tempImages : position == kRefList ? record.refImages : record.sendXml;
}

// Every value is set as a load keeps it (a blank one leaves an empty
// element, unless its place preserves white space), so that a write leaves
// the store in the form its saves write and the next write splices it too:
// it is set once the element is in its place.
void appendEntries(xml::Document& doc, xml::Node& list, const ListKind& kind, const std::vector<std::string>& names) {
    for (const std::string& name : names) list.appendChild(doc.createElement(kind.entry)).setTextAsLoaded(name);
}

std::vector<std::string> entriesOf(const xml::Node& record, const ListKind& kind) {
    std::vector<std::string> names;
    for (const xml::Node& list : record.getElementsByTagName(kind.list))
        for (const xml::Node& entry : list.getElementsByTagName(kind.entry)) names.push_back(entry.text());
    return names;
}

}  // namespace

Error shortRecord(std::size_t n) {
    return Error(errnum::ObjectNotSet, Error::standardText(errnum::ObjectNotSet) + " 管理番号ファイルの記録に " +
                                           std::to_string(n + 1) + " 番目の項目がありません。");
}

xml::Node childAt(const xml::Node& record, std::size_t n) {
    xml::Node c = record.firstChild();
    for (std::size_t i = 0; c && i < n; ++i) c = c.nextSibling();
    if (!c) throw shortRecord(n);
    return c;
}

std::string childText(const xml::ScannedFile& scan, const std::vector<xml::ScannedNode>& nodes, std::size_t n) {
    if (n >= nodes.size()) throw shortRecord(n);
    return scan.text(nodes[n].content);
}

bool childIs(const xml::ScannedFile& scan, const std::vector<xml::ScannedNode>& nodes, std::size_t n,
             std::string_view wanted) {
    if (n >= nodes.size()) throw shortRecord(n);
    return scan.textIs(nodes[n].content, wanted);
}

std::optional<std::string> storeBytes(const std::string& path) {
    try {
        return fs::readFile(path);
    } catch (const Error&) {
        return std::nullopt;
    }
}

bool plainStore(const xml::ScannedFile& scan) { return scan.understoodWithSoleRoot("FAXManageNums"); }

bool spliceStore(const std::string& path, bool appends,
                 const std::function<Splice(const xml::ScannedFile&, xml::SplicedWrite&)>& change) {
    FileLock lock(path);
    std::optional<std::string> bytes = storeBytes(path);
    if (!bytes) return false;
    xml::ScannedFile scan(std::move(*bytes));
    if (!scan.canonical() || !plainStore(scan) || (appends && scan.rootEmptyTag())) return false;
    xml::SplicedWrite write(scan);
    Splice done = change(scan, write);
    if (done == Splice::Changed) write.save(path);
    return done != Splice::Declined;
}

ManageRecord readRecord(const xml::Node& record) {
    ManageRecord r;
    for (std::size_t i = 0; i < r.fields.size(); ++i) r.fields[i] = childText(record, i);
    r.tempImages = entriesOf(record, kTempImages);
    r.refImages = entriesOf(record, kRefImages);
    r.sendXml = entriesOf(record, kSendXml);
    return r;
}

ManageRecord readRecord(const xml::ScannedFile& scan, const xml::ScannedNode& record,
                        const std::vector<xml::ScannedNode>& nodes, std::vector<xml::ScannedNode>& deep) {
    ManageRecord r;
    for (std::size_t i = 0; i < r.fields.size(); ++i) r.fields[i] = childText(scan, nodes, i);
    scan.nodesIn(record.content, deep, true);
    forEachEntry(scan, deep, kTempImages, [&](std::string name) { r.tempImages.push_back(std::move(name)); });
    forEachEntry(scan, deep, kRefImages, [&](std::string name) { r.refImages.push_back(std::move(name)); });
    forEachEntry(scan, deep, kSendXml, [&](std::string name) { r.sendXml.push_back(std::move(name)); });
    return r;
}

bool flatStore(const xml::ScannedFile& scan) {
    if (!plainStore(scan)) return false;
    return xml::startTags(scan.bytes(), "FAXManageNum") == scan.topElementsNamed("FAXManageNum");
}

xml::Node appendRecord(xml::Document& doc, xml::Node root, const ManageRecord& record) {
    xml::Node element = root.appendChild(doc.createElement("FAXManageNum"));
    for (std::size_t i = 0; i < record.fields.size(); ++i) {
        xml::Node field = element.appendChild(doc.createElement(FaxManageNum::kFieldNames[i]));
        const std::string& value = record.fields[i];
        if (const ListKind* kind = listAt(i)) {
            appendEntries(doc, field, *kind, namesAt(record, i));
        } else if (i == kDecisionCondition) {
            field.setTextAsLoaded(text::trim(value).empty() ? "9" : value);
        } else {
            field.setTextAsLoaded(value);
        }
    }
    return element;
}

bool removeRecord(const xml::Document& doc, const std::string& number) {
    bool removed = false;
    for (const xml::Node& root : roots(doc)) {
        xml::Node victim;
        forEachRecord(root, [&](const xml::Node& record) {
            if (childText(record, kRepManageNo) != number) return true;
            victim = record;
            return false;
        });
        if (victim) {
            victim.parentNode().removeChild(victim);
            removed = true;
        }
    }
    return removed;
}

void appendEntriesTo(xml::Document& doc, const xml::Node& record, const ListKind& kind,
                     const std::vector<std::string>& names) {
    for (xml::Node& list : record.getElementsByTagName(kind.list)) appendEntries(doc, list, kind, names);
}

void replaceEntriesIn(xml::Document& doc, const xml::Node& record, const ListKind& kind,
                      const std::vector<std::string>& names) {
    for (xml::Node& list : record.getElementsByTagName(kind.list)) {
        while (xml::Node c = list.firstChild()) list.removeChild(c);
        appendEntries(doc, list, kind, names);
    }
}

bool appendNames(xml::Document& doc, const ListKind& kind, const std::string& number,
                 const std::vector<std::string>& names) {
    bool found = false;
    for (const xml::Node& root : roots(doc)) {
        forEachRecord(root, [&](const xml::Node& record) {
            bool match = false;
            for (const xml::Node& key : record.getElementsByTagName("RepManageNo"))
                if (key.text() == number) match = true;
            if (!match) return true;
            appendEntriesTo(doc, record, kind, names);
            found = true;
            return false;
        });
        if (found) break;
    }
    return found;
}

bool replaceNames(xml::Document& doc, const ListKind& kind, const std::string& number,
                  const std::vector<std::string>& names) {
    bool found = false;
    for (const xml::Node& root : roots(doc)) {
        forEachRecord(root, [&](const xml::Node& record) {
            if (childText(record, kRepManageNo) != number) return true;
            replaceEntriesIn(doc, record, kind, names);
            found = true;
            return false;
        });
        if (found) break;
    }
    return found;
}

Error loadError(const LockedDocument& store) {
    return Error(errnum::PathFileAccessError,
                 "管理番号ファイルを読めないため変更しません。" + loadFailure(store.path(), store.parseError()));
}

}  // namespace fg::settings::store
