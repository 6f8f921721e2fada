#pragma once

// SIGTERM, SIGINT and SIGHUP as events of the main thread's event loop: the handler only writes
// a byte to a pipe, and the loop calls `onSignal` with the signal's number, so quitting runs as
// any other quit does. The previous handlers come back when the object goes.

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace ovra {

class TerminationSignals final : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the pipe or a handler could not be set up (the signals then end the process
    // the default way).
    bool installed() const { return installed_; }

  private:
    void readSignals();

    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool installed_ = false;
};

}  // namespace ovra
