// The pool runs every task given, in order on each thread, tells a task its
// thread, waits on request, and drops what has not started when it goes.
#include "base/CThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

TEST(CThreadPoolTest, RunsEveryTaskOnItsThreads) {
    for (const size_t threads : {size_t{1}, size_t{3}}) {
        CThreadPool pool(threads);
        std::mutex mutex;
        std::vector<int> done;
        std::vector<size_t> seen;
        for (int task = 0; task < 200; ++task) {
            pool.Submit([&, task](size_t thread) {
                const std::lock_guard lock(mutex);
                done.push_back(task);
                seen.push_back(thread);
            });
        }
        pool.Wait();
        ASSERT_EQ(done.size(), 200u);
        for (const size_t thread : seen) EXPECT_LT(thread, threads);
        // One thread takes the tasks in the order given.
        if (threads == 1) {
            for (int task = 0; task < 200; ++task) EXPECT_EQ(done[static_cast<size_t>(task)], task);
        }
    }
}

TEST(CThreadPoolTest, TasksNotStartedAreDroppedWithThePool) {
    std::atomic<int> ran = 0;
    std::atomic<bool> release = false;
    std::thread releaser;
    {
        CThreadPool pool(1);
        std::atomic<bool> started = false;
        pool.Submit([&](size_t) {
            started = true;
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++ran;
        });
        for (int task = 0; task < 10; ++task) pool.Submit([&](size_t) { ++ran; });
        while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        releaser = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            release = true;
        });
    }
    releaser.join();
    // The running task ended before the pool went; the others never ran.
    EXPECT_EQ(ran, 1);
}

}  // namespace
