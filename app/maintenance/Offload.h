#pragma once

// Slow work (network, hashing, unpacking) runs away from the main thread; its continuation
// comes back to the main thread. The app uses one worker thread; tests run both halves by hand.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace ovra {

class Offload {
  public:
    virtual ~Offload() = default;
    // Runs `work` on another thread, then `then` on the main thread.
    virtual void run(std::function<void()> work, std::function<void()> then) = 0;
};

// One worker thread taking jobs in order; `toMain` hands each continuation to the main thread.
class WorkerThread final : public Offload {
  public:
    using Post = std::function<void(std::function<void()>)>;
    explicit WorkerThread(Post toMain);
    // Waits for the job under way (whoever started it cancels it first); drops the rest.
    ~WorkerThread() override;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    void run(std::function<void()> work, std::function<void()> then) override;

  private:
    void loop(const std::stop_token& stop);

    Post toMain_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<std::pair<std::function<void()>, std::function<void()>>> jobs_;
    std::jthread thread_;  // last: it starts after, and stops before, everything above
};

// Holds offloaded work until a test runs it and then its continuation, both on its thread.
class ManualOffload final : public Offload {
  public:
    void run(std::function<void()> work, std::function<void()> then) override {
        jobs.emplace_back(std::move(work), std::move(then));
    }
    void finishOne() {
        auto job = std::move(jobs.front());
        jobs.pop_front();
        job.first();
        job.second();
    }
    void finishAll() {
        while (!jobs.empty())
            finishOne();
    }
    std::deque<std::pair<std::function<void()>, std::function<void()>>> jobs;
};

}  // namespace ovra
