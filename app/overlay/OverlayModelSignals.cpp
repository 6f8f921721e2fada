#include "app/overlay/OverlayModelSignals.h"

#include <QMetaObject>

namespace ovra {

OverlayModelSignals::OverlayModelSignals(OverlayModel& model, QObject* parent)
    : QObject(parent), model_(model) {
    subscription_ = model_.subscribe([this](OverlayField field) {
        Q_EMIT willChange(field);
        if (!pending_) {
            pending_ = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    pending_ = false;
                    Q_EMIT changed();
                },
                Qt::QueuedConnection);
        }
    });
}

OverlayModelSignals::~OverlayModelSignals() {
    model_.unsubscribe(subscription_);
}

}  // namespace ovra
