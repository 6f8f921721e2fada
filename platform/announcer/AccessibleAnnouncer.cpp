#include "platform/announcer/AccessibleAnnouncer.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <mutex>

#include "platform/announcer/AnnouncementWidget.h"

namespace ovra::announcer {

namespace {

class AnnouncementAccessible final : public QAccessibleWidget {
  public:
    explicit AnnouncementAccessible(AnnouncementWidget* widget)
        : QAccessibleWidget(widget, QAccessible::Notification) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name) {
            return static_cast<const AnnouncementWidget*>(widget())->text();
        }
        return {};
    }
};

QAccessibleInterface* announcementFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(AnnouncementWidget::staticMetaObject.className())) {
        return new AnnouncementAccessible(static_cast<AnnouncementWidget*>(object));
    }
    return nullptr;
}

}  // namespace

AnnouncementWidget::AnnouncementWidget(QWidget* parent) : QWidget(parent) {
    static std::once_flag factoryInstalled;
    std::call_once(factoryInstalled, [] { QAccessible::installFactory(announcementFactory); });
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(0, 0, 0, 0);
    hide();
}

void AnnouncementWidget::announce(const QString& text) {
    text_ = text;
    // Orca reads the name when it handles the event: the text is in place before it is sent.
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

AccessibleAnnouncer::AccessibleAnnouncer(QWidget& window) {
    for (auto*& slot : slots_) {
        slot = new AnnouncementWidget(&window);
    }
}

void AccessibleAnnouncer::announce(std::string_view text, AnnouncementPriority) {
    // Orca has no priorities for these: every announcement interrupts the one before.
    if (!QAccessible::isActive() || text.empty()) {
        return;
    }
    slots_[next_]->announce(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    next_ = (next_ + 1) % slots_.size();
}

}  // namespace ovra::announcer
