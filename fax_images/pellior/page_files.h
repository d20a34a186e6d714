// What the page image classes share: the folders of their keys, names that
// are safe to join to them, the errors they log, and the shape of a fax page.
#pragma once

#include "platform/error.h"
#include "platform/error_log.h"
#include "platform/image/image.h"

#include <string>
#include <utility>
#include <vector>

namespace fg::image {
class ImagingControl;
}

namespace fg::pellior {

// The folder of a key, ending with "/", asked for at every call as the
// folder map may change under a running server. Raises the map's error.
std::string folder(const char* key);

// Page and layout names come from management records and callers that a
// person may have edited; they are joined to folder paths, so only plain
// names pass. Raises fg::Error 52 otherwise.
void checkPlainName(const std::string& name);

// Removes a file; raises fg::Error 53 when there is none, 75 when it stays.
void deleteFile(const std::string& path);

// The error behind a non-zero status of the imaging control or the
// fax-modem control, with the status as its number.
Error statusError(long status, const std::string& what, const Error* underlying = nullptr);
// Raises the error behind a non-zero status of the imaging control.
void checkImaging(short status, const image::ImagingControl& control, const std::string& what);

// Writes an error to the error log under `source`; never throws.
using fg::logError;

// The report titles whose forms are laid out upright and go out as they
// stand; every other title's pages are laid out wide and turned.
bool uprightTitle(const std::string& title);

// The resolution (pels per metre across and down) of the pels of a page
// bitmap of `width` x `height` pels as they reach paper: changeG3File
// stretches every bitmap over the whole fax page, 215 mm across and 297 mm
// down, whatever its shape. A picture fitted into such a bitmap with these
// pels keeps its proportions on the fax.
std::pair<int, int> faxPaperResolution(int width, int height);

// The page picture in the fax page shape of its report title: upright
// pages fitted inside 1200 x 1728 pels, wide ones inside 1728 x 1200 and
// turned a quarter counter-clockwise, so that both end 1200 pels wide and
// 1728 high: the page the fax engine stretches to a fine A4 fax page (1728
// pels over 215 mm, 2291 lines over 297 mm), with 5 mm of white on every
// edge of that paper, which receivers do not print. The picture keeps its
// proportions on that paper and thin strokes stay dark
// (image::Resample::KeepStrokes); a page whose orientation is not the one
// its title asks for is logged under `source`, fitted all the same, never
// squashed. Raises fg::Error for an empty picture.
image::Image shapeForFax(const image::Image& page, const std::string& title, const std::string& pageName,
                         const std::string& source);

// The names for `count` new pages of layout `layout`: the layout name, "_"
// and the page number, numbered on after the highest page of that layout
// that has a reference copy or a G3 page already, so that a document laid
// out again never overwrites the pages of an earlier send.
std::vector<std::string> freshPageNames(const std::string& layout, std::size_t count);

}  // namespace fg::pellior
