#pragma once

// The app's scheduler: QTimers on the thread that owns it (the main thread). Not thread-safe;
// other threads hop to the main thread first.

#include <QElapsedTimer>
#include <QObject>
#include <map>
#include <memory>

#include "platform/scheduler/Scheduler.h"

class QTimer;

namespace ovra {

class QtScheduler final : public Scheduler {
  public:
    QtScheduler();
    ~QtScheduler() override;
    QtScheduler(const QtScheduler&) = delete;
    QtScheduler& operator=(const QtScheduler&) = delete;

    Token after(double seconds, std::function<void()> work) override;
    Token every(double seconds, std::function<void()> work) override;
    void cancel(Token token) override;
    double now() const override;

  private:
    Token start(double seconds, bool repeating, std::function<void()> work);

    QObject context_;
    QElapsedTimer clock_;
    std::map<Token, std::unique_ptr<QTimer>> timers_;
    Token last_ = 0;
};

}  // namespace ovra
