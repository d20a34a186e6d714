#include "settings/manage_records.h"

#include "platform/error.h"
#include "platform/xml.h"
#include "settings/locked_document.h"
#include "settings/member_guard.h"
#include "settings/store_document.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string_view>

namespace fg {

using namespace settings::store;

StoredRecords::StoredRecords() {
    const std::string path = FaxManageNum().storePath();
    // One pass over the bytes where the store is plain: a batch's read of a
    // store of years costs its bytes and the records, never a tree of it.
    {
        std::optional<xml::ScannedFile> scan;
        if (std::optional<std::string> bytes = storeBytes(path)) scan.emplace(std::move(*bytes));
        if (scan && plainStore(*scan)) {
            loaded_ = true;
            records_.reserve(scan->topElementsNamed("FAXManageNum"));
            std::vector<xml::ScannedNode> deep;
            forEachRecord(*scan, [&](const xml::ScannedNode& record, const std::vector<xml::ScannedNode>& nodes) {
                try {
                    records_.push_back(readRecord(*scan, record, nodes, deep));
                } catch (const Error&) {
                    whole_ = false;
                    return false;
                }
                first_.try_emplace(records_.back().number(), records_.size() - 1);
                return true;
            });
            return;
        }
    }
    xml::Document doc;
    if (!doc.load(path)) {
        settings::traceFailure(FaxManageNum::kErrorSource,
                               Error(errnum::PathFileAccessError, settings::loadFailure(path, doc.parseError())));
        return;
    }
    loaded_ = true;
    for (const xml::Node& root : roots(doc)) {
        forEachRecord(root, [&](const xml::Node& record) {
            try {
                records_.push_back(readRecord(record));
            } catch (const Error&) {
                whole_ = false;
                return false;
            }
            first_.try_emplace(records_.back().number(), records_.size() - 1);
            return true;
        });
    }
}

const ManageRecord* StoredRecords::find(const std::string& number) const {
    if (!whole_) return nullptr;
    auto at = first_.find(number);
    return at == first_.end() ? nullptr : &records_[at->second];
}

void StoreChanges::add(const ManageRecord& record) { changes_.push_back({Change::Add, record}); }

void StoreChanges::addPages(const std::string& number, const std::vector<std::string>& names) {
    Change c{Change::AddPages, {}};
    c.record.fields[kRepManageNo] = number;
    c.record.tempImages = names;
    changes_.push_back(std::move(c));
}

void StoreChanges::replacePages(const std::string& number, const std::vector<std::string>& temp,
                                const std::vector<std::string>& ref) {
    Change c{Change::ReplacePages, {}};
    c.record.fields[kRepManageNo] = number;
    c.record.tempImages = temp;
    c.record.refImages = ref;
    changes_.push_back(std::move(c));
}

void StoreChanges::remove(const std::string& number) {
    Change c{Change::Remove, {}};
    c.record.fields[kRepManageNo] = number;
    changes_.push_back(std::move(c));
}

namespace {

using RecordChange = std::function<void(xml::Document&, xml::Node&)>;

// The store's records as a splice of changes sees them: those of the file
// that a change can reach, each with the changes made to its lists (applied
// to the record alone when the file is written again) or removed, then those
// added. A store of years holds a record for every number it was given; what
// is kept is a few offsets into the scanned bytes of the records that bear a
// number the changes name, and of those short of a number (which stop a
// search that meets them), never an entry for every record.
struct SplicedRecords {
    struct OnFile {
        std::uint32_t begin = 0;  // the record's bytes, from its start tag
        std::uint32_t end = 0;    // to past its end tag
        // The content of its node at position 1, the number.
        std::uint32_t numberBegin = 0;
        std::uint32_t numberEnd = 0;
        bool isShort = false;      // no node at position 1
        bool numberIsKey = false;  // that node is a RepManageNo
        bool moreKeys = false;     // other RepManageNo children, in moreKeys
        bool removed = false;

        xml::ByteSpan whole() const { return {begin, end}; }
        xml::ByteSpan number() const { return {numberBegin, numberEnd}; }
    };
    std::vector<OnFile> onFile;
    // The contents of a record's RepManageNo children besides its node at
    // position 1 (seldom any), by its index in onFile, in file order.
    std::vector<std::pair<std::size_t, xml::ByteSpan>> moreKeys;
    // The changes of a record's lists, by its index in onFile.
    std::map<std::size_t, std::vector<RecordChange>> changes;
    std::vector<std::optional<ManageRecord>> added;  // nullopt once removed
};

}  // namespace

// The changes as one pass over the store's bytes, each made as the load's
// walk below makes it. Declined where a record holds a RepManageNo below its
// children, which a change of its lists could reach.
static Splice spliceChanges(const xml::ScannedFile& scan, xml::SplicedWrite& write,
                            const std::vector<StoreChanges::Change>& changes, std::optional<Error>& stopped) {
    using Change = StoreChanges::Change;
    // Offsets are kept in 32 bits; a larger store goes through a load.
    if (scan.bytes().size() > std::numeric_limits<std::uint32_t>::max()) return Splice::Declined;
    // The numbers the changes look for; an added record is found among those added.
    std::set<std::string, std::less<>> named;
    for (const Change& c : changes)
        if (c.kind != Change::Add) named.insert(c.record.number());
    // Whether a number's text is one of them, told as textIs tells it.
    auto isNamed = [&](xml::ByteSpan content) {
        if (const std::optional<std::string_view> plain = scan.plainText(content)) return named.count(*plain) > 0;
        return named.count(scan.text(content)) > 0;
    };
    SplicedRecords records;
    std::vector<xml::ScannedNode> deep;
    // Records added alone reach no record of the file: a batch's save of
    // its new records walks none of the old ones.
    for (const xml::ScannedNode& top : scan.topElements()) {
        if (named.empty()) break;
        if (top.name != "FAXManageNum") continue;
        SplicedRecords::OnFile r;
        r.begin = static_cast<std::uint32_t>(top.whole.begin);
        r.end = static_cast<std::uint32_t>(top.whole.end);
        scan.nodesIn(top.content, deep, true);
        std::size_t child = 0;  // position among the children (depth 0)
        bool reached = false;
        const std::size_t keysBefore = records.moreKeys.size();
        for (const xml::ScannedNode& n : deep) {
            const bool key = n.element && n.name == "RepManageNo";
            if (key && n.depth > 0) return Splice::Declined;
            if (n.depth > 0) continue;
            if (child == kRepManageNo) {
                r.numberBegin = static_cast<std::uint32_t>(n.content.begin);
                r.numberEnd = static_cast<std::uint32_t>(n.content.end);
                r.numberIsKey = key;
                reached = reached || isNamed(n.content);
            } else if (key) {
                records.moreKeys.emplace_back(records.onFile.size(), n.content);
                r.moreKeys = true;
                reached = reached || isNamed(n.content);
            }
            ++child;
        }
        r.isShort = child <= kRepManageNo;
        if (reached || r.isShort) {
            records.onFile.push_back(r);
        } else {
            records.moreKeys.resize(keysBefore);
        }
    }
    // The first record of the number by position, as removeRecord and
    // replaceNames find it: a short record met first is an error.
    auto byPosition = [&](const std::string& number, auto onFile, auto onAdded) {
        for (std::size_t i = 0; i < records.onFile.size(); ++i) {
            const SplicedRecords::OnFile& r = records.onFile[i];
            if (r.removed) continue;
            if (r.isShort) throw shortRecord(kRepManageNo);
            if (scan.textIs(r.number(), number)) return onFile(i);
        }
        for (std::optional<ManageRecord>& r : records.added)
            if (r && r->number() == number) return onAdded(*r);
        return false;
    };
    // The first record holding a RepManageNo of the number, as appendNames
    // finds it; npos for none.
    auto byKey = [&](const std::string& number) {
        auto more = records.moreKeys.begin();
        for (std::size_t i = 0; i < records.onFile.size(); ++i) {
            const SplicedRecords::OnFile& r = records.onFile[i];
            if (r.removed) continue;
            if (r.numberIsKey && scan.textIs(r.number(), number)) return i;
            if (!r.moreKeys) continue;
            while (more->first < i) ++more;
            for (; more != records.moreKeys.end() && more->first == i; ++more)
                if (scan.textIs(more->second, number)) return i;
        }
        return std::string::npos;
    };
    bool changed = false;
    for (const Change& c : changes) {
        const std::string& number = c.record.number();
        switch (c.kind) {
        case Change::Add:
            records.added.emplace_back(c.record);
            changed = true;
            break;
        case Change::AddPages: {
            // The first record holding a RepManageNo of the number, as
            // appendNames finds it; both lists take the names.
            bool found = false;
            if (const std::size_t i = byKey(number); i != std::string::npos) {
                records.changes[i].push_back([names = c.record.tempImages](xml::Document& doc, xml::Node& record) {
                    appendEntriesTo(doc, record, kTempImages, names);
                    appendEntriesTo(doc, record, kRefImages, names);
                });
                found = true;
            }
            for (std::size_t i = 0; !found && i < records.added.size(); ++i) {
                std::optional<ManageRecord>& r = records.added[i];
                if (!r || r->number() != number) continue;
                for (auto* list : {&r->tempImages, &r->refImages})
                    list->insert(list->end(), c.record.tempImages.begin(), c.record.tempImages.end());
                found = true;
            }
            // A record missing ends the changes here; those before are saved.
            if (!found) stopped = Error(kTempImages.missingError, "帳票管理番号=" + number + " の記録がありません。");
            else changed = true;
            break;
        }
        case Change::ReplacePages:
            changed = byPosition(
                          number,
                          [&](std::size_t i) {
                              records.changes[i].push_back([temp = c.record.tempImages, ref = c.record.refImages](
                                                      xml::Document& doc, xml::Node& record) {
                                  replaceEntriesIn(doc, record, kTempImages, temp);
                                  replaceEntriesIn(doc, record, kRefImages, ref);
                              });
                              return true;
                          },
                          [&](ManageRecord& r) {
                              r.tempImages = c.record.tempImages;
                              r.refImages = c.record.refImages;
                              return true;
                          }) ||
                      changed;
            break;
        case Change::Remove:
            changed = byPosition(
                          number,
                          [&](std::size_t i) {
                              records.onFile[i].removed = true;
                              return true;
                          },
                          [&](ManageRecord& r) {
                              for (std::optional<ManageRecord>& a : records.added)
                                  if (a && &*a == &r) a.reset();
                              return true;
                          }) ||
                      changed;
            break;
        }
        if (stopped) break;
    }
    if (!changed) return Splice::Unchanged;
    // Removed records and changed ones, in file order.
    auto nextChanged = records.changes.begin();
    for (std::size_t i = 0; i < records.onFile.size(); ++i) {
        const SplicedRecords::OnFile& r = records.onFile[i];
        const xml::ByteSpan whole = r.whole();
        const bool hasChanges = nextChanged != records.changes.end() && nextChanged->first == i;
        if (r.removed) {
            write.replace(whole, {});
        } else if (hasChanges) {
            write.replace(whole, scan.reworked(whole, [&](xml::Document& doc, xml::Node& record) {
                for (const RecordChange& change : nextChanged->second) change(doc, record);
            }));
        }
        if (hasChanges) ++nextChanged;
    }
    for (const std::optional<ManageRecord>& r : records.added)
        if (r) write.appendToRoot(scan.fragment([&](xml::Document& doc) { return appendRecord(doc, doc.asNode(), *r); }));
    return Splice::Changed;
}

void StoreChanges::apply() {
    std::vector<Change> changes = std::move(changes_);
    changes_.clear();
    if (changes.empty()) return;
    const std::string path = FaxManageNum().storePath();
    // In the form the saves write, the store's bytes are copied with the
    // changes spliced in: a batch's save of a store of years costs its bytes,
    // never a tree of them.
    {
        const bool adds = std::any_of(changes.begin(), changes.end(),
                                      [](const Change& c) { return c.kind == Change::Add; });
        std::optional<Error> stopped;
        if (spliceStore(path, adds, [&](const xml::ScannedFile& scan, xml::SplicedWrite& write) {
                return spliceChanges(scan, write, changes, stopped);
            })) {
            if (stopped) throw *stopped;
            return;
        }
    }
    settings::LockedDocument store(path);
    if (!store.loaded()) throw loadError(store);
    xml::Document& doc = store.document();
    bool changed = false;
    std::optional<Error> stopped;
    // Where new records go, found once: a search of the whole document for
    // every record added made a save of n new records cost n searches.
    std::optional<xml::Node> newRecords;
    for (const Change& c : changes) {
        const std::string& number = c.record.number();
        switch (c.kind) {
        case Change::Add: {
            if (!newRecords) {
                xml::NodeList all = roots(doc);
                if (all.empty())
                    throw Error(errnum::PathFileAccessError,
                                "管理番号ファイルに FAXManageNums がありません。" + store.path());
                newRecords = all.front();
            }
            appendRecord(doc, *newRecords, c.record);
            changed = true;
            break;
        }
        case Change::AddPages:
            // A record missing stops here, as the member that appends alone
            // fails for it and the caller goes no further.
            for (const ListKind* kind : {&kTempImages, &kRefImages}) {
                if (!appendNames(doc, *kind, number, c.record.tempImages)) {
                    stopped = Error(kind->missingError, "帳票管理番号=" + number + " の記録がありません。");
                    break;
                }
                changed = true;
            }
            break;
        case Change::ReplacePages:
            changed = replaceNames(doc, kTempImages, number, c.record.tempImages) | changed;
            changed = replaceNames(doc, kRefImages, number, c.record.refImages) | changed;
            break;
        case Change::Remove:
            changed = removeRecord(doc, number) | changed;
            break;
        }
        if (stopped) break;
    }
    if (changed) store.save();
    if (stopped) throw *stopped;
}

}  // namespace fg
