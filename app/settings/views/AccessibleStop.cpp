#include "app/settings/views/AccessibleStop.h"

#include <QAccessibleWidget>
#include <QWidget>
#include <mutex>

namespace ovra {

namespace {

class StopAccessible final : public QAccessibleWidget {
  public:
    StopAccessible(QWidget* widget, AccessibleStop& stop)
        : QAccessibleWidget(widget, stop.stopRole()), stop_(stop) {}

    QAccessible::Role role() const override { return stop_.stopRole(); }

    QString text(QAccessible::Text kind) const override {
        switch (kind) {
            case QAccessible::Name:
                return stop_.stopName();
            case QAccessible::Description:
                return stop_.stopDescription();
            default:
                return {};
        }
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.focusable = !stop_.stopIsStatic();
        if (const auto checked = stop_.stopChecked()) {
            s.checkable = true;
            s.checked = *checked;
        }
        if (const auto selected = stop_.stopSelected()) {
            s.selectable = true;
            s.selected = *selected;
        }
        s.disabled = !stop_.stopEnabled();
        return s;
    }

    QStringList actionNames() const override {
        if (stop_.stopIsStatic()) {
            return {};
        }
        QStringList names{pressAction()};
        if (stop_.stopAdjustable()) {
            names << increaseAction() << decreaseAction();
        }
        return names;
    }

    void doAction(const QString& name) override {
        if (name == pressAction() || name == toggleAction()) {
            stop_.stopPress();
        } else if (name == increaseAction()) {
            stop_.stopAdjust(1);
        } else if (name == decreaseAction()) {
            stop_.stopAdjust(-1);
        } else {
            QAccessibleWidget::doAction(name);
        }
    }

  private:
    AccessibleStop& stop_;
};

QAccessibleInterface* stopFactory(const QString&, QObject* object) {
    if (object == nullptr || !object->isWidgetType()) {
        return nullptr;
    }
    auto* widget = static_cast<QWidget*>(object);
    if (auto* stop = dynamic_cast<AccessibleStop*>(widget)) {
        return new StopAccessible(widget, *stop);
    }
    return nullptr;
}

}  // namespace

void installStopAccessibility() {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(stopFactory); });
}

}  // namespace ovra
