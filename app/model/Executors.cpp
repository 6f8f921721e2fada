#include "app/model/Executors.h"

#include <pthread.h>

namespace ovra::supervisor {

SerialQueue::SerialQueue(std::string name) : name_(std::move(name)) {
    thread_ = std::thread([this] { run(); });
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        tasks_.clear();
    }
    wake_.notify_all();
    thread_.join();
}

void SerialQueue::post(Executor::Task task) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void SerialQueue::run() {
    // Linux limits thread names to 15 characters.
    pthread_setname_np(pthread_self(), name_.substr(0, 15).c_str());
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
        if (stopping_)
            return;
        Executor::Task task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        // The task and what it captured (a classifier reference, say) are released before the
        // next task runs.
        task = nullptr;
        lock.lock();
    }
}

ThreadedExecutor::ThreadedExecutor(std::function<void(Task)> postToMain)
    : postToMain_(std::move(postToMain)) {}

}  // namespace ovra::supervisor
