// The re-send of a stored fax: the pages of a management number are made
// again from their reference copies and sent to the number's fax again. The
// record is not changed: the page step that first made the fax recorded the
// same names as G3 pages and as reference copies, so the rebuilt G3 pages
// are those the server sends for the number, and no second copy is kept.
//
// Each page is rebuilt as a square bitmap of 1728 x 1728 pels, which the G3
// coding stretches over the whole fax page: the copy is fitted inside it
// keeping its proportions on that paper (white around it, never squashed),
// and a page laid out wide is turned a quarter counter-clockwise, as it was
// when first sent. Pages of the upright titles are never turned; nor are the
// copies of the test fax and the OCR answer forms, which were kept as sent,
// already in the fax page shape.
#pragma once

#include "jobs/fax_job.h"
#include "platform/imaging/imaging_control.h"

#include <string>

namespace fg::jobs {

class ResendStoredFax : public FaxJob {
public:
    static constexpr const char* kProgram = "corvina";
    // The side of the rebuilt page bitmap, in pels.
    static constexpr int kSide = 1728;

    explicit ResendStoredFax(EventPump& pump);

    // The management number of the fax to send again.
    const std::string& strRepManageNo() const { return number_; }
    void setStrRepManageNo(const std::string& number) { number_ = number; }

    // 40503 when the number is not on record (or its record lists no page),
    // 40504 when a page could not be rebuilt, shaped, coded or its bitmap
    // deleted, 40505 when the server refused the number.
    bool blnSendFax() override;

    // Whether the pages of a title are turned when rebuilt from their copies.
    static bool turnsPages(const std::string& title);

private:
    // Fits the page bitmap into the fax square and turns it when asked.
    void shapePage(const std::string& page, bool turn);

    std::string number_;
    image::ImagingControl imaging_;
};

}  // namespace fg::jobs
