#include "app/maintenance/Offload.h"

namespace ovra {

WorkerThread::WorkerThread(Post toMain)
    : toMain_(std::move(toMain)), thread_([this](const std::stop_token& stop) { loop(stop); }) {}

WorkerThread::~WorkerThread() {
    thread_.request_stop();
    wake_.notify_all();
}

void WorkerThread::run(std::function<void()> work, std::function<void()> then) {
    {
        std::lock_guard lock(mutex_);
        jobs_.emplace_back(std::move(work), std::move(then));
    }
    wake_.notify_all();
}

void WorkerThread::loop(const std::stop_token& stop) {
    for (;;) {
        std::pair<std::function<void()>, std::function<void()>> job;
        {
            std::unique_lock lock(mutex_);
            if (!wake_.wait(lock, stop, [this] { return !jobs_.empty(); }))
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job.first();
        if (!stop.stop_requested())
            toMain_(std::move(job.second));
    }
}

}  // namespace ovra
