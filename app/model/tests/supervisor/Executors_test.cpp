#include "app/model/Executors.h"

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

}  // namespace
}  // namespace ovra::supervisor
