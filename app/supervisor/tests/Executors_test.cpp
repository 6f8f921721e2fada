#include "app/supervisor/Executors.h"

#include <gtest/gtest.h>

#include <future>
#include <vector>

namespace ovra::supervisor {
namespace {

TEST(SerialQueue, RunsTasksInOrderOnOneThread) {
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    std::promise<void> done;
    {
        SerialQueue queue("test-queue");
        for (int i = 0; i < 50; ++i) {
            queue.post([&, i] {
                order.push_back(i);
                threads.push_back(std::this_thread::get_id());
            });
        }
        queue.post([&] { done.set_value(); });
        done.get_future().wait();
    }
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    for (const auto& id : threads) {
        EXPECT_EQ(id, threads.front());
        EXPECT_NE(id, std::this_thread::get_id());
    }
}

TEST(SerialQueue, ReleasesATasksCapturesBeforeTheNextTaskRuns) {
    auto held = std::make_shared<int>(1);
    std::weak_ptr<int> watch = held;
    std::promise<bool> releasedBeforeNext;
    SerialQueue queue("test-queue");
    queue.post([held = std::move(held)] {});
    queue.post([&] { releasedBeforeNext.set_value(watch.expired()); });
    EXPECT_TRUE(releasedBeforeNext.get_future().get());
}

TEST(ThreadedExecutor, HandsMainTasksToTheGivenLoop) {
    std::vector<Executor::Task> mainLoop;
    ThreadedExecutor executor([&](Executor::Task t) { mainLoop.push_back(std::move(t)); });
    int ran = 0;
    executor.postToMain([&] { ++ran; });
    ASSERT_EQ(mainLoop.size(), 1u);
    mainLoop.front()();
    EXPECT_EQ(ran, 1);

    std::promise<void> worker;
    std::promise<void> classifier;
    executor.postToWorker([&] { worker.set_value(); });
    executor.postToClassifier([&] { classifier.set_value(); });
    worker.get_future().wait();
    classifier.get_future().wait();
}

TEST(ManualExecutor, RunsOnlyWhatWasWaiting) {
    ManualExecutor executor;
    int main = 0;
    executor.postToWorker([&] { executor.postToMain([&] { ++main; }); });
    EXPECT_EQ(executor.runMain(), 0u);
    EXPECT_EQ(executor.runWorker(), 1u);
    EXPECT_EQ(main, 0);
    EXPECT_EQ(executor.pendingMain(), 1u);
    executor.runAll();
    EXPECT_EQ(main, 1);
}

}  // namespace
}  // namespace ovra::supervisor
