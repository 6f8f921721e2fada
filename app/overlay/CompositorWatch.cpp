#include "app/overlay/CompositorWatch.h"

#include "platform/x11/OwnWindows.h"

namespace ovra {

CompositorWatch::CompositorWatch() {
    auto x11 = x11::OwnWindows::open();
    if (!x11) {
        return;
    }
    watch_ = x11->watchCompositor([this](bool runs) {
        if (runs != active_) {
            active_ = runs;
            Q_EMIT changed(runs);
        }
    });
    // Read once the server reports changes, so that none falls between.
    active_ = watch_ && x11->compositorRuns();
}

CompositorWatch::~CompositorWatch() = default;

}  // namespace ovra
