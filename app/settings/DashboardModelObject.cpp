#include "app/settings/DashboardModelObject.h"

namespace ovra {

DashboardModelObject::DashboardModelObject(DashboardModel& model, QObject* parent)
    : QObject(parent),
      model_(model),
      willChangeListener_(model.onWillChange([this](DashboardField f) { Q_EMIT willChange(f); })),
      changedListener_(model.onChange([this](DashboardField f) { Q_EMIT changed(f); })) {
    qRegisterMetaType<ovra::DashboardField>();
}

DashboardModelObject::~DashboardModelObject() {
    model_.removeListener(willChangeListener_);
    model_.removeListener(changedListener_);
}

}  // namespace ovra
