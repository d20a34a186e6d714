#include "common/brevik/maker_information.h"

#include "common/brevik/maker_information_xml.h"
#include "common/brevik/program_path.h"
#include "common/brevik/save_locked.h"
#include "common/vantrel/edi_folder_information_object.h"
#include "platform/error.h"
#include "platform/text.h"

#include <exception>
#include <limits>

namespace fg {

namespace {

const char* const kSource = "MakerInformation";

std::string makersPath() {
    MakerInformationXML tags;
    return tags.Tag(0) + "/" + tags.Tag(1);
}

}  // namespace

MakerInformation::MakerInformation() {
    EdiFolderInformationObject folders;
    initialized_ = load(brevik::underProgramFolder(folders.getData("option")) + "maker.xml");
}

bool MakerInformation::load(const std::string& FileName) {
    path_ = FileName;
    return document_.load(FileName);
}

bool MakerInformation::save(std::string& strFile) {
    if (strFile.empty()) strFile = path_;
    return brevik::saveLocked(document_, strFile);
}

// Keys go into the query as quoted literals: a key holding an apostrophe,
// a quote or a bracket finds its maker instead of breaking the expression.
xml::NodeList MakerInformation::byKey(const std::string& key) const {
    return document_.selectNodes(makersPath() + "[@key=" + xml::xpathLiteral(key) + "]");
}

xml::NodeList MakerInformation::makers() const { return document_.selectNodes(makersPath()); }

bool MakerInformation::add(const MakerInformationRow& clsMaker) {
    if (text::trim(clsMaker.Key()).empty()) return false;
    if (!byKey(clsMaker.Key()).empty()) return false;
    xml::Document built;
    clsMaker.setDom(built.asNode());
    xml::Node maker = built.documentElement();
    xml::Node root = document_.selectSingleNode(MakerInformationXML().Tag(0));
    if (root.isNull() || maker.isNull()) throw Error::standard(errnum::ObjectNotSet, kSource);
    root.appendChild(maker);
    return true;
}

bool MakerInformation::edit(const MakerInformationRow& clsMaker) {
    xml::NodeList found = byKey(clsMaker.Key());
    if (found.empty()) return false;
    // The new element is made before the old one goes, and a row that could
    // not be added (a blank key) leaves the maker in place: an edit must not
    // end in a maker deleted and nothing put back. A second maker of the same
    // key, which only a hand-edited file holds, does not stop the edit either.
    if (text::trim(clsMaker.Key()).empty()) return false;
    xml::Document built;
    if (!clsMaker.setDom(built.asNode())) return false;
    xml::Node maker = built.documentElement();
    if (maker.isNull()) return false;
    xml::Node old = found.front();
    xml::Node root = old.parentNode();
    root.removeChild(old);
    root.appendChild(maker);
    return true;
}

bool MakerInformation::Delete(const std::string& strKey) {
    xml::NodeList found = byKey(strKey);
    if (found.empty()) return false;
    found.front().parentNode().removeChild(found.front());
    return true;
}

int16_t MakerInformation::Count() const {
    try {
        std::size_t n = makers().size();
        if (n > static_cast<std::size_t>(std::numeric_limits<int16_t>::max())) return 1;
        return static_cast<int16_t>(n);
    } catch (const std::exception&) {
        return 1;
    }
}

std::shared_ptr<MakerInformationRow> MakerInformation::Maker(const std::string& strKey) const {
    xml::NodeList found = byKey(strKey);
    auto row = std::make_shared<MakerInformationRow>();
    if (!row->getDom(found.empty() ? xml::Node() : found.front())) return nullptr;
    return row;
}

std::shared_ptr<MakerInformationRow> MakerInformation::MakerIndex(int16_t intIdx) {
    xml::NodeList all = makers();
    xml::Node node;
    if (intIdx >= 0 && static_cast<std::size_t>(intIdx) < all.size()) node = all[static_cast<std::size_t>(intIdx)];
    if (!shared_) shared_ = std::make_shared<MakerInformationRow>();
    shared_->getDom(node);
    return shared_;
}

}  // namespace fg
