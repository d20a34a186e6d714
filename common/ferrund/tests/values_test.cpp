#include "common/ferrund/date_extent_object.h"
#include "common/ferrund/language_object.h"

#include <gtest/gtest.h>

#include <string>

namespace fg {
namespace {

TEST(LanguageObject, ModeAndItsName) {
    LanguageObject language;
    EXPECT_EQ(language.Mode(), NO_SET);
    const std::pair<int, const char*> cases[] = {
        {NO_SET, "No Setting"}, {JP, "Japanese"}, {US, "English"}, {7, "Err"}, {-1, "Err"}};
    for (const auto& [mode, name] : cases) {
        language.setMode(static_cast<E_LANGUAGE>(mode));
        EXPECT_EQ(language.Mode(), mode);  // stored unchecked
        EXPECT_EQ(language.toString(), name) << mode;
    }
}

TEST(DateExtentObject, AcceptsDateTextsAndStoresThemOneWay) {
    const std::pair<Variant, std::string> cases[] = {
        {"2000/04/01", "2000/04/01"},
        {"2000-04-01", "2000/04/01"},
        {"2000/4/1", "2000/04/01"},
        {"2000.4.1", "2000/04/01"},
        {" 2000/04/01 ", "2000/04/01"},
        {"2000/04/01 12:34", "2000/04/01"},
        {"2000/04/01 23:59:59", "2000/04/01"},
        {"2000-04-01T08:00:00", "2000/04/01"},
        {"2000年4月1日", "2000/04/01"},
        {"2000年04月01日 9:05", "2000/04/01"},
        {"2000/02/29", "2000/02/29"},  // a leap year
        {"9999/12/31", "9999/12/31"},
    };
    for (const auto& [value, stored] : cases) {
        DateExtentObject range;
        EXPECT_TRUE(range.SetStartExtent(value)) << value.toText();
        EXPECT_EQ(range.StartExtent(), stored) << value.toText();
        EXPECT_TRUE(range.SetEndExtent(value)) << value.toText();
        EXPECT_EQ(range.EndExtent(), stored) << value.toText();
    }
}

TEST(DateExtentObject, RefusesWhatIsNoDateAndClearsTheBound) {
    const Variant cases[] = {
        Variant(Variant::Null{}), Variant(), "", "abc", "   ",
        "2000/13/01", "2000/02/30", "1999/02/29", "2000/04/31", "2000/00/10", "2000/01/00",
        "2000/04/01x", "2000/04-01", "2000//04/01", "00/04/01", "20000/04/01", "2000/004/01",
        "2000/04/01 25:00", "2000/04/01 12:60", "2000/04/01 12", "12:00", "20000401",
        "0099/01/01", "2000年4月1", Variant(36617), Variant(true),
    };
    for (const auto& value : cases) {
        DateExtentObject range;
        ASSERT_TRUE(range.SetStartExtent("2000/01/01"));
        ASSERT_TRUE(range.SetEndExtent("2000/12/31"));
        EXPECT_FALSE(range.SetStartExtent(value));
        EXPECT_EQ(range.StartExtent(), "");
        EXPECT_FALSE(range.SetEndExtent(value));
        EXPECT_EQ(range.EndExtent(), "");
    }
}

TEST(DateExtentObject, LessCheckWantsTheEndOnOrAfterTheStart) {
    struct Case {
        const char* start;
        const char* end;
        bool forward;
    } cases[] = {
        {"2000/04/01", "2000/04/01", true},  {"2000/04/01", "2000/03/31", false},
        {"2000/04/01", "2000/4/2", true},    {"1999/12/31", "2000/01/01", true},
        {"2000/10/01", "2000/9/30", false},  // compared as dates, whatever the input's spelling
        {"", "2000/03/31", true},            {"2000/04/01", "", true},
        {"", "", true},
    };
    for (const auto& c : cases) {
        DateExtentObject range;
        range.SetStartExtent(c.start);
        range.SetEndExtent(c.end);
        EXPECT_EQ(range.LessCheck(), c.forward) << c.start << " .. " << c.end;
    }
    DateExtentObject fresh;
    EXPECT_TRUE(fresh.LessCheck());
}

}  // namespace
}  // namespace fg
