#pragma once

// The Instructions pane's two small pieces. A key chip is one key cap: the text printed on a
// key (shown as it is) in a fixed-width face on a raised tile, optionally after a symbol. The
// card button is the feature card's focusable button: a symbol and a title in a rounded frame,
// tinted when primary, ringed when it holds the settings focus; a click, a hover with real
// pointer motion and a screen reader's press reach it the way the keyboard does.

#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "app/settings/views/AccessibleStop.h"
#include "app/settings/views/HoverIntent.h"

class QPainter;

namespace ovra {

class KeyChip final {
  public:
    KeyChip(std::string label, std::optional<std::string> symbol, bool dark, double scale);
    QSizeF size() const;
    void paint(QPainter& painter, QPointF topLeft) const;

  private:
    std::string label_;
    std::optional<std::string> symbol_;
    bool dark_;
    double scale_;
};

class CardButton final : public QWidget, public AccessibleStop {
    Q_OBJECT

  public:
    struct Look {
        std::string title;  // localized by the caller
        std::string symbol;
        bool primary = false;
        bool focused = false;
        bool dark = false;
        double scale = 1;
    };

    // `onFocus` moves the settings focus here; `run` is the button's action.
    CardButton(HoverIntent& hover, std::function<void()> onFocus, std::function<void()> run,
               QWidget* parent = nullptr);

    void setLook(Look look);
    const Look& look() const { return look_; }
    // The button's outline inside the widget, which keeps the focus ring's reach around it.
    QRectF outline() const;
    QSize sizeHint() const override;

    QAccessible::Role stopRole() const override { return QAccessible::Button; }
    QString stopName() const override;
    void stopPress() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

  private:
    HoverIntent& hover_;
    std::function<void()> onFocus_;
    std::function<void()> run_;
    Look look_;
};

}  // namespace ovra
