#pragma once

// One announcement's object: a hidden, empty widget whose accessible role is "notification"
// and whose accessible name is the announcement's text.

#include <QString>
#include <QWidget>

namespace ovra::announcer {

class AnnouncementWidget final : public QWidget {
    Q_OBJECT

  public:
    explicit AnnouncementWidget(QWidget* parent);
    const QString& text() const { return text_; }
    // Takes the text and tells the accessibility bus the object is now showing.
    void announce(const QString& text);

  private:
    QString text_;
};

}  // namespace ovra::announcer
