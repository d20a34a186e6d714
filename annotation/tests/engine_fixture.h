// What the engine's tests share: a fresh desktop and module for each test,
// a check that every object and block a test made is gone at its end, and
// short ways to make objects.
#pragma once

#include "annotation/object.h"
#include "annotation/zentrel.h"
#include "platform/desktop/clipboard.h"
#include "platform/desktop/global_memory.h"
#include "platform/desktop/window.h"

#include <gtest/gtest.h>

#include <vector>

namespace fg::annotation {

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The module started when the library was loaded; start it again on
        // a desktop of its own.
        DllMain(nullptr, 0, nullptr);
        desktop::resetDesktop();
        DllMain(nullptr, 1, nullptr);
        objects_ = annLiveObjectCount();
        blocks_ = desktop::globalBlockCount();
    }
    void TearDown() override {
        desktop::setGlobalMemoryLimit(SIZE_MAX);
        // What the clipboard holds is the clipboard's, not a test's leftover.
        if (desktop::openClipboard(0)) {
            (void)desktop::emptyClipboard();
            (void)desktop::closeClipboard();
        }
        EXPECT_EQ(annLiveObjectCount(), objects_) << "objects left alive";
        EXPECT_EQ(desktop::globalBlockCount(), blocks_) << "blocks left allocated";
    }

    static ANNHANDLE create(uint32_t kind) {
        ANNHANDLE h = 0;
        EXPECT_EQ(K_AnnCreate(kind, &h), ANN_SUCCESS);
        return h;
    }
    static ANNHANDLE container(desktop::WindowHandle window, RECTD rect, bool visible = true) {
        ANNHANDLE h = 0;
        EXPECT_EQ(K_AnnCreateContainer(window, &rect, visible, &h), ANN_SUCCESS);
        return h;
    }
    // A visible object in the container (0: a root), of a box kind or of a
    // point kind.
    static ANNHANDLE visible(ANNHANDLE in, uint32_t kind) {
        ANNHANDLE h = 0;
        if (in) {
            EXPECT_EQ(K_AnnCreateItem(in, kind, 1, &h), ANN_SUCCESS);
        } else {
            EXPECT_EQ(K_AnnCreate(kind, &h), ANN_SUCCESS);
            K_AnnSetVisible(h, 1, 0);
        }
        return h;
    }
    static ANNHANDLE box(ANNHANDLE in, uint32_t kind, RECTD rect) {
        const ANNHANDLE h = visible(in, kind);
        EXPECT_EQ(K_AnnSetRect(h, &rect), ANN_SUCCESS);
        return h;
    }
    static ANNHANDLE points(ANNHANDLE in, uint32_t kind, std::vector<POINTD> pts) {
        const ANNHANDLE h = visible(in, kind);
        EXPECT_EQ(K_AnnSetPoints(h, pts.data(), static_cast<uint32_t>(pts.size())), ANN_SUCCESS);
        return h;
    }
    static ANNHANDLE containerOf(ANNHANDLE h) {
        ANNHANDLE up = 1;
        EXPECT_EQ(K_AnnGetContainer(h, &up), ANN_SUCCESS);
        return up;
    }
    static desktop::Rect bounds(ANNHANDLE h) {
        RECT r{};
        EXPECT_EQ(K_AnnGetBoundingRect(h, &r), ANN_SUCCESS);
        return {r.left, r.top, r.right, r.bottom};
    }
    static AnnObject& record(ANNHANDLE h) {
        AnnObject* o = annLock(h);
        if (!o) throw std::runtime_error("no such object");
        return *o;
    }

private:
    std::size_t objects_ = 0, blocks_ = 0;
};

}  // namespace fg::annotation
