// The worker of the fax-modem control: a body that hangs does not hang the
// owner that waits for it.
#include "platform/fax_engine/worker_thread.h"

#include "platform/testing/run_program.h"
#include "platform/testing/temp_home.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace fg::fax {
namespace {

using namespace std::chrono_literals;

TEST(WorkerThread, AJoinWaitsForTheBodyOnlyUpToItsBound) {
    testing::ErrorLogGuard log;
    // A body that ends: the join has it at once.
    {
        WorkerThread w;
        int ran = 0;
        ASSERT_EQ(w.start([&] { ++ran; }, 0).failedAt, WorkerThread::Step::Started);
        EXPECT_TRUE(w.join(30000ms));  // at once; the bound only allows for a busy machine
        EXPECT_EQ(ran, 1);
        EXPECT_FALSE(w.running());
    }
    // A body that hangs (an engine that ignores the hang-up): the join gives
    // up after its bound, logs it, and the body ends later on its own.
    std::promise<void> letGo;
    std::shared_future<void> released = letGo.get_future().share();
    auto ended = std::make_shared<std::atomic<bool>>(false);
    auto start = std::chrono::steady_clock::now();
    {
        auto w = std::make_unique<WorkerThread>();
        ASSERT_EQ(w->start([released, ended] { released.wait(), ended->store(true); }, 0).failedAt,
                  WorkerThread::Step::Started);
        EXPECT_TRUE(w->running());
        auto joining = std::async(std::launch::async, [&] { return w->join(1000ms); });
        if (joining.wait_for(30s) != std::future_status::ready) {
            letGo.set_value();
            joining.wait();
            FAIL() << "the join waited past its bound";
        }
        EXPECT_FALSE(joining.get());
        EXPECT_GE(std::chrono::steady_clock::now() - start, 1000ms);
        EXPECT_TRUE(log.log->has(errnum::InvalidProcedureCall));
        // The owner goes; the body still runs, holding nothing of it.
    }
    EXPECT_FALSE(ended->load());
    letGo.set_value();
    EXPECT_TRUE(testing::eventually([&] { return ended->load(); }));
}

}  // namespace
}  // namespace fg::fax
