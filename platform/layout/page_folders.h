// The page files of a folder, found by layout without reading the folder.
//
// The reference copies and G3 pages of every document ever sent stay in two
// folders; reading a whole folder to find one layout's few pages made each
// document cost as much as the years kept beside it. So a process that asks
// about a folder again reads it once more, keeps its page-like names
// ("<layout>_<digits><extension>") by the layout part, and from then on
// learns each change of the folder from the kernel's change notices (a file
// made, removed, renamed in or out), read before every answer: whatever was
// done to the folder before the question, by this process or any other, is
// in the answer. When the notices overflow the folder is read again; a
// folder the kernel cannot watch (no notices to be had, or a file system
// whose every change it does not see: FolderWatch::toldOfEveryChange) is
// read whole at every question.
#pragma once

#include <string>
#include <vector>

namespace fg::layout {

// The names (extension included, as spelt in the folder) of the entries of
// `folder` (its path as spelt on the disk, fs::resolve's) whose name, without its last "_" and what follows it, is
// `layoutPart` without regard to ASCII case, and whose rest is "_", at
// least three digits and anything not a digit. Entries beginning with "."
// are never answered; neither is anything when the folder is missing. In
// no particular order; the caller checks each name, and its kind, itself.
std::vector<std::string> entriesOfLayout(const std::string& folder, const std::string& layoutPart);

// How many folders this process keeps by change notices (0 when it reads
// them whole at every question).
std::size_t watchedPageFoldersForTest();

}  // namespace fg::layout
