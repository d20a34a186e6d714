#include "documents/quillary/page_lists.h"

#include "platform/error.h"
#include "platform/folder_path_info.h"
#include "platform/xml.h"
#include "settings/fax_manage_num.h"
#include "settings/locked_document.h"

namespace fg::documents {

namespace {

constexpr const char* kLists[3][2] = {{"FAXTempImageFileNames", "FAXTempImageFileName"},
                                      {"FAXRefImageFileNames", "FAXRefImageFileName"},
                                      {"FAXSendXMLFileNames", "FAXSendXMLFileName"}};

std::string storePath() { return FolderPathInfo().getFolderPath("FaxManageNum") + FaxManageNum::kFileName; }

xml::Node childNamed(const xml::Node& parent, const std::string& name) {
    for (xml::Node c = parent.firstChild(); c; c = c.nextSibling())
        if (c.type() == xml::NodeType::Element && c.nodeName() == name) return c;
    return {};
}

void loadFailed(const std::string& path, const xml::ParseError& error) {
    throw Error(errnum::PathFileAccessError, "管理番号ファイルを読めません。" + path + " " + error.reason, "FaxTranXml");
}

// Every record of the store, in order.
std::vector<xml::Node> recordsOf(const xml::Document& doc) {
    std::vector<xml::Node> records;
    for (const xml::Node& root : doc.getElementsByTagName("FAXManageNums"))
        for (xml::Node r = root.firstChild(); r; r = r.nextSibling())
            if (r.type() == xml::NodeType::Element && r.nodeName() == "FAXManageNum") records.push_back(r);
    return records;
}

std::string numberOf(const xml::Node& record) {
    xml::Node no = childNamed(record, "RepManageNo");
    return no ? no.text() : std::string();
}

xml::Node findRecord(const xml::Document& doc, const std::string& number) {
    for (const xml::Node& r : recordsOf(doc))
        if (numberOf(r) == number) return r;
    return {};
}

// The names of list k of a record, in order.
template <class Out>
void namesOfList(const xml::Node& record, int k, Out out) {
    xml::Node list = childNamed(record, kLists[k][0]);
    if (!list) return;
    for (xml::Node c = list.firstChild(); c; c = c.nextSibling())
        if (c.type() == xml::NodeType::Element && c.nodeName() == kLists[k][1]) out(c.text());
}

xml::Document loadStore() {
    const std::string path = storePath();
    xml::Document doc;
    if (!doc.load(path)) loadFailed(path, doc.parseError());
    return doc;
}

}  // namespace

std::optional<PageLists> readPageLists(const std::string& number) {
    xml::Document doc = loadStore();
    xml::Node record = findRecord(doc, number);
    if (!record) return std::nullopt;
    PageLists lists;
    std::vector<std::string>* out[2] = {&lists.temp, &lists.ref};
    for (int k = 0; k < 2; ++k) namesOfList(record, k, [&](const std::string& name) { out[k]->push_back(name); });
    return lists;
}

ListedFiles readListedFiles(const std::vector<std::string>* numbers) {
    xml::Document doc = loadStore();
    std::set<std::string> wanted;
    if (numbers) wanted.insert(numbers->begin(), numbers->end());
    ListedFiles files;
    std::set<std::string>* out[3] = {&files.temp, &files.ref, &files.sendXml};
    for (const xml::Node& r : recordsOf(doc)) {
        if (numbers) {
            // The first record of each number only.
            auto it = wanted.find(numberOf(r));
            if (it == wanted.end()) continue;
            wanted.erase(it);
        }
        for (int k = 0; k < 3; ++k) namesOfList(r, k, [&](const std::string& name) { out[k]->insert(name); });
    }
    return files;
}

bool writePageLists(const std::string& number, const PageLists& lists) {
    settings::LockedDocument store(storePath());
    if (!store.loaded()) loadFailed(store.path(), store.parseError());
    xml::Document& doc = store.document();
    xml::Node record = findRecord(doc, number);
    if (!record) return false;
    const std::vector<std::string>* in[2] = {&lists.temp, &lists.ref};
    for (int k = 0; k < 2; ++k) {
        xml::Node list = childNamed(record, kLists[k][0]);
        if (!list) continue;  // a record without the list keeps its shape
        while (xml::Node c = list.firstChild()) list.removeChild(c);
        for (const auto& name : *in[k]) list.appendChild(doc.createElement(kLists[k][1])).setText(name);
    }
    store.save();
    return true;
}

}  // namespace fg::documents
