// The timing settings of the schedule programs in Schedule.xml (folder key
// "Schedule"):
//
//   <Schedule>
//     <EDISessionInterval mode>  <Interval>n</Interval>  <Time attr>text</Time> x5
//     </EDISessionInterval>
//     <MakerInfoInterval/> <UrgeDataInterval/> <ReceiveInterval/>
//     <MakerTimeSet/> <UrgeTimeSet/>
//   </Schedule>
//
// The five plain values travel through the properties (GetScheduleInfo reads
// them, updateSchedule writes them back by position 1 to 5); the EDI exchange
// settings are read straight from the file. Units and meanings belong to the
// schedule programs and pass through unchanged.
#pragma once

#include "platform/values.h"

#include <array>
#include <cstdint>
#include <string>

namespace fg {

// Five rows of (first attribute of a Time element, its text).
using ScheduleTimes = std::array<std::array<Variant, 2>, 5>;

class schedule {
public:
    static constexpr const char* kFileName = "Schedule.xml";

    // Writes the five plain values into positions 1 to 5 of every Schedule
    // element, under the file's lock. EDISessionInterval (position 0) is left
    // as it is: its mode, interval and times live in its attribute and
    // children. A file that does not load, or holds no Schedule, is not
    // saved over. False with 40102 logged on any failure.
    [[nodiscard]] bool updateSchedule();
    // Reads the five plain values. False with 40101 logged when the file does
    // not load; False unlogged (traced) when no Schedule element exists or a
    // value is no 32-bit number, with the values read so far kept.
    [[nodiscard]] bool GetScheduleInfo();
    // The first attribute of EDISessionInterval; "0" on any failure (40101
    // logged under "getEDIScheduleMode").
    std::string getEDIScheduleMode();
    // The Interval of EDISessionInterval; 99 on any failure (40101 logged
    // under "getInterval").
    std::int16_t getInterval();
    // The five Time pairs; False on any failure (40101 logged under
    // "getTime") with the rows read so far filled and the others Empty.
    [[nodiscard]] bool getTime(ScheduleTimes& strTime);

    std::int32_t mGetMakerInfoInterval() const { return makerInfoInterval_; }
    void setMGetMakerInfoInterval(std::int32_t v) { makerInfoInterval_ = v; }
    std::int32_t mGetUrgeDataInterval() const { return urgeDataInterval_; }
    void setMGetUrgeDataInterval(std::int32_t v) { urgeDataInterval_ = v; }
    std::int32_t mGetReceiveInterval() const { return receiveInterval_; }
    void setMGetReceiveInterval(std::int32_t v) { receiveInterval_ = v; }
    // Not read from the file and not written to it.
    std::int32_t mEDISessionInterval() const { return ediSessionInterval_; }
    void setMEDISessionInterval(std::int32_t v) { ediSessionInterval_ = v; }
    std::int32_t mGetMakerTimeSet() const { return makerTimeSet_; }
    void setMGetMakerTimeSet(std::int32_t v) { makerTimeSet_ = v; }
    std::int32_t mGetUrgeTimeSet() const { return urgeTimeSet_; }
    void setMGetUrgeTimeSet(std::int32_t v) { urgeTimeSet_ = v; }

    // The folder the last reading member (or updateSchedule) looked up.
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
    std::int32_t ediSessionInterval_ = 0;
    std::int32_t makerInfoInterval_ = 0;
    std::int32_t urgeDataInterval_ = 0;
    std::int32_t receiveInterval_ = 0;
    std::int32_t makerTimeSet_ = 0;
    std::int32_t urgeTimeSet_ = 0;
};

}  // namespace fg
