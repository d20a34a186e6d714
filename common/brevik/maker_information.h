// The client's maker list, maker.xml in the option folder: load, save, add,
// edit, delete, count and look up makers by key or by position. Changes stay
// in memory until save.
#pragma once

#include "common/brevik/maker_information_row.h"
#include "platform/xml.h"

#include <cstdint>
#include <memory>
#include <string>

namespace fg {

class MakerInformation {
public:
    // Finds the option folder through folder.xml (its errors pass to the
    // caller) and loads maker.xml from it. A missing or malformed maker.xml
    // is no error: Initialize answers False and the list is empty.
    MakerInformation();

    // The result of the load made at creation.
    bool Initialize() const { return initialized_; }
    // Loads another maker file and remembers it for save; False when it does
    // not load (the list is then empty).
    bool load(const std::string& FileName);
    // Writes the list to strFile, or to the remembered file when strFile is
    // empty (strFile then holds that path). Under the file's lock and
    // atomic. False on any failure, and when the list never loaded.
    bool save(std::string& strFile);

    // Appends the row as a new maker. False for a key that is empty or only
    // spaces, or that a maker already has. Raises 91 when the list has no
    // Makers element.
    bool add(const MakerInformationRow& clsMaker);
    // Replaces the maker of the row's key, which moves to the end of the
    // list. False when no maker has that key, or the row could not be added.
    bool edit(const MakerInformationRow& clsMaker);
    // Removes the first maker of that key; False when there is none.
    // (The given name is a reserved word here.)
    bool Delete(const std::string& strKey);
    int16_t Count() const;
    // A new row of the maker of that key, or null when there is none or its
    // element is incomplete.
    std::shared_ptr<MakerInformationRow> Maker(const std::string& strKey) const;
    // The one shared row, refilled from the maker at that position (from 0);
    // a position out of range leaves it as it was.
    std::shared_ptr<MakerInformationRow> MakerIndex(int16_t intIdx);

private:
    xml::NodeList byKey(const std::string& key) const;
    xml::NodeList makers() const;

    xml::Document document_;
    std::string path_;
    bool initialized_ = false;
    std::shared_ptr<MakerInformationRow> shared_;
};

}  // namespace fg
