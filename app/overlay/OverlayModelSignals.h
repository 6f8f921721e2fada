#pragma once

// The overlay model's change notification as Qt signals, for the views: `willChange` as the model
// tells it, before each write; `changed` once after a burst of writes, at the event loop's next
// turn, when the views redraw from the written state.

#include <QObject>

#include "app/overlay/OverlayModel.h"

namespace ovra {

class OverlayModelSignals final : public QObject {
    Q_OBJECT
  public:
    explicit OverlayModelSignals(OverlayModel& model, QObject* parent = nullptr);
    ~OverlayModelSignals() override;

    OverlayModel& model() const { return model_; }

  Q_SIGNALS:
    void willChange(ovra::OverlayField field);
    void changed();

  private:
    OverlayModel& model_;
    OverlayModel::Subscription subscription_;
    bool pending_ = false;
};

}  // namespace ovra
