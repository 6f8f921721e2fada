#pragma once

// The preferences store's changes as Qt signals, for views: a connection made with a receiver
// ends with the receiver, so a closed view is never called back.

#include <QObject>
#include <cstdint>

#include "app/controller/Preference.h"

Q_DECLARE_METATYPE(ovra::Preference)

namespace ovra {

class Preferences;

class PreferencesObject final : public QObject {
    Q_OBJECT

  public:
    // `store` must outlive this object.
    explicit PreferencesObject(Preferences& store, QObject* parent = nullptr);
    ~PreferencesObject() override;

    Preferences& store() const { return store_; }

  Q_SIGNALS:
    // Before the value changes (the old value is still readable).
    void willChange(ovra::Preference which);
    // After the new value is in place and written.
    void changed(ovra::Preference which);

  private:
    Preferences& store_;
    std::uint64_t willChangeListener_;
    std::uint64_t changedListener_;
};

}  // namespace ovra
