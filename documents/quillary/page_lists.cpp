#include "documents/quillary/page_lists.h"

#include "platform/error.h"
#include "platform/folder_path_info.h"
#include "platform/xml.h"
#include "settings/fax_manage_num.h"
#include "settings/locked_document.h"

namespace fg::documents {

namespace {

constexpr const char* kLists[2][2] = {{"FAXTempImageFileNames", "FAXTempImageFileName"},
                                      {"FAXRefImageFileNames", "FAXRefImageFileName"}};

std::string storePath() { return FolderPathInfo().getFolderPath("FaxManageNum") + FaxManageNum::kFileName; }

xml::Node childNamed(const xml::Node& parent, const std::string& name) {
    for (xml::Node c = parent.firstChild(); c; c = c.nextSibling())
        if (c.type() == xml::NodeType::Element && c.nodeName() == name) return c;
    return {};
}

xml::Node findRecord(const xml::Document& doc, const std::string& number) {
    for (const xml::Node& root : doc.getElementsByTagName("FAXManageNums"))
        for (xml::Node r = root.firstChild(); r; r = r.nextSibling()) {
            if (r.type() != xml::NodeType::Element || r.nodeName() != "FAXManageNum") continue;
            xml::Node no = childNamed(r, "RepManageNo");
            if (no && no.text() == number) return r;
        }
    return {};
}

void loadFailed(const std::string& path, const xml::ParseError& error) {
    throw Error(errnum::PathFileAccessError, "管理番号ファイルを読めません。" + path + " " + error.reason, "FaxTranXml");
}

}  // namespace

std::optional<PageLists> readPageLists(const std::string& number) {
    const std::string path = storePath();
    xml::Document doc;
    if (!doc.load(path)) loadFailed(path, doc.parseError());
    xml::Node record = findRecord(doc, number);
    if (!record) return std::nullopt;
    PageLists lists;
    std::vector<std::string>* out[2] = {&lists.temp, &lists.ref};
    for (int k = 0; k < 2; ++k) {
        xml::Node list = childNamed(record, kLists[k][0]);
        if (!list) continue;
        for (xml::Node c = list.firstChild(); c; c = c.nextSibling())
            if (c.type() == xml::NodeType::Element && c.nodeName() == kLists[k][1]) out[k]->push_back(c.text());
    }
    return lists;
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
