// The grid: signed bounds that keep their cells, find under each comparison
// and type, and a stable sort on keys.
#include "edi_transport/xarray_db.h"

#include "platform/error.h"

#include <gtest/gtest.h>

namespace fg {
namespace {

TEST(XArrayDBTest, SignedBoundsAndRedimKeepTheCellsInside) {
    XArrayDB g(0, 2, -1, 1);
    EXPECT_EQ(g.count(1), 3);
    EXPECT_EQ(g.lowerBound(2), -1);
    for (int r = 0; r <= 2; ++r)
        for (int c = -1; c <= 1; ++c) g.setValue(r, c, std::to_string(r) + ":" + std::to_string(c));
    g.redim(0, 9999, -1, 1);  // rows only
    EXPECT_EQ(g.value(2, -1).toText(), "2:-1");
    EXPECT_TRUE(g.value(9999, 1).isEmpty());
    g.redim(-1, 1, 0, 3);  // both
    EXPECT_EQ(g.value(1, 1).toText(), "1:1");
    EXPECT_TRUE(g.value(-1, 0).isEmpty());
    EXPECT_TRUE(g.value(0, 3).isEmpty());
    g.redim(-1, -2, 0, 3);  // no rows
    EXPECT_EQ(g.count(1), 0);
    EXPECT_EQ(g.find(0, 0, "x"), -2);
    EXPECT_THROW(g.value(0, 0), Error);
    EXPECT_THROW(g.redim(0, -5, 0, 0), Error);
    EXPECT_THROW(g.lowerBound(3), Error);
}

TEST(XArrayDBTest, FindUnderEachComparisonAndType) {
    XArrayDB g(0, 5, 0, 0);
    const char* cells[] = {"B", "a", "2024/01/31", "10", "9", ""};
    for (int r = 0; r < 6; ++r) g.setValue(r, 0, std::string(cells[r]));
    struct Case {
        int start;
        Variant value;
        long direction, comparison, type;
        int row;
    } cases[] = {
        {0, "a", 0, 1, 0, 1},
        {0, "A", 0, 1, 0, -1},  // text is case-sensitive
        {0, "A", 0, 1, 1, 1},   // unless asked otherwise
        {2, "B", 0, 1, 0, -1},  // from the start row on
        {5, "B", 1, 1, 0, 0},   // backwards
        {0, 9.5, 0, 4, 2, 3},   // numbers: 10 > 9.5; text cells are passed over
        {0, 10, 0, 2, 2, 4},
        {0, "2024-01-30", 0, 5, 4, 2},
        {0, "2024/02/01", 0, 5, 4, -1},
        {0, 20240131, 0, 3, 7, 2},
        {0, 20240130, 0, 3, 7, -1},
        {0, "B", 0, 6, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << " " << c.comparison << " " << c.type);
        EXPECT_EQ(g.find(c.start, 0, c.value, c.direction, c.comparison, c.type), c.row);
    }
    EXPECT_THROW(g.find(0, 0, "a", 0, 9, 0), Error);
    EXPECT_THROW(g.find(0, 0, "a", 0, 1, 3), Error);
    EXPECT_THROW(g.find(0, 1, "a"), Error);
    EXPECT_FALSE(XArrayDB::dayNumber(Variant("2023/02/29")));
    EXPECT_EQ(*XArrayDB::dayNumber(Variant("1970/01/02")), 1);
}

TEST(XArrayDBTest, SortIsStableOnItsKeysAndMovesWholeRows) {
    XArrayDB g(1, 5, -1, 1);
    const char* keys[] = {"b", "a", "b", "c", "a"};
    for (int r = 1; r <= 5; ++r) {
        g.setValue(r, -1, std::to_string(r));
        g.setValue(r, 0, std::string(keys[r - 1]));
        g.setValue(r, 1, static_cast<double>(6 - r));
    }
    g.quickSort(1, 5, {{0, 0, 0}});
    std::string order;
    for (int r = 1; r <= 5; ++r) order += g.value(r, -1).toText();
    EXPECT_EQ(order, "25134");
    g.quickSort(1, 5, {{0, 1, 0}, {1, 0, 2}});
    order.clear();
    for (int r = 1; r <= 5; ++r) order += g.value(r, -1).toText();
    EXPECT_EQ(order, "43152");
    g.quickSort(2, 3, {{-1, 0, 2}});  // a part of the rows only
    EXPECT_EQ(g.value(2, -1).toText(), "1");
    EXPECT_THROW(g.quickSort(1, 5, {{0, 0, 99}}), Error);
}

}  // namespace
}  // namespace fg
