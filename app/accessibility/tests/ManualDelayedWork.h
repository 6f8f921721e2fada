#pragma once

// Delayed work that runs when a test moves time on.

#include <functional>
#include <map>
#include <utility>

#include "app/accessibility/Scroller.h"

namespace ovra::testing {

class ManualDelayedWork final : public DelayedWork {
  public:
    Token after(double seconds, std::function<void()> work) override {
        const Token token = ++last_;
        pending_.emplace(token, Item{now_ + seconds, std::move(work)});
        return token;
    }
    void cancel(Token token) override { pending_.erase(token); }

    // Runs, in order of their due time, the items due within `seconds` from now (and those they
    // schedule that fall due in that time too).
    void advance(double seconds) {
        const double until = now_ + seconds;
        for (;;) {
            auto next = pending_.end();
            for (auto it = pending_.begin(); it != pending_.end(); ++it) {
                if (it->second.due <= until + 1e-9 &&
                    (next == pending_.end() || it->second.due < next->second.due)) {
                    next = it;
                }
            }
            if (next == pending_.end()) {
                break;
            }
            now_ = std::max(now_, next->second.due);
            auto work = std::move(next->second.work);
            pending_.erase(next);
            work();
        }
        now_ = until;
    }
    std::size_t pending() const { return pending_.size(); }
    double now() const { return now_; }

  private:
    struct Item {
        double due;
        std::function<void()> work;
    };
    std::map<Token, Item> pending_;
    Token last_ = 0;
    double now_ = 0;
};

}  // namespace ovra::testing
