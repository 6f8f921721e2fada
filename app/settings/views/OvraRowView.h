#pragma once

// One settings row, painted: its icon, title and subtitle, and by kind a chevron, a switch, or
// the value between two steppers; the focus ring when it holds the settings focus; dimmed when
// disabled. A click focuses the row and activates it (a stepper adjusts it instead); a hover
// focuses it only after real pointer motion; screen readers press and adjust it the same way.
// Note rows are plain wrapped text; one that is a stop shows the ring round it when focused.

#include <QWidget>

#include "app/settings/OvraRow.h"
#include "app/settings/views/AccessibleStop.h"
#include "app/settings/views/HoverIntent.h"

namespace ovra {

class OvraRowView final : public QWidget, public AccessibleStop {
    Q_OBJECT

  public:
    OvraRowView(HoverIntent& hover, QWidget* parent = nullptr);

    void setRow(OvraRow row, bool focused, double scale, bool dark);
    const OvraRow& row() const { return row_; }
    bool isFocusedRow() const { return focused_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    QAccessible::Role stopRole() const override;
    QString stopName() const override;
    QString stopDescription() const override;
    std::optional<bool> stopChecked() const override;
    bool stopEnabled() const override { return row_.enabled; }
    bool stopAdjustable() const override { return row_.isAdjustable(); }
    bool stopIsStatic() const override { return row_.isNote() && !row_.isStop(); }
    void stopPress() override;
    void stopAdjust(int delta) override;

  Q_SIGNALS:
    // The row asks for the settings focus.
    void focusRequested(const QString& id);
    // The row ran its action or changed its value.
    void acted();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

  private:
    struct Geometry {
        QRectF card;
        QRectF icon;
        QRectF title;
        QRectF subtitle;
        QRectF accessory;
        QRectF leftStepper;
        QRectF rightStepper;
        QRectF value;
        qreal height = 0;
    };
    Geometry layout(qreal width) const;
    qreal accessoryWidth() const;
    void paintAccessory(QPainter& painter, const Geometry& g) const;

    HoverIntent& hover_;
    OvraRow row_;
    bool focused_ = false;
    double scale_ = 1;
    bool dark_ = false;
    int pressedStepper_ = 0;  // -1 left, +1 right, 0 none
};

}  // namespace ovra
