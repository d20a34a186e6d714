#include "platform/clock.h"
#include "platform/process/event_pump.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace fg {
namespace {

using namespace std::chrono_literals;

struct ManualTime {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    ManualTime() { setClock(clock); }
    ~ManualTime() { setClock(nullptr); }
};

TEST(EventPump, TimersRunInTheirOrderOnTheSystemsTime) {
    ManualTime time;
    EventPump pump;
    std::vector<std::string> ticks;
    auto at = [&](const char* what) { ticks.push_back(what + std::to_string(time.clock->elapsed().count())); };
    pump.addTimer(500ms, [&] { at("once@"); });
    pump.addTimer(200ms, [&] { at("rep@"); }, true);
    pump.addTimer(50000ms, [&] { at("late@"); });
    pump.runFor(1000ms);
    // The repeating timer counts from the end of each tick.
    EXPECT_EQ(ticks, (std::vector<std::string>{"rep@200", "rep@400", "once@500", "rep@600", "rep@800", "rep@1000"}));
    EXPECT_EQ(time.clock->elapsed(), 1000ms);
}

TEST(EventPump, FormTimerStopsAndRestartsFromItsOwnTick) {
    ManualTime time;
    EventPump pump;
    int ticks = 0;
    PumpTimer timer(pump, [&] {
        ++ticks;
        if (ticks == 2) timer.setInterval(0ms);  // a tick that stops its own timer
    });
    EXPECT_EQ(timer.interval(), 0ms);
    pump.runFor(5000ms);
    EXPECT_EQ(ticks, 0);  // idle at 0
    timer.setInterval(500ms);
    pump.runFor(5000ms);
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(timer.interval(), 0ms);
    {
        PumpTimer gone(pump, [&] { ticks += 100; });
        gone.setInterval(10ms);
    }
    pump.runFor(100ms);
    EXPECT_EQ(ticks, 2);  // a destroyed timer never ticks
}

TEST(EventPump, PostedCallsRunAtTheNextPumpInOrder) {
    EventPump pump;
    std::string order;
    pump.post([&] {
        order += "a";
        pump.post([&] { order += "c"; });  // waits for the next round
    });
    pump.post([&] { order += "b"; });
    EXPECT_TRUE(pump.pumpOnce());
    EXPECT_EQ(order, "ab");
    EXPECT_TRUE(pump.pumpOnce());
    EXPECT_EQ(order, "abc");
    EXPECT_FALSE(pump.pumpOnce());
}

TEST(EventPump, WatchedDescriptorsAndSignalsWakeTheWait) {
    EventPump pump;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::string got;
    auto id = pump.watch(fds[0], [&] {
        char buf[16];
        ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    });
    int signals = 0;
    auto sig = pump.watchSignal(SIGUSR1, [&] { ++signals; });

    EXPECT_FALSE(pump.waitFor(20ms));  // nothing yet: the wait ends at its bound
    ASSERT_EQ(::write(fds[1], "hi", 2), 2);
    EXPECT_TRUE(pump.waitFor(10000ms));
    EXPECT_EQ(got, "hi");

    ::kill(::getpid(), SIGUSR1);
    EXPECT_TRUE(pump.waitUntil([&] { return signals == 1; }, 10000ms));

    pump.unwatch(id);
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    EXPECT_FALSE(pump.waitFor(20ms));  // no longer watched
    pump.unwatchSignal(sig);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(EventPump, WaitInsideACallbackKeepsDeliveringEvents) {
    ManualTime time;
    EventPump pump;
    std::vector<std::string> seen;
    pump.addTimer(100ms, [&] {
        seen.push_back("outer start");
        // A component that waits inside an event (a send port that waits for
        // a free port, say) still sees the other timers tick.
        (void)pump.waitUntil([&] { return seen.size() >= 3; }, 10000ms);
        seen.push_back("outer end");
    });
    pump.addTimer(300ms, [&] { seen.push_back("inner 1"); });
    pump.addTimer(400ms, [&] { seen.push_back("inner 2"); });
    pump.runFor(1000ms);
    EXPECT_EQ(seen, (std::vector<std::string>{"outer start", "inner 1", "inner 2", "outer end"}));
}

TEST(EventPump, ScaledClockShortensRealWaits) {
    setClock(std::make_shared<ScaledClock>(0.001));
    EventPump pump;
    int ticks = 0;
    PumpTimer timer(pump, [&] { ++ticks; });
    timer.setInterval(50000ms);
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(pump.waitUntil([&] { return ticks == 2; }, 600000ms));
    auto real = std::chrono::steady_clock::now() - start;
    setClock(nullptr);
    EXPECT_LT(real, 5s);  // two ticks of 50 s took about 100 ms
}

TEST(EventPump, AWaitForAnotherProcessIsNotCutShortByAScaledClock) {
    // A peer that needs a third of a real second under a clock scaled a
    // thousandfold: a wait on the system's time gives up after a few
    // milliseconds, a wait for a peer does not.
    setClock(std::make_shared<ScaledClock>(0.001));
    EventPump pump;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    bool answered = false;
    pump.watch(fds[0], [&] {
        char c;
        answered = ::read(fds[0], &c, 1) == 1;
    });
    std::thread peer([&] {
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(::write(fds[1], "x", 1), 1);
    });
    EXPECT_FALSE(pump.waitUntil([&] { return answered; }, 3000ms));
    EXPECT_TRUE(pump.waitUntilPeer([&] { return answered; }, 3000ms));
    peer.join();
    setClock(nullptr);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(EventPump, QuitEndsRun) {
    ManualTime time;
    EventPump pump;
    int ticks = 0;
    pump.addTimer(
        100ms,
        [&] {
            if (++ticks == 3) pump.quit();
        },
        true);
    pump.run();
    EXPECT_EQ(ticks, 3);
    EXPECT_TRUE(pump.quitting());
}

}  // namespace
}  // namespace fg
