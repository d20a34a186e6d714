#include "platform/error.h"
#include "platform/process/child_object.h"
#include "platform/process/child_server.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <sys/socket.h>

#include <cerrno>
#include <future>
#include <string>
#include <vector>

namespace fg {
namespace {

using namespace std::chrono_literals;
const std::string kChild = PROCESS_TEST_CHILD;

using testing::processExists;

struct Recorded {
    std::vector<std::string> events;
    ChildObject::EventHandler handler() {
        return [this](const std::string& name, const std::vector<std::string>& args) {
            std::string e = name;
            for (const auto& a : args) e += ":" + a;
            events.push_back(e);
        };
    }
};

ChildObjectOptions withErrorEvent() {
    ChildObjectOptions o;
    o.errorEvent = "ErrorReceiveFAX";
    o.releaseBound = 2000ms;
    return o;
}

TEST(ChildObject, CallsCarryStringListsBothWays) {
    EventPump pump;
    ChildObject obj(pump, kChild, {"serve"});
    std::vector<std::string> list = {"200401011200000001", "", "タブ\tと改行\n", "\\"};
    EXPECT_EQ(obj.call("echo", list), list);
    EXPECT_EQ(obj.call("ECHO", {"any case"}), std::vector<std::string>{"any case"});
    EXPECT_TRUE(obj.call("nothing").empty());
    EXPECT_EQ(obj.callValue("nothing"), "");
    EXPECT_EQ(obj.callValue("echo", {"1", "2"}), "1");
    EXPECT_TRUE(obj.alive());
}

TEST(ChildObject, FailedCallsRaiseTheirError) {
    EventPump pump;
    ChildObject obj(pump, kChild, {"serve"});
    struct Case {
        std::string member;
        std::vector<std::string> args;
        long number;
        std::string source;
    } cases[] = {
        {"fail", {}, 40522, "TestChild"},                        // the child's own error
        {"noSuchMember", {}, kChildNoSuchMember, "ChildServer"},  // nobody serves it
        {"slow", {"1500"}, kChildTimedOut, "ChildObject"},        // no answer within the bound
    };
    for (const auto& c : cases) {
        try {
            obj.call(c.member, c.args, 300ms);
            ADD_FAILURE() << c.member << " answered";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), c.number) << c.member;
            EXPECT_EQ(e.source(), c.source) << c.member;
        }
    }
    // The late answer of the call that timed out is not taken for the next one.
    EXPECT_EQ(obj.call("echo", {"next"}), std::vector<std::string>{"next"});
}

TEST(ChildObject, EventsArriveThroughThePumpInOrder) {
    EventPump pump;
    Recorded rec;
    ChildObject obj(pump, kChild, {"serve", "events-first"});
    obj.setEventHandler(rec.handler());
    // Events raised during a call wait for the pump: the caller is not
    // re-entered in the middle of its call.
    EXPECT_EQ(obj.callValue("raise", {"1", "2", "3"}), "raised");
    EXPECT_TRUE(rec.events.empty());
    EXPECT_TRUE(pump.waitUntil([&] { return rec.events.size() == 4; }, 10000ms));
    EXPECT_EQ(rec.events, (std::vector<std::string>{"Early:x", "Tick:1", "Tick:2", "Tick:3"}));

    obj.call("raiseLater", {"ErrorMakerInfo", "50"});
    EXPECT_TRUE(pump.waitUntil([&] { return rec.events.size() == 5; }, 10000ms));
    EXPECT_EQ(rec.events.back(), "ErrorMakerInfo");
}

TEST(ChildObject, ADeathNobodyAskedForRaisesTheErrorEventOnce) {
    EventPump pump;
    Recorded rec;
    ChildObject obj(pump, kChild, {"serve"}, withErrorEvent());
    obj.setEventHandler(rec.handler());
    pid_t pid = obj.pid();
    try {
        obj.call("raiseAndDie");
        ADD_FAILURE() << "a dead child answered";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kChildGone);
    }
    EXPECT_FALSE(obj.alive());
    EXPECT_TRUE(pump.waitUntil([&] { return rec.events.size() == 3; }, 10000ms));
    ASSERT_EQ(rec.events.size(), 3u);
    // What it raised before it died comes first, then the error event.
    EXPECT_EQ(rec.events[0], "Last:1");
    EXPECT_EQ(rec.events[1], "Last:2");
    EXPECT_EQ(rec.events[2].rfind("ErrorReceiveFAX:", 0), 0u) << rec.events[2];
    EXPECT_NE(rec.events[2].find("4"), std::string::npos) << rec.events[2];  // its exit code
    pump.runFor(50ms);
    EXPECT_EQ(rec.events.size(), 3u);
    EXPECT_FALSE(processExists(pid));  // reaped
    EXPECT_THROW(obj.call("echo"), Error);
}

TEST(ChildObject, ADeathBetweenCallsIsNoticedByThePump) {
    EventPump pump;
    Recorded rec;
    ChildObject obj(pump, kChild, {"serve"}, withErrorEvent());
    obj.setEventHandler(rec.handler());
    ::kill(obj.pid(), SIGKILL);
    EXPECT_TRUE(pump.waitUntil([&] { return !rec.events.empty(); }, 10000ms));
    EXPECT_EQ(rec.events.size(), 1u);
    EXPECT_FALSE(obj.alive());
    EXPECT_FALSE(processExists(obj.pid()));
}

TEST(ChildObject, AChildThatStopsAnsweringIsKilledWithinTheAnswerBound) {
    EventPump pump;
    Recorded rec;
    ChildObjectOptions options = withErrorEvent();
    options.answerBound = 1000ms;
    ChildObject obj(pump, kChild, {"serve"}, options);
    obj.setEventHandler(rec.handler());
    // Calls go on as ever between the probes.
    EXPECT_EQ(obj.call("echo", {"a"}), (std::vector<std::string>{"a"}));
    // Stopped, it acts on no SIGTERM: only a kill ends it.
    ASSERT_EQ(::kill(obj.pid(), SIGSTOP), 0);
    const auto stopped = std::chrono::steady_clock::now();
    ASSERT_TRUE(pump.waitUntil([&] { return !rec.events.empty(); }, 20000ms));
    EXPECT_GE(std::chrono::steady_clock::now() - stopped, 1000ms);
    ASSERT_EQ(rec.events.size(), 1u);
    EXPECT_NE(rec.events[0].find("プロセス " + std::to_string(obj.pid()) + " が"), std::string::npos) << rec.events[0];
    EXPECT_NE(rec.events[0].find("応答しないため強制終了しました"), std::string::npos) << rec.events[0];
    EXPECT_FALSE(obj.alive());
    EXPECT_FALSE(processExists(obj.pid()));
}

TEST(ChildObject, ABrokenProtocolEndsTheChild) {
    EventPump pump;
    Recorded rec;
    ChildObject obj(pump, kChild, {"serve"}, withErrorEvent());
    obj.setEventHandler(rec.handler());
    pid_t pid = obj.pid();
    EXPECT_THROW(obj.call("garbage", {}, 10000ms), Error);
    EXPECT_TRUE(pump.waitUntil([&] { return !rec.events.empty(); }, 10000ms));
    EXPECT_FALSE(processExists(pid));
}

TEST(ChildObject, ReleaseEndsTheChildWithoutAnErrorEvent) {
    EventPump pump;
    Recorded rec;
    ChildObject obj(pump, kChild, {"serve"}, withErrorEvent());
    obj.setEventHandler(rec.handler());
    pid_t pid = obj.pid();
    obj.release();
    EXPECT_FALSE(obj.alive());
    EXPECT_FALSE(processExists(pid));
    obj.release();  // twice is nothing
    pump.runFor(50ms);
    EXPECT_TRUE(rec.events.empty());
    try {
        obj.call("echo");
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kChildGone);
    }
}

TEST(ChildObject, AChildThatIgnoresTheReleaseIsKilledAfterTheBound) {
    EventPump pump;
    ChildObjectOptions o;
    o.releaseBound = 200ms;
    ChildObject obj(pump, kChild, {"serve", "stubborn"}, o);
    pid_t pid = obj.pid();
    auto start = std::chrono::steady_clock::now();
    obj.release();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_FALSE(processExists(pid));
}

TEST(ChildObject, AHandlerMayReleaseItsOwnObject) {
    EventPump pump;
    auto obj = std::make_unique<ChildObject>(pump, kChild, std::vector<std::string>{"serve"});
    int seen = 0;
    obj->setEventHandler([&](const std::string&, const std::vector<std::string>&) {
        ++seen;
        obj.reset();  // the client lets go of the object in its end event
    });
    obj->call("raise", {"1", "2"});
    pump.runFor(200ms);
    EXPECT_EQ(seen, 1);  // nothing is delivered for a released object
    EXPECT_EQ(obj, nullptr);
}

TEST(ChildServer, AParentThatLivesButNeverReadsIsLetGoAfterTheSendBound) {
    testing::ErrorLogGuard log;
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    EventPump pump;
    ChildServer server(pump, sv[1]);
    server.setSendBound(1000ms);
    bool released = false;
    server.onRelease([&] { released = true; });
    // The parent (sv[0]) is alive and never reads: the socket fills up.
    auto raising = std::async(std::launch::async, [&] {
        const std::string payload(60000, 'x');
        for (int i = 0; i < 10000; ++i)
            if (!server.raiseEvent("Filler", {payload})) return i;
        return -1;
    });
    if (raising.wait_for(60s) != std::future_status::ready) {
        ::close(sv[0]);  // the send fails at once and the thread ends
        raising.wait();
        FAIL() << "a send waited past its bound";
    }
    EXPECT_GT(raising.get(), 0);
    EXPECT_TRUE(released);
    EXPECT_TRUE(server.released());
    EXPECT_FALSE(server.raiseEvent("Later"));
    EXPECT_TRUE(log.log->has(kChildTimedOut));
    // The parent sees the channel closed once it reads what was whole.
    char buf[65536];
    ssize_t n;
    std::size_t total = 0;
    while ((n = ::recv(sv[0], buf, sizeof buf, 0)) > 0) total += static_cast<std::size_t>(n);
    EXPECT_EQ(n, 0);
    EXPECT_GT(total, 0u);
    ::close(sv[0]);
}

TEST(ChildObject, CreationFailuresAreErrors429) {
    EventPump pump;
    struct Case {
        std::string program;
        std::vector<std::string> args;
    } cases[] = {
        {"/nonexistent/alvaret", {}},  // no such program
        {kChild, {"serve", "refuse"}},  // refuses to serve
        {kChild, {"exit", "3"}},        // ends before it answers
        {kChild, {"serve", "silent"}},  // never answers
    };
    for (const auto& c : cases) {
        ChildObjectOptions o;
        o.createBound = 300ms;
        o.releaseBound = 300ms;
        try {
            ChildObject obj(pump, c.program, c.args, o);
            ADD_FAILURE() << "created " << c.program << " " << (c.args.empty() ? "" : c.args.back());
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), kChildCannotCreate) << e.description();
        }
    }
}

}  // namespace
}  // namespace fg
