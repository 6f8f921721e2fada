#include "app/overlay/AccessibleElements.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <map>
#include <mutex>

namespace ovra {

namespace {

class ElementsAccessible;

// One drawn control. It asks its container for its current state on every call, so it never
// shows stale values; once the control is gone it reports itself invalid.
class ElementAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
  public:
    ElementAccessible(QWidget* widget, std::string key) : widget_(widget), key_(std::move(key)) {}

    bool isValid() const override { return current() != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        return widget_ ? widget_->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        return widget_ ? QAccessible::queryAccessibleInterface(widget_.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        const AccessibleElement* e = current();
        return e && t == QAccessible::Name ? e->name : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        const AccessibleElement* e = current();
        if (!e || !widget_) {
            return {};
        }
        return QRect(widget_->mapToGlobal(e->rect.topLeft()), e->rect.size());
    }
    QAccessible::Role role() const override {
        const AccessibleElement* e = current();
        return e ? e->role : QAccessible::NoRole;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        const AccessibleElement* e = current();
        const QWidget* widget = widget_.data();
        if (!e || widget == nullptr || !widget->isVisible()) {
            s.invisible = true;
            return s;
        }
        s.selectable = e->selectable;
        s.selected = e->selected;
        // The selected entry of a window that holds the keyboard is where the keys go.
        s.focusable = e->selectable;
        s.focused = e->selected && widget->window() == QApplication::activePopupWidget();
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ActionInterface && role() == QAccessible::Button) {
            return static_cast<QAccessibleActionInterface*>(this);
        }
        return nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        auto* source = dynamic_cast<AccessibleElementSource*>(widget_.data());
        if (action == pressAction() && source && current() != nullptr) {
            source->pressAccessibleElement(key_);
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    const std::string& key() const { return key_; }

  private:
    const AccessibleElement* current() const {
        const auto* source = dynamic_cast<const AccessibleElementSource*>(widget_.data());
        if (!source) {
            return nullptr;
        }
        for (const AccessibleElement& e : source->accessibleElements()) {
            if (e.key == key_) {
                return &e;
            }
        }
        return nullptr;
    }

    QPointer<QWidget> widget_;
    std::string key_;
};

// A widget with drawn controls: its elements come first among its children, then its child
// widgets.
class ElementsAccessible final : public QAccessibleWidget {
  public:
    ElementsAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}
    ~ElementsAccessible() override {
        for (const auto& [key, id] : children_) {
            QAccessible::deleteAccessibleInterface(id);
        }
    }

    int childCount() const override {
        return static_cast<int>(elements().size()) + QAccessibleWidget::childCount();
    }
    QAccessibleInterface* child(int index) const override {
        const std::vector<AccessibleElement>& list = elements();
        if (index < 0) {
            return nullptr;
        }
        if (static_cast<std::size_t>(index) < list.size()) {
            return childFor(list[static_cast<std::size_t>(index)].key, list);
        }
        return QAccessibleWidget::child(index - static_cast<int>(list.size()));
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const std::vector<AccessibleElement>& list = elements();
        if (const auto* element = dynamic_cast<const ElementAccessible*>(child)) {
            for (std::size_t i = 0; i < list.size(); ++i) {
                if (list[i].key == element->key()) {
                    return static_cast<int>(i);
                }
            }
            return -1;
        }
        const int index = QAccessibleWidget::indexOfChild(child);
        return index < 0 ? -1 : index + static_cast<int>(list.size());
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const std::vector<AccessibleElement>& list = elements();
        const QPoint local = widget()->mapFromGlobal(QPoint(x, y));
        for (const AccessibleElement& e : list) {
            if (e.rect.contains(local)) {
                return childFor(e.key, list);
            }
        }
        return QAccessibleWidget::childAt(x, y);
    }

  private:
    const std::vector<AccessibleElement>& elements() const {
        static const std::vector<AccessibleElement> none;
        const auto* source = dynamic_cast<const AccessibleElementSource*>(widget());
        return source ? source->accessibleElements() : none;
    }

    // The same interface for the same element every time; interfaces of elements that are gone
    // are dropped here, so screen readers drop them too.
    QAccessibleInterface* childFor(const std::string& key,
                                   const std::vector<AccessibleElement>& list) const {
        for (auto it = children_.begin(); it != children_.end();) {
            const bool alive =
                std::any_of(list.begin(), list.end(),
                            [&](const AccessibleElement& e) { return e.key == it->first; });
            if (alive) {
                ++it;
            } else {
                QAccessible::deleteAccessibleInterface(it->second);
                it = children_.erase(it);
            }
        }
        auto found = children_.find(key);
        if (found == children_.end()) {
            auto* made = new ElementAccessible(widget(), key);
            found = children_.emplace(key, QAccessible::registerAccessibleInterface(made)).first;
        }
        return QAccessible::accessibleInterface(found->second);
    }

    mutable std::map<std::string, QAccessible::Id> children_;
};

QAccessibleInterface* overlayAccessible(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType()) {
        return nullptr;
    }
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1String("ovra::SidebarHeader")) {
        return new QAccessibleWidget(widget, QAccessible::StaticText);
    }
    // A plain top-level widget reads as a filler; the overlay's panel is a window.
    if (className == QLatin1String("ovra::OverlayPanel")) {
        return new QAccessibleWidget(widget, QAccessible::Window);
    }
    if (auto* source = dynamic_cast<AccessibleElementSource*>(widget);
        source && className == QLatin1String(widget->metaObject()->className())) {
        return new ElementsAccessible(widget, source->accessibleRole());
    }
    return nullptr;
}

}  // namespace

void installOverlayAccessibility() {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(overlayAccessible); });
}

void notifyAccessibleFocus(QWidget* widget) {
    const auto* source = dynamic_cast<const AccessibleElementSource*>(widget);
    QAccessibleInterface* container = QAccessible::queryAccessibleInterface(widget);
    if (source == nullptr || container == nullptr || !QAccessible::isActive()) {
        return;
    }
    const auto& elements = source->accessibleElements();
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (elements[i].selected) {
            if (QAccessibleInterface* child = container->child(static_cast<int>(i))) {
                QAccessibleEvent event(child, QAccessible::Focus);
                QAccessible::updateAccessibility(&event);
            }
            return;
        }
    }
}

void notifyAccessibleElementsChanged(QWidget* widget, std::vector<AccessibleElement>& told) {
    const auto* source = dynamic_cast<const AccessibleElementSource*>(widget);
    if (source == nullptr || source->accessibleElements() == told) {
        return;
    }
    told = source->accessibleElements();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(widget, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&event);
    }
}

}  // namespace ovra
