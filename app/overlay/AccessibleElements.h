#pragma once

// Drawn controls as screen readers see them: a widget that paints several controls itself (the
// overlay's rings, the sidebar's rows) lists them as elements, and each element appears over
// AT-SPI as a child object of the widget with its role, name, place, selected state and a press
// action.

#include <QAccessible>
#include <QRect>
#include <QString>
#include <string>
#include <vector>

class QWidget;

namespace ovra {

struct AccessibleElement {
    std::string key;  // stable while the element exists
    QString name;
    QRect rect;  // in the widget's own coordinates
    QAccessible::Role role = QAccessible::Button;
    bool selectable = false;
    bool selected = false;

    friend bool operator==(const AccessibleElement&, const AccessibleElement&) = default;
};

class AccessibleElementSource {
  public:
    virtual ~AccessibleElementSource() = default;
    // In reading order; asked again whenever a screen reader looks, so kept ready rather than
    // made on each call (a screen reader asks once for each element).
    virtual const std::vector<AccessibleElement>& accessibleElements() const = 0;
    virtual void pressAccessibleElement(const std::string& key) = 0;
    virtual QAccessible::Role accessibleRole() const { return QAccessible::Grouping; }
};

// Lets screen readers see the elements of every widget that is an AccessibleElementSource (and
// a few painted widgets of the overlay with their roles). Safe to call more than once.
void installOverlayAccessibility();

// Tells screen readers that the keyboard is on the widget's selected element (a pop-up that took
// the keyboard): their focus moves there from the window behind.
void notifyAccessibleFocus(QWidget* widget);

// Tells screen readers that a widget's elements changed, when they differ from `told`, the
// elements last told (which it then updates). Each telling costs an event for every element.
void notifyAccessibleElementsChanged(QWidget* widget, std::vector<AccessibleElement>& told);

}  // namespace ovra
