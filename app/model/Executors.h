#pragma once

// Executors for the supervisor: a serial queue on a thread of its own, the app's executor built
// from two of them and the app's way of reaching its main thread, and a manual executor that
// tests run step by step.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "app/model/SupervisorServices.h"

namespace ovra::supervisor {

// Runs tasks one at a time, in order, on its own thread. Destruction lets the running task
// finish and drops the ones still waiting.
class SerialQueue final {
  public:
    explicit SerialQueue(std::string name);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void post(Executor::Task task);
    const std::string& name() const { return name_; }

  private:
    void run();

    const std::string name_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Executor::Task> tasks_;
    bool stopping_ = false;
    std::thread thread_;
};

class ThreadedExecutor final : public Executor {
  public:
    // postToMain hands a task to the app's main thread (its event loop).
    explicit ThreadedExecutor(std::function<void(Task)> postToMain);

    void postToMain(Task task) override { postToMain_(std::move(task)); }
    void postToWorker(Task task) override { worker_.post(std::move(task)); }
    void postToClassifier(Task task) override { classifier_.post(std::move(task)); }

  private:
    std::function<void(Task)> postToMain_;
    SerialQueue worker_{"ovra-model-worker"};
    SerialQueue classifier_{"ai.qeld.murmlark-ovra.classifier"};
};

// Holds posted tasks until a test runs them. Not thread-safe: the test is every thread.
class ManualExecutor final : public Executor {
  public:
    void postToMain(Task task) override { main_.push_back(std::move(task)); }
    void postToWorker(Task task) override { worker_.push_back(std::move(task)); }
    void postToClassifier(Task task) override { classifier_.push_back(std::move(task)); }

    // Each runs the tasks of one queue that are waiting now (not those they post) and
    // returns how many ran.
    std::size_t runMain() { return drain(main_); }
    std::size_t runWorker() { return drain(worker_); }
    std::size_t runClassifier() { return drain(classifier_); }
    // Runs every queue until all are empty.
    void runAll() {
        while (runWorker() + runClassifier() + runMain() > 0) {
        }
    }

    std::size_t pendingMain() const { return main_.size(); }
    std::size_t pendingWorker() const { return worker_.size(); }
    std::size_t pendingClassifier() const { return classifier_.size(); }

  private:
    static std::size_t drain(std::deque<Task>& queue) {
        std::deque<Task> now;
        now.swap(queue);
        for (auto& task : now)
            task();
        return now.size();
    }

    std::deque<Task> main_;
    std::deque<Task> worker_;
    std::deque<Task> classifier_;
};

}  // namespace ovra::supervisor
