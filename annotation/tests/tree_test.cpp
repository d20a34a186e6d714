// The tree: insertion and removal with their notifications, destruction,
// z-order, enumeration, and hosts whose handlers change the tree.
#include "annotation/tree.h"
#include "engine_fixture.h"
#include "platform/testing/desktop_host.h"

#include <functional>
#include <string>
#include <utility>

namespace fg::annotation {
namespace {

using Notes = std::vector<std::pair<uintptr_t, ANNHANDLE>>;

class Tree : public EngineTest {
protected:
    // The notifications the host got since the last call.
    Notes notes() {
        Notes out;
        for (const desktop::Message& m : host_->messages(ANN_NOTIFY_MESSAGE))
            out.emplace_back(m.wParam, static_cast<ANNHANDLE>(m.lParam));
        host_->clearLog();
        return out;
    }
    void SetUp() override {
        EngineTest::SetUp();
        host_ = std::make_unique<testing::HostWindow>();
    }
    void TearDown() override {
        host_.reset();
        EngineTest::TearDown();
    }
    desktop::WindowHandle window() const { return host_->handle(); }
    // The kinds of the children, in order, as a string of numbers.
    static std::string children(ANNHANDLE container) {
        std::string out;
        for (const AnnObject* c = record(container).FirstChild; c; c = c->NextSibling) {
            if (!out.empty()) out += ' ';
            out += std::to_string(c->Tag);
        }
        return out;
    }
    static ANNHANDLE tagged(ANNHANDLE in, uint32_t kind, uint32_t tag) {
        ANNHANDLE h = 0;
        EXPECT_EQ(K_AnnCreateItem(in, kind, 1, &h), ANN_SUCCESS);
        K_AnnSetTag(h, tag, 0);
        return h;
    }

    std::unique_ptr<testing::HostWindow> host_;
};

TEST_F(Tree, InsertAppendsInFrontAndHandsDownWindowAndMode) {
    const ANNHANDLE root = container(window(), {0, 0, 400, 300});
    K_AnnSetUserMode(root, ANN_MODE_RUN);
    const ANNHANDLE a = tagged(root, ANN_RECTANGLE, 1), b = tagged(root, ANN_RECTANGLE, 2);
    EXPECT_EQ(children(root), "1 2");
    ANNHANDLE group = create(ANN_CONTAINER), inner = create(ANN_ELLIPSE);
    ASSERT_EQ(K_AnnInsert(group, inner, 0), ANN_SUCCESS);
    K_AnnSetTag(group, 3, 0);
    ASSERT_EQ(K_AnnInsert(root, group, 0), ANN_SUCCESS);
    EXPECT_EQ(children(root), "1 2 3");
    ANNWND w = 0;
    uint32_t mode = 0;
    ANNHANDLE up = 0;
    K_AnnGetWnd(inner, &w);
    K_AnnGetUserMode(inner, &mode);
    EXPECT_EQ(w, window());
    EXPECT_EQ(mode, uint32_t(ANN_MODE_RUN));
    EXPECT_EQ(containerOf(inner), group);
    EXPECT_EQ(containerOf(root), 0u);
    K_AnnGetTopContainer(inner, &up);
    EXPECT_EQ(up, root);
    K_AnnGetTopContainer(root, &up);
    EXPECT_EQ(up, root);
    // Moving an object from one container to another.
    ASSERT_EQ(K_AnnInsert(group, a, 0), ANN_SUCCESS);
    EXPECT_EQ(children(root), "2 3");
    EXPECT_EQ(containerOf(a), group);
    (void)b;
    K_AnnDestroy(root, 0);
}

TEST_F(Tree, NotificationsGoOutForTheObjectAndEachDescendantInOrder) {
    const ANNHANDLE root = container(window(), {0, 0, 400, 300});
    const ANNHANDLE first = tagged(root, ANN_RECTANGLE, 1);
    notes();
    // A group made outside any window: it has none until it is inserted.
    const ANNHANDLE group = create(ANN_CONTAINER), g1 = create(ANN_LINE), g2 = create(ANN_CONTAINER),
                    g21 = create(ANN_NOTE);
    ASSERT_EQ(K_AnnInsert(group, g1, 0), ANN_SUCCESS);
    ASSERT_EQ(K_AnnInsert(group, g2, 0), ANN_SUCCESS);
    ASSERT_EQ(K_AnnInsert(g2, g21, 0), ANN_SUCCESS);
    EXPECT_TRUE(notes().empty());

    ASSERT_EQ(K_AnnInsert(root, group, 0), ANN_SUCCESS);
    EXPECT_EQ(notes(), (Notes{{5, group}, {5, g1}, {5, g2}, {5, g21}}));
    ASSERT_EQ(K_AnnRemove(group), ANN_SUCCESS);
    EXPECT_EQ(notes(), (Notes{{6, group}, {6, g1}, {6, g2}, {6, g21}}));
    ANNWND w = 0;
    K_AnnGetWnd(group, &w);
    EXPECT_EQ(w, window());  // a removed object keeps its window
    EXPECT_EQ(K_AnnRemove(group), ANN_SUCCESS);  // a root: nothing
    EXPECT_TRUE(notes().empty());

    // Inserting where it already is: out and in again.
    ASSERT_EQ(K_AnnInsert(root, group, 0), ANN_SUCCESS);
    notes();
    ASSERT_EQ(K_AnnInsert(root, first, 0), ANN_SUCCESS);
    EXPECT_EQ(notes(), (Notes{{6, first}, {5, first}}));

    // Destruction: children first, each removal told as it happens.
    ASSERT_EQ(K_AnnDestroy(root, 0), ANN_SUCCESS);
    EXPECT_EQ(notes(), (Notes{{6, g1}, {6, g21}, {6, g2}, {6, group}, {6, first}}));
}

// Kept as it is: the removal updates the bounds while the object is still
// in its container, so a removed object keeps the place it had there until
// its next change.
TEST_F(Tree, ARemovedObjectKeepsItsBoundsUntilItsNextChange) {
    const ANNHANDLE root = container(window(), {100, 100, 400, 300});
    const ANNHANDLE r = box(root, ANN_RECTANGLE, {10, 10, 20, 20});
    const desktop::Rect inside = bounds(r);
    EXPECT_EQ(inside.left, 109);
    ASSERT_EQ(K_AnnRemove(r), ANN_SUCCESS);
    EXPECT_EQ(bounds(r), inside);
    K_AnnSetLineWidth(r, 1, 0);
    EXPECT_EQ(bounds(r).left, 9);
    K_AnnDestroy(r, 0);
    K_AnnDestroy(root, 0);
}

TEST_F(Tree, AnObjectCannotGoIntoItselfOrItsDescendants) {
    const ANNHANDLE root = container(window(), {0, 0, 400, 300});
    const ANNHANDLE group = create(ANN_CONTAINER), inner = create(ANN_CONTAINER);
    ASSERT_EQ(K_AnnInsert(root, group, 0), ANN_SUCCESS);
    ASSERT_EQ(K_AnnInsert(group, inner, 0), ANN_SUCCESS);
    notes();
    for (auto [into, what] : {std::pair{root, root}, {group, root}, {inner, root}, {inner, group}}) {
        for (int dissolve : {0, 1}) {
            EXPECT_EQ(K_AnnInsert(into, what, dissolve), ANN_ERROR_INVALID_PARAMETER);
            EXPECT_TRUE(notes().empty());
        }
    }
    EXPECT_EQ(containerOf(inner), group);
    EXPECT_EQ(containerOf(group), root);
    EXPECT_EQ(containerOf(root), 0u);
    // Only containers take objects.
    const ANNHANDLE rect = tagged(root, ANN_RECTANGLE, 1);
    const std::size_t live = annLiveObjectCount();
    ANNHANDLE item = 0;
    EXPECT_EQ(K_AnnInsert(rect, inner, 0), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnCreateItem(rect, ANN_NOTE, 1, &item), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnCreateItem(root, 17, 1, &item), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(annLiveObjectCount(), live);  // the refused item was not left behind
    EXPECT_EQ(item, 0u);
    K_AnnDestroy(root, 0);
}

TEST_F(Tree, TreesNestNoDeeperThanALoadTakes) {
    const ANNHANDLE root = container(0, {0, 0, 400, 300});
    ANNHANDLE last = root, item = 0;
    for (std::size_t depth = 1; depth <= kAnnMaxDepth; ++depth) last = visible(last, ANN_CONTAINER);
    const std::size_t live = annLiveObjectCount();
    EXPECT_EQ(K_AnnCreateItem(last, ANN_RECTANGLE, 1, &item), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(annLiveObjectCount(), live);
    // A pair of containers fits one level up only dissolved.
    const ANNHANDLE pair = create(ANN_CONTAINER);
    ASSERT_EQ(K_AnnCreateItem(pair, ANN_CONTAINER, 1, &item), ANN_SUCCESS);
    EXPECT_EQ(K_AnnInsert(containerOf(last), pair, 0), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(K_AnnInsert(containerOf(last), pair, 1), ANN_SUCCESS);
    ANNMEMORY text = 0;
    EXPECT_EQ(K_AnnSaveMemory(root, ANN_FORMAT_ANNOTATION, 0, &text, nullptr), ANN_SUCCESS);  // loads: SaveLoad
    desktop::globalFree(text);
    K_AnnDestroy(root, 0);
}

TEST_F(Tree, DissolvingInsertsTheChildrenAndDestroysTheirContainer) {
    const ANNHANDLE root = container(window(), {0, 0, 400, 300});
    tagged(root, ANN_RECTANGLE, 1);
    const ANNHANDLE group = create(ANN_CONTAINER);
    ANNHANDLE a = tagged(group, ANN_ELLIPSE, 2), b = tagged(group, ANN_NOTE, 3);
    notes();
    ASSERT_EQ(K_AnnInsert(root, group, 1), ANN_SUCCESS);
    EXPECT_EQ(children(root), "1 2 3");
    uint32_t kind;
    EXPECT_EQ(K_AnnGetType(group, &kind), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(notes(), (Notes{{5, a}, {5, b}}));
    EXPECT_EQ(containerOf(b), root);

    // Nothing to insert: the empty container goes, nothing is told.
    const ANNHANDLE empty = create(ANN_CONTAINER);
    EXPECT_EQ(K_AnnInsert(root, empty, 1), ANN_SUCCESS);
    EXPECT_EQ(K_AnnGetType(empty, &kind), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(notes().empty());
    EXPECT_EQ(children(root), "1 2 3");
    K_AnnDestroy(root, 0);
}

TEST_F(Tree, DestroyTakesTheObjectsTheFlagsChoose) {
    const ANNHANDLE root = container(window(), {0, 0, 400, 300});
    const ANNHANDLE a = tagged(root, ANN_RECTANGLE, 1), group = tagged(root, ANN_CONTAINER, 2);
    const ANNHANDLE b = tagged(group, ANN_RECTANGLE, 3), c = tagged(group, ANN_RECTANGLE, 4);
    tagged(root, ANN_RECTANGLE, 5);
    (void)a;
    // Nothing selected: nothing goes.
    EXPECT_EQ(K_AnnDestroy(root, ANN_FLAG_SELECTED), ANN_SUCCESS);
    EXPECT_EQ(K_AnnDestroy(root, ANN_FLAG_SELECTED | ANN_FLAG_CHILDREN | ANN_FLAG_RECURSIVE), ANN_SUCCESS);
    EXPECT_EQ(children(root), "1 2 5");
    // The selected ones at any depth.
    K_AnnSetSelected(c, 1, 0);
    K_AnnSetSelected(a, 1, 0);
    EXPECT_EQ(K_AnnDestroy(root, ANN_FLAG_SELECTED | ANN_FLAG_CHILDREN | ANN_FLAG_RECURSIVE), ANN_SUCCESS);
    EXPECT_EQ(children(root), "2 5");
    EXPECT_EQ(children(group), "3");
    // Without flag 8 a selected container goes with all its children.
    K_AnnSetSelected(group, 1, 0);
    EXPECT_EQ(K_AnnDestroy(root, ANN_FLAG_SELECTED | ANN_FLAG_CHILDREN), ANN_SUCCESS);
    EXPECT_EQ(children(root), "5");
    uint32_t kind;
    EXPECT_EQ(K_AnnGetType(b, &kind), ANN_ERROR_INVALID_PARAMETER);
    // Every child, the container kept.
    host_->clearLog();
    (void)desktop::validateRect(window(), nullptr);
    EXPECT_EQ(K_AnnDestroy(root, ANN_FLAG_CHILDREN | ANN_FLAG_NO_INVALIDATE), ANN_SUCCESS);
    EXPECT_EQ(children(root), "");
    EXPECT_TRUE(desktop::invalidRects(window()).empty());
    EXPECT_EQ(notes().size(), 1u);  // the removal is told all the same
    K_AnnDestroy(root, 0);
}

TEST_F(Tree, BringToFrontAndSendToBackWalkUpToTheRoot) {
    const ANNHANDLE root = container(window(), {0, 0, 400, 300});
    const ANNHANDLE a = tagged(root, ANN_RECTANGLE, 1), group = tagged(root, ANN_CONTAINER, 2);
    const ANNHANDLE c = tagged(root, ANN_RECTANGLE, 3);
    const ANNHANDLE g1 = tagged(group, ANN_RECTANGLE, 4), g2 = tagged(group, ANN_RECTANGLE, 5);
    const struct {
        const char* what;
        std::function<int32_t()> call;
        int32_t result;
        const char *top, *inner;
    } cases[] = {
        {"front: first child", [&] { return K_AnnBringToFront(a); }, ANN_SUCCESS, "2 3 1", "4 5"},
        {"back: last child", [&] { return K_AnnSendToBack(a); }, ANN_SUCCESS, "1 2 3", "4 5"},
        {"front: its container follows", [&] { return K_AnnBringToFront(g1); }, ANN_SUCCESS, "1 3 2", "5 4"},
        {"front: last of the last", [&] { return K_AnnBringToFront(g1); }, ANN_SUCCESS, "1 3 2", "5 4"},
        {"back: inner and container", [&] { return K_AnnSendToBack(g1); }, ANN_SUCCESS, "2 1 3", "4 5"},
        {"front: a root", [&] { return K_AnnBringToFront(root); }, ANN_ERROR_NOT_SUPPORTED, "2 1 3", "4 5"},
        {"back: a root", [&] { return K_AnnSendToBack(root); }, ANN_ERROR_NOT_SUPPORTED, "2 1 3", "4 5"},
    };
    for (const auto& x : cases) {
        SCOPED_TRACE(x.what);
        EXPECT_EQ(x.call(), x.result);
        EXPECT_EQ(children(root), x.top);
        EXPECT_EQ(children(group), x.inner);
    }
    // The links both ways stay whole.
    for (ANNHANDLE h : {root, group}) {
        const AnnObject* prev = nullptr;
        for (const AnnObject* o = record(h).FirstChild; o; prev = o, o = o->NextSibling) EXPECT_EQ(o->PrevSibling, prev);
    }
    (void)c, (void)g2;
    K_AnnDestroy(root, 0);
}

// What a callback saw: tags in order.
struct Seen {
    std::vector<uint32_t> tags;
    int32_t answer = ANN_SUCCESS;
    uint32_t stopAt = 0;
    std::function<void(ANNHANDLE)> also;
};

int32_t remember(ANNHANDLE h, intptr_t user) {
    auto& seen = *reinterpret_cast<Seen*>(user);
    uint32_t tag = 0;
    K_AnnGetTag(h, &tag);
    seen.tags.push_back(tag);
    if (seen.also) seen.also(h);
    return tag == seen.stopAt ? seen.answer : ANN_SUCCESS;
}

TEST_F(Tree, EnumerationVisitsInTreeOrder) {
    const ANNHANDLE root = container(window(), {0, 0, 400, 300});
    K_AnnSetTag(root, 9, 0);
    const ANNHANDLE a = tagged(root, ANN_RECTANGLE, 1), group = tagged(root, ANN_CONTAINER, 2);
    tagged(group, ANN_RECTANGLE, 3);
    const ANNHANDLE g2 = tagged(group, ANN_NOTE, 4);
    tagged(root, ANN_LINE, 5);
    K_AnnSetSelected(g2, 1, 0);
    K_AnnSetSelected(a, 1, 0);
    const struct {
        ANNHANDLE from;
        uint32_t flags;
        std::vector<uint32_t> tags;
    } cases[] = {
        {root, 0, {9}},
        {root, ANN_FLAG_RECURSIVE, {9, 1, 2, 3, 4, 5}},
        {root, ANN_FLAG_CHILDREN, {1, 2, 5}},
        {root, ANN_FLAG_CHILDREN | ANN_FLAG_RECURSIVE, {1, 2, 3, 4, 5}},
        {root, ANN_FLAG_RECURSIVE | ANN_FLAG_SKIP_CONTAINERS, {1, 3, 4, 5}},
        {root, ANN_FLAG_RECURSIVE | ANN_FLAG_SELECTED, {1, 4}},
        {group, 0, {2}},  // an object alone, not its siblings
    };
    for (const auto& c : cases) {
        Seen seen;
        EXPECT_EQ(K_AnnEnumerate(c.from, &remember, reinterpret_cast<intptr_t>(&seen), c.flags), ANN_SUCCESS);
        EXPECT_EQ(seen.tags, c.tags) << c.flags;
    }
    Seen stop{{}, -42, 3, nullptr};
    EXPECT_EQ(K_AnnEnumerate(root, &remember, reinterpret_cast<intptr_t>(&stop), ANN_FLAG_RECURSIVE), -42);
    EXPECT_EQ(stop.tags, (std::vector<uint32_t>{9, 1, 2, 3}));
    EXPECT_EQ(K_AnnEnumerate(root, nullptr, 0, 0), ANN_ERROR_INVALID_PARAMETER);
    K_AnnDestroy(root, 0);
}

TEST_F(Tree, ACallbackMayDestroyWhatItIsShown) {
    const ANNHANDLE root = container(window(), {0, 0, 400, 300});
    for (uint32_t tag = 1; tag <= 4; ++tag) tagged(root, ANN_RECTANGLE, tag);
    Seen seen;
    seen.also = [](ANNHANDLE h) {
        uint32_t tag = 0;
        K_AnnGetTag(h, &tag);
        if (tag % 2) K_AnnDestroy(h, 0);
    };
    EXPECT_EQ(K_AnnEnumerate(root, &remember, reinterpret_cast<intptr_t>(&seen), ANN_FLAG_CHILDREN), ANN_SUCCESS);
    EXPECT_EQ(seen.tags, (std::vector<uint32_t>{1, 2, 3, 4}));
    EXPECT_EQ(children(root), "2 4");
    // Destroying the next one ends the walk: its link is gone.
    Seen next;
    next.also = [](ANNHANDLE h) {
        if (const AnnObject* o = annLock(h); o && o->NextSibling) K_AnnDestroy(o->NextSibling->Self, 0);
    };
    EXPECT_EQ(K_AnnEnumerate(root, &remember, reinterpret_cast<intptr_t>(&next), ANN_FLAG_CHILDREN), ANN_SUCCESS);
    EXPECT_EQ(next.tags, (std::vector<uint32_t>{2}));
    EXPECT_EQ(children(root), "2");
    K_AnnDestroy(root, 0);
}

// A host that does what its handler says when it is told something.
std::function<void(uintptr_t, ANNHANDLE)>& handler() {
    static std::function<void(uintptr_t, ANNHANDLE)> h;
    return h;
}
intptr_t handlingHost(desktop::WindowHandle w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == ANN_NOTIFY_MESSAGE && handler()) handler()(wParam, static_cast<ANNHANDLE>(lParam));
    return desktop::defWindowProc(w, message, wParam, lParam);
}

TEST_F(Tree, AHostThatDestroysObjectsInItsHandlerLeavesNoDanglingRecord) {
    ASSERT_TRUE(desktop::registerClass({"AnnHandlingHost", 0, &handlingHost, 0, 0, 0xFFFFFF}));
    const desktop::WindowHandle w = desktop::createWindow("AnnHandlingHost", "", 0, 0, {0, 0, 400, 300}, 0);
    const ANNHANDLE root = container(w, {0, 0, 400, 300});
    const ANNHANDLE a = tagged(root, ANN_RECTANGLE, 1), b = tagged(root, ANN_RECTANGLE, 2);
    tagged(root, ANN_RECTANGLE, 3);
    uint32_t kind;

    // Unsupported, but safe: the object told of its removal is destroyed by
    // the handler.
    handler() = [](uintptr_t code, ANNHANDLE h) {
        if (code == ANN_NOTIFY_REMOVED) K_AnnDestroy(h, 0);
    };
    EXPECT_EQ(K_AnnRemove(a), ANN_SUCCESS);
    EXPECT_EQ(K_AnnGetType(a, &kind), ANN_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(children(root), "2 3");

    // A handler that moves the object elsewhere itself: it stays there.
    const ANNHANDLE other = container(w, {0, 0, 100, 100});
    handler() = [&](uintptr_t code, ANNHANDLE h) {
        if (code == ANN_NOTIFY_REMOVED && h == b) K_AnnInsert(other, h, 0);
    };
    EXPECT_EQ(K_AnnRemove(b), ANN_SUCCESS);
    EXPECT_EQ(containerOf(b), other);
    handler() = nullptr;
    ASSERT_EQ(K_AnnInsert(root, b, 0), ANN_SUCCESS);
    EXPECT_EQ(children(root), "3 2");
    K_AnnDestroy(other, 0);

    // Told of the first child's removal, the host destroys the next one.
    handler() = [&](uintptr_t code, ANNHANDLE h) {
        if (code == ANN_NOTIFY_REMOVED && h == b)
            if (const AnnObject* o = annLock(h); o && o->NextSibling) K_AnnDestroy(o->NextSibling->Self, 0);
    };
    ASSERT_EQ(K_AnnSendToBack(b), ANN_SUCCESS);
    EXPECT_EQ(K_AnnDestroy(root, ANN_FLAG_CHILDREN), ANN_SUCCESS);
    EXPECT_EQ(children(root), "");
    handler() = nullptr;
    K_AnnDestroy(root, 0);
    (void)desktop::destroyWindow(w);
}

TEST_F(Tree, ChangesInvalidateTheOldAndTheNewAreaWithoutErasing) {
    const ANNHANDLE root = container(window(), {0, 0, 400, 300});
    const ANNHANDLE r = box(root, ANN_RECTANGLE, {10, 10, 20, 20});
    (void)desktop::validateRect(window(), nullptr);
    const desktop::Rect before = bounds(r);
    ASSERT_EQ(K_AnnMove(r, 100, 0, 0), ANN_SUCCESS);
    EXPECT_EQ(desktop::invalidRects(window()), (std::vector<desktop::Rect>{before, bounds(r)}));
    (void)desktop::validateRect(window(), nullptr);
    // Invisible objects and flag 0x10 leave the window alone.
    ASSERT_EQ(K_AnnMove(r, 1, 0, ANN_FLAG_NO_INVALIDATE), ANN_SUCCESS);
    K_AnnSetVisible(r, 0, 0);
    (void)desktop::validateRect(window(), nullptr);
    ASSERT_EQ(K_AnnSetForeColor(r, 0xFF, 0), ANN_SUCCESS);
    EXPECT_TRUE(desktop::invalidRects(window()).empty());
    K_AnnDestroy(root, 0);
}

}  // namespace
}  // namespace fg::annotation
