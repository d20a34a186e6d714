// What the tests of mouse gestures share: a host window that paints the
// container covering it, and a check that the window shows nothing of a
// gesture where it was not repainted or invalidated.
#pragma once

#include "engine_fixture.h"
#include "platform/testing/desktop_host.h"

#include <memory>

namespace fg::annotation {

class GestureTest : public EngineTest {
public:
    static int32_t define(ANNHANDLE h, desktop::Point p, uint32_t step) {
        const POINT q{p.x, p.y};
        return K_AnnDefine(h, &q, step);
    }

protected:
    static constexpr desktop::Size kSize{400, 300};

    void SetUp() override {
        EngineTest::SetUp();
        host_ = std::make_unique<testing::HostWindow>(kSize);
        root_ = container(window(), {0, 0, double(kSize.cx), double(kSize.cy)});
        host_->paint = [this](desktop::DeviceContext& dc, const desktop::Rect& area) {
            painted_.push_back(area);
            const RECT clip{area.left, area.top, area.right, area.bottom};
            K_AnnDraw(&dc, &clip, root_);
        };
        settle();
    }
    void TearDown() override {
        K_AnnDestroy(root_, 0);
        host_.reset();
        EngineTest::TearDown();
    }

    desktop::WindowHandle window() const { return host_->handle(); }
    testing::HostWindow& host() { return *host_; }

    // Everything painted, the log cleared and the surface kept to compare.
    void settle() {
        desktop::dispatchMessages();
        (void)desktop::updateWindow(window());
        host_->clearLog();
        painted_.clear();
        before_ = desktop::windowSurface(window());
    }
    // The pels that changed since settle() outside what was painted or is
    // still to be painted.
    std::vector<desktop::Point> strayPels() const {
        std::vector<desktop::Rect> except = painted_;
        for (const desktop::Rect& r : desktop::invalidRects(window())) except.push_back(r);
        return testing::changedPels(before_, desktop::windowSurface(window()), except);
    }
    bool surfaceChanged() const { return !testing::changedPels(before_, desktop::windowSurface(window())).empty(); }

    static std::vector<POINTD> pointsOf(ANNHANDLE h) {
        const AnnObject& o = record(h);
        return {o.Points.data(), o.Points.data() + o.PointCount};
    }

    ANNHANDLE root_ = 0;

private:
    std::unique_ptr<testing::HostWindow> host_;
    std::vector<desktop::Rect> painted_;
    image::Image before_;
};

inline void expectPoints(const std::vector<POINTD>& got, const std::vector<POINTD>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i].x, want[i].x, 1e-9) << "point " << i;
        EXPECT_NEAR(got[i].y, want[i].y, 1e-9) << "point " << i;
    }
}

}  // namespace fg::annotation
