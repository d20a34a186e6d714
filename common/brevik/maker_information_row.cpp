#include "common/brevik/maker_information_row.h"

#include "common/brevik/maker_information_xml.h"
#include "common/vantrel/information_code.h"
#include "platform/error.h"
#include "platform/values.h"

#include <exception>

namespace fg {

namespace {

enum Tags : int32_t { kMaker = 1, kServerCode, kName, kThinName, kViewNumber, kUrl, kBehaviores = 8, kBehavior };

}  // namespace

MakerInformationRow::MakerInformationRow() {
    InformationCode codes;
    for (std::size_t i = 1; i <= codes.List().count(); ++i) codes_.push_back(codes.List().item(i));
    behaviores_.assign(codes_.size(), CLIENT);
}

std::size_t MakerInformationRow::indexOf(const std::string& code) const {
    for (std::size_t i = 0; i < codes_.size(); ++i)
        if (codes_[i] == code) return i;
    throw Error(errnum::ClientClassError, "Property Err", "MakerInformationRow");
}

ENUM_BEHAVIOR MakerInformationRow::Behavior(const std::string& Code) const { return behaviores_[indexOf(Code)]; }

void MakerInformationRow::setBehavior(const std::string& Code, ENUM_BEHAVIOR value) {
    behaviores_[indexOf(Code)] = value;
}

bool MakerInformationRow::getDom(const xml::Node& domReadbuff) {
    try {
        MakerInformationXML tags;
        if (domReadbuff.isNull() || !domReadbuff.hasAttribute("key")) return false;
        key_ = domReadbuff.getAttribute("key");
        auto child = [&](int32_t tag) {
            xml::Node n = domReadbuff.selectSingleNode(tags.Tag(tag));
            if (n.isNull()) throw Error::standard(errnum::ObjectNotSet);
            return n.text();
        };
        serverCode_ = child(kServerCode);
        name_ = child(kName);
        thinName_ = child(kThinName);
        viewNumber_ = toInt16(child(kViewNumber));
        url_ = child(kUrl);
        for (std::size_t i = 0; i < codes_.size(); ++i) {
            // The code goes in unquoted, so the attribute compares as a number:
            // a file that writes 301 for "0301" still matches.
            xml::Node b = domReadbuff.selectSingleNode(tags.Tag(kBehaviores) + "/" + tags.Tag(kBehavior) +
                                                       "[@code=" + codes_[i] + "]");
            if (b.isNull()) return false;
            std::string t = b.text();
            behaviores_[i] = t == "LUMP" ? LUMP : CLIENT;
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool MakerInformationRow::setDom(const xml::Node& domBuff) const {
    try {
        MakerInformationXML tags;
        xml::Document factory;
        xml::Node parent = domBuff;
        parent.appendChild(factory.createElement(tags.Tag(kMaker)));
        xml::Node maker = parent.selectSingleNode(tags.Tag(kMaker));
        if (maker.isNull()) return false;
        maker.setAttribute("key", "");
        for (int32_t tag : {kServerCode, kName, kThinName, kViewNumber, kUrl, kBehaviores})
            maker.appendChild(factory.createElement(tags.Tag(tag)));
        xml::Node behaviores = maker.selectSingleNode(tags.Tag(kBehaviores));
        for (const std::string& code : codes_)
            behaviores.appendChild(factory.createElement(tags.Tag(kBehavior))).setAttribute("code", code);

        maker.setAttribute("key", key_);
        maker.selectSingleNode(tags.Tag(kServerCode)).setText(serverCode_);
        maker.selectSingleNode(tags.Tag(kName)).setText(name_);
        maker.selectSingleNode(tags.Tag(kThinName)).setText(thinName_);
        maker.selectSingleNode(tags.Tag(kViewNumber)).setText(fromNumber(static_cast<long long>(viewNumber_)));
        maker.selectSingleNode(tags.Tag(kUrl)).setText(url_);
        for (std::size_t i = 0; i < codes_.size(); ++i) {
            xml::Node b = maker.selectSingleNode(tags.Tag(kBehaviores) + "/" + tags.Tag(kBehavior) + "[@code=" +
                                                 xml::xpathLiteral(codes_[i]) + "]");
            if (b.isNull()) return false;
            const ENUM_BEHAVIOR v = behaviores_[i];
            b.setText(v == CLIENT ? "CLIENT" : v == LUMP ? "LUMP" : "");
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace fg
