// Undo snapshots and their depth, deep copies, and the automation's own
// exports.
#include "gesture_fixture.h"

namespace fg::annotation {
namespace {

class Undo : public GestureTest {
protected:
    void SetUp() override {
        GestureTest::SetUp();
        auto_ = create(ANN_AUTOMATION);
        K_AnnSetAutoContainer(auto_, root_);
        K_AnnSetTool(auto_, 2);
        ASSERT_EQ(K_AnnSetActiveState(auto_, 1), ANN_SUCCESS);
    }
    void TearDown() override {
        K_AnnDestroy(auto_, 0);
        GestureTest::TearDown();
    }
    std::size_t childCount() const {
        std::size_t n = 0;
        for (const AnnObject* c = record(root_).FirstChild; c; c = c->NextSibling) ++n;
        return n;
    }
    // One edit: a rectangle drawn with the mouse.
    void draw(int at) { host().drag({{at, at}, {at + 20, at + 20}}); }
    ANNHANDLE auto_ = 0;
};

TEST_F(Undo, EachUndoGoesOneSnapshotBackAsDeepAsAsked) {
    ASSERT_EQ(K_AnnSetUndoDepth(auto_, 3), ANN_SUCCESS);
    for (int i = 0; i < 4; ++i) draw(10 + 30 * i);
    ASSERT_EQ(childCount(), 4u);
    K_AnnSetForeColor(root_, 0x0000FF, 0);
    for (std::size_t expected : {3u, 2u, 1u, 1u}) {
        host().clearLog();
        EXPECT_EQ(K_AnnUndo(auto_), ANN_SUCCESS);
        EXPECT_EQ(childCount(), expected);
        EXPECT_EQ(record(root_).ForeColor, 0x0000FFu) << "the container keeps its own attributes";
        if (expected == 3) {
            // The objects that go are told, then those that come back.
            std::vector<std::uintptr_t> codes;
            for (const auto& n : host().notifications()) codes.push_back(n.first);
            EXPECT_EQ(codes, (std::vector<std::uintptr_t>{6, 6, 6, 6, 5, 5, 5}));
        }
    }
    // Restored objects belong to the window again and are drawn.
    settle();
    const AnnObject& back = *record(root_).FirstChild;
    EXPECT_EQ(back.Wnd, window());
    EXPECT_FALSE(back.VisibleRect.empty());

    // Depth 0 drops every snapshot.
    draw(200);
    ASSERT_EQ(K_AnnSetUndoDepth(auto_, 0), ANN_SUCCESS);
    EXPECT_EQ(K_AnnUndo(auto_), ANN_SUCCESS);
    EXPECT_EQ(childCount(), 2u);
}

TEST_F(Undo, RefusesWhatItCannotDoAndKeepsTheSnapshots) {
    ASSERT_EQ(K_AnnSetUndoDepth(auto_, 2), ANN_SUCCESS);
    draw(10);
    draw(50);
    const ANNHANDLE rect = create(ANN_RECTANGLE);
    EXPECT_EQ(K_AnnSetUndoDepth(auto_, -1), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnSetUndoDepth(rect, 2), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnSetUndoDepth(0, 2), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnUndo(rect), ANN_ERROR_INVALID_PARAMETER);
    K_AnnDestroy(rect, 0);

    // Without a container there is nowhere to restore to.
    K_AnnSetActiveState(auto_, 0);
    K_AnnSetAutoContainer(auto_, 0);
    EXPECT_EQ(K_AnnUndo(auto_), ANN_ERROR_INVALID_PARAMETER);
    K_AnnSetAutoContainer(auto_, root_);
    EXPECT_EQ(K_AnnUndo(auto_), ANN_SUCCESS);
    EXPECT_EQ(childCount(), 1u);
    EXPECT_EQ(K_AnnUndo(auto_), ANN_SUCCESS);
    EXPECT_EQ(childCount(), 0u);
    K_AnnSetActiveState(auto_, 1);

    // A snapshot that cannot be copied leaves the edit to go on without.
    desktop::setGlobalMemoryLimit(sizeof(AnnObject) - 1);
    draw(100);
    desktop::setGlobalMemoryLimit(SIZE_MAX);
    EXPECT_EQ(childCount(), 0u);
    EXPECT_EQ(K_AnnUndo(auto_), ANN_SUCCESS);
}

TEST_F(Undo, CopiesAreWholeTreesOfTheirOwn) {
    const ANNHANDLE line = points(root_, ANN_LINE, {{1, 2}, {3, 4}});
    const ANNHANDLE note = box(root_, ANN_NOTE, {10, 10, 50, 50});
    K_AnnSetText(note, "memo", 0);
    K_AnnSetSelected(line, 1, 0);
    ANNHANDLE copy = 0;
    ASSERT_EQ(K_AnnCopy(root_, &copy), ANN_SUCCESS);
    ANNHANDLE up = 1, first = 0;
    K_AnnGetContainer(copy, &up);
    EXPECT_EQ(up, 0u);
    ASSERT_EQ(K_AnnGetItem(copy, &first), ANN_SUCCESS);
    ASSERT_NE(first, line);
    expectPoints(pointsOf(first), {{1, 2}, {3, 4}});
    EXPECT_EQ(std::string(record(first).NextSibling->Text.view()), "memo");
    K_AnnDestroy(root_, 0);
    root_ = copy;  // the copy outlives its original
    expectPoints(pointsOf(first), {{1, 2}, {3, 4}});
    RECT r{};
    ASSERT_EQ(K_AnnGetSelectRect(copy, &r), ANN_SUCCESS);
    EXPECT_EQ((desktop::Rect{r.left, r.top, r.right, r.bottom}), record(first).BoundsRect);
    K_AnnSetSelected(copy, 0, ANN_FLAG_RECURSIVE);
    K_AnnGetSelectRect(copy, &r);
    EXPECT_EQ((desktop::Rect{r.left, r.top, r.right, r.bottom}), desktop::Rect{});
    EXPECT_EQ(K_AnnCopy(copy, nullptr), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnGetItem(0, &first), ANN_ERROR_INVALID_PARAMETER);

    // An automation object's copy has texts of its own, no snapshots and
    // no window: destroying it leaves the original running.
    K_AnnSetUndoDepth(auto_, 2);
    K_AnnSetAutoText(auto_, 0, "Undo");
    ANNHANDLE twin = 0;
    ASSERT_EQ(K_AnnCopy(auto_, &twin), ANN_SUCCESS);
    EXPECT_EQ(record(twin).UndoList, nullptr);
    EXPECT_EQ(record(twin).ActiveState, 0u);
    K_AnnSetAutoText(auto_, 0, "changed");
    char text[16] = {};
    ASSERT_EQ(K_AnnGetAutoText(twin, 0, text), ANN_SUCCESS);
    EXPECT_STREQ(text, "Undo");
    K_AnnDestroy(twin, 0);
    EXPECT_EQ(desktop::windowProc(window()), &K_AnnAutoWndProc);
}

TEST_F(Undo, TheAutomationsExportsCheckTheirArguments) {
    const ANNHANDLE rect = create(ANN_RECTANGLE);
    int32_t length = -1;
    char text[64] = {};
    EXPECT_EQ(K_AnnGetAutoTextLen(auto_, 67, &length), ANN_SUCCESS);
    EXPECT_EQ(length, int32_t(std::string("ｵｰﾃﾞｨｵ ﾌｧｲﾙ").size()));
    EXPECT_EQ(K_AnnSetAutoText(auto_, 70, nullptr), ANN_SUCCESS);
    EXPECT_EQ(K_AnnGetAutoText(auto_, 70, text), ANN_SUCCESS);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(K_AnnSetAutoText(auto_, 71, "x"), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnGetAutoText(auto_, 71, text), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnGetAutoText(auto_, 0, nullptr), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnGetAutoTextLen(rect, 0, &length), ANN_ERROR_INVALID_PARAMETER);
    desktop::setGlobalMemoryLimit(4);
    EXPECT_EQ(K_AnnSetAutoText(auto_, 1, "a longer text"), ANN_ERROR_NO_MEMORY);
    desktop::setGlobalMemoryLimit(SIZE_MAX);
    EXPECT_EQ(K_AnnGetAutoTextLen(auto_, 1, &length), ANN_SUCCESS);
    EXPECT_EQ(length, 0) << "the slot is empty";

    uint32_t tool = 0;
    EXPECT_EQ(K_AnnSetTool(auto_, 16), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnSetTool(rect, 1), ANN_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(K_AnnGetTool(auto_, &tool), ANN_SUCCESS);
    EXPECT_EQ(tool, 2u);
    EXPECT_EQ(K_AnnSetAutoContainer(rect, root_), ANN_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(K_AnnSetDpiX(auto_, NAN, 0), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnSetDpiY(rect, 96, 0), ANN_ERROR_NOT_SUPPORTED);
    double dpi = 0;
    EXPECT_EQ(K_AnnSetDpiY(auto_, 300, 0), ANN_SUCCESS);
    EXPECT_EQ(K_AnnGetDpiY(auto_, &dpi), ANN_SUCCESS);
    EXPECT_EQ(dpi, 300);
    int32_t enabled = 0;
    EXPECT_EQ(K_AnnGetAutoMenuEnable(auto_, &enabled), ANN_SUCCESS);
    EXPECT_EQ(enabled, 1);
    EXPECT_EQ(K_AnnSetAutoDrawEnable(0, 1), ANN_ERROR_INVALID_PARAMETER);
    K_AnnDestroy(rect, 0);
}

}  // namespace
}  // namespace fg::annotation
