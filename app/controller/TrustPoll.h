#pragma once

// Whether the session's accessibility lets this app read other apps: asked of the desktop once
// at start and then every second, one question at a time (a busy accessibility bus is asked
// again at a later tick). A change is told; a grant that the repeated asking finds is told as
// one to announce, while the answer at start is taken quietly.

#include <functional>
#include <memory>

#include "platform/scheduler/Scheduler.h"

namespace ovra {

class TrustPoll final {
  public:
    // Asks once; the answer may come later, on the main thread.
    using Check = std::function<void(std::function<void(bool trusted)> answer)>;
    // After every change; `announce` when a repeated ask found access granted.
    using Changed = std::function<void(bool announce)>;

    TrustPoll(Scheduler& scheduler, bool trusted);
    ~TrustPoll();
    TrustPoll(const TrustPoll&) = delete;
    TrustPoll& operator=(const TrustPoll&) = delete;

    bool trusted() const { return trusted_; }
    void set(bool trusted) { trusted_ = trusted; }

    // Asks now. With `pretendUntrusted` every answer counts as "not trusted". No `check`: the
    // permission stays as it was made.
    void start(Check check, bool pretendUntrusted, Changed changed);
    // From now on asks every second.
    void keepAsking();

  private:
    void ask(bool announceGrant);

    Scheduler& scheduler_;
    bool trusted_;
    Check check_;
    bool pretendUntrusted_ = false;
    Changed changed_;
    bool asking_ = false;
    Scheduler::Token timer_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace ovra
