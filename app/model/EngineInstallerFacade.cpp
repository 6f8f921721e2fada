#include "app/model/SupervisorServices.h"

namespace ovra::supervisor {

// The installer's listeners run on its install thread while the handler may be replaced on the
// main thread, so the handler sits behind a lock the listeners share.
struct EngineInstallerFacade::HandlerCell {
    std::mutex mutex;
    std::function<void()> handler;

    void call() {
        std::function<void()> h;
        {
            std::lock_guard lock(mutex);
            h = handler;
        }
        if (h)
            h();
    }
};

EngineInstallerFacade::EngineInstallerFacade(std::unique_ptr<EngineInstaller> installer)
    : installer_(std::move(installer)), handler_(std::make_shared<HandlerCell>()) {
    auto cell = handler_;
    stageSubscription_ = installer_->stage.subscribe([cell](const Stage&) { cell->call(); });
    progressSubscription_ = installer_->progress.subscribe([cell](const double&) { cell->call(); });
}

EngineInstallerFacade::~EngineInstallerFacade() {
    installer_->stage.unsubscribe(stageSubscription_);
    installer_->progress.unsubscribe(progressSubscription_);
}

void EngineInstallerFacade::setChangeHandler(std::function<void()> handler) {
    std::lock_guard lock(handler_->mutex);
    handler_->handler = std::move(handler);
}

}  // namespace ovra::supervisor
