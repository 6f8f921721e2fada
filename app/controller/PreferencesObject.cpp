#include "app/controller/PreferencesObject.h"

#include "app/controller/Preferences.h"

namespace ovra {

PreferencesObject::PreferencesObject(Preferences& store, QObject* parent)
    : QObject(parent),
      store_(store),
      willChangeListener_(store.onWillChange([this](Preference p) { Q_EMIT willChange(p); })),
      changedListener_(store.onChange([this](Preference p) { Q_EMIT changed(p); })) {
    qRegisterMetaType<ovra::Preference>();
}

PreferencesObject::~PreferencesObject() {
    store_.removeListener(willChangeListener_);
    store_.removeListener(changedListener_);
}

}  // namespace ovra
