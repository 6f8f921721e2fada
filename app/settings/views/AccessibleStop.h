#pragma once

// A keyboard stop of the settings window as screen readers see it: a sidebar entry, a row or a
// dialog button is one accessible object with its role, name, value text, states and actions
// (press; increase and decrease for rows that adjust). The widget holds the real keyboard focus
// while it is the focused stop, so the focus event reaches the screen reader.

#include <QAccessible>
#include <QString>
#include <optional>

namespace ovra {

class AccessibleStop {
  public:
    virtual ~AccessibleStop() = default;
    virtual QAccessible::Role stopRole() const = 0;
    virtual QString stopName() const = 0;
    virtual QString stopDescription() const { return {}; }
    virtual std::optional<bool> stopChecked() const { return std::nullopt; }
    virtual std::optional<bool> stopSelected() const { return std::nullopt; }
    virtual bool stopEnabled() const { return true; }
    virtual bool stopAdjustable() const { return false; }
    // Text or a picture to read, not a stop: neither focusable nor pressable.
    virtual bool stopIsStatic() const { return false; }
    // The default action, and stepping by delta; both as a click would.
    virtual void stopPress() = 0;
    virtual void stopAdjust(int /*delta*/) {}
};

// Lets screen readers see every widget that is an AccessibleStop as one. Safe to call again.
void installStopAccessibility();

}  // namespace ovra
