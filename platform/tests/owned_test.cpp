#include "platform/owned.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace fg {
namespace {

std::vector<int> released;
void giveBack(int handle) { released.push_back(handle); }
using Counted = Owned<int, giveBack, 0>;

TEST(Owned, GivesEveryHandleBackExactlyOnceWhicheverWayTheScopeEnds) {
    released.clear();
    { Counted a(1); }
    try {
        Counted b(2);
        throw std::runtime_error("leaves the scope");
    } catch (const std::runtime_error&) {
    }
    { Counted none; }
    {
        Counted c(3);
        c.reset(4);  // 3 goes back now, 4 at the end
        EXPECT_EQ(c.get(), 4);
    }
    {
        Counted d(5);
        EXPECT_EQ(d.release(), 5);  // handed over: not given back
        EXPECT_FALSE(d);
    }
    {
        Counted e(6);
        Counted f(std::move(e));
        Counted g(7);
        g = std::move(f);  // 7 goes back, 6 moves on
        EXPECT_EQ(g.get(), 6);
        EXPECT_FALSE(e);
    }
    {
        Counted h(8);
        *h.out() = 9;  // a call that hands out a new handle: 8 goes back first
    }
    EXPECT_EQ(released, (std::vector<int>{1, 2, 3, 4, 7, 6, 8, 9}));
}

TEST(Owned, ADescriptorIsClosedAndMinusOneIsNone) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    { Descriptor in(fds[0]), out(fds[1]); }
    EXPECT_EQ(::fcntl(fds[0], F_GETFD), -1);
    EXPECT_EQ(::fcntl(fds[1], F_GETFD), -1);
    Descriptor none(-1);
    EXPECT_FALSE(none);
}

}  // namespace
}  // namespace fg
