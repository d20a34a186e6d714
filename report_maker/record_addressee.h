// What a layout shows of a management record, for the callers that hold the
// records of their documents in hand (FaxReportMaker::setAddresseeLookup).
#pragma once

#include "report_maker/fax_report_maker.h"
#include "settings/manage_records.h"

namespace fg {

FaxReportMaker::Addressee addresseeOf(const ManageRecord& record);

}  // namespace fg
