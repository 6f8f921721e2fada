#pragma once

// The settings window model's changes as Qt signals, for the window's views.

#include <QObject>
#include <cstdint>

#include "app/settings/DashboardModel.h"

Q_DECLARE_METATYPE(ovra::DashboardField)

namespace ovra {

class DashboardModelObject final : public QObject {
    Q_OBJECT

  public:
    // `model` must outlive this object.
    explicit DashboardModelObject(DashboardModel& model, QObject* parent = nullptr);
    ~DashboardModelObject() override;

    DashboardModel& model() const { return model_; }

  Q_SIGNALS:
    void willChange(ovra::DashboardField field);
    void changed(ovra::DashboardField field);

  private:
    DashboardModel& model_;
    DashboardModel::ListenerId willChangeListener_;
    DashboardModel::ListenerId changedListener_;
};

}  // namespace ovra
