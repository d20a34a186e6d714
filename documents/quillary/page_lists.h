// The page lists of a management record (FAXTempImageFileNames and
// FAXRefImageFileNames), read and replaced whole. The page pipeline appends
// the pages it renders; a document laid out and rendered again must end with
// its new pages only, not with the old and the new set one after the other.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fg::documents {

struct PageLists {
    std::vector<std::string> temp;  // the G3 pages sent
    std::vector<std::string> ref;   // their reference copies
};

// The lists of the first record of the number; nullopt when there is no
// such record. Raises fg::Error when the store cannot be read.
std::optional<PageLists> readPageLists(const std::string& number);
// Replaces both lists of the first record of the number, under the store's
// lock. False when there is no such record. Raises fg::Error when the store
// cannot be read or saved.
bool writePageLists(const std::string& number, const PageLists& lists);

// Every file name that records list: the pages, their reference copies and
// the fax documents (FAXSendXMLFileNames).
struct ListedFiles {
    std::set<std::string> temp, ref, sendXml;
};
// Those of the first record of each number (a number without a record
// lists none), or, without numbers, of every record of the store. Raises
// fg::Error when the store cannot be read.
ListedFiles readListedFiles(const std::vector<std::string>* numbers = nullptr);

}  // namespace fg::documents
