// A date range held as two "yyyy/mm/dd" texts; an empty text is an open
// bound.
#pragma once

#include "platform/values.h"

#include <string>

namespace fg {

class DateExtentObject {
public:
    // Store the value as "yyyy/mm/dd" and answer True when it is a date
    // text ("2000/04/01", "2000-4-1", "2000.04.01", "2000年4月1日", each with
    // or without a time of day); otherwise clear the bound and answer False.
    // Null, empty, numbers and Booleans are no dates. Never raises.
    bool SetStartExtent(const Variant& StartDate);
    bool SetEndExtent(const Variant& EndDate);

    std::string StartExtent() const { return start_; }
    std::string EndExtent() const { return end_; }

    // True when either bound is open or the end is on or after the start.
    bool LessCheck() const;

private:
    static bool assign(const Variant& value, std::string& bound);

    std::string start_;
    std::string end_;
};

}  // namespace fg
