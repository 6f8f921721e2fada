#include "app/controller/TrustPoll.h"

namespace ovra {

namespace {

constexpr double kPollInterval = 1.0;

}  // namespace

TrustPoll::TrustPoll(Scheduler& scheduler, bool trusted)
    : scheduler_(scheduler), trusted_(trusted) {}

TrustPoll::~TrustPoll() {
    scheduler_.cancel(timer_);
}

void TrustPoll::start(Check check, bool pretendUntrusted, Changed changed) {
    check_ = std::move(check);
    pretendUntrusted_ = pretendUntrusted;
    changed_ = std::move(changed);
    ask(false);
}

void TrustPoll::keepAsking() {
    scheduler_.cancel(timer_);
    timer_ = scheduler_.every(kPollInterval, [this] { ask(true); });
}

void TrustPoll::ask(bool announceGrant) {
    if (asking_ || !check_) {
        return;
    }
    asking_ = true;
    check_([this, alive = std::weak_ptr<int>(alive_), announceGrant](bool trusted) {
        if (alive.expired()) {
            return;
        }
        asking_ = false;
        trusted = trusted && !pretendUntrusted_;
        if (trusted == trusted_) {
            return;
        }
        trusted_ = trusted;
        if (changed_) {
            changed_(trusted && announceGrant);
        }
    });
}

}  // namespace ovra
