#pragma once

// The sidebar: the list form of the overlay. A dark column that lists every reachable control
// under its section heading, with a number badge for each numbered highlight and a count of the
// things the user can do; in find mode the find field and a count of the matches head it. The
// selected row is outlined in the ring colour and kept centred as the keyboard moves; a row
// selects itself when the pointer really moves onto it, and presses its control when clicked.

#include <QImage>
#include <QScrollArea>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/overlay/AccessibleElements.h"
#include "app/overlay/OverlayModel.h"
#include "app/overlay/PointerIntent.h"
#include "app/overlay/TextBlock.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class FindField;

using ActivateHandler = std::function<void(const std::string& id)>;

// The heading of the column: "ON THIS PAGE" and the count, or in find mode "FIND", the find
// field and the count of matches. Read by screen readers as one line.
class SidebarHeader final : public QWidget {
    Q_OBJECT
  public:
    SidebarHeader(OverlayModel& model, Scheduler& scheduler, QWidget* parent);
    void sync();
    FindField* findField() const { return field_; }
    int preferredHeight() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    double scale() const { return model_.textScale; }
    QString kicker() const;
    QString countText() const;

    OverlayModel& model_;
    Scheduler& scheduler_;
    FindField* field_ = nullptr;
};

// The rows, drawn in one widget inside the column's scroll area.
class SidebarList final : public QWidget, public AccessibleElementSource {
    Q_OBJECT
  public:
    SidebarList(OverlayModel& model, PointerIntent& pointer, ActivateHandler onActivate,
                QWidget* parent);

    // Lays the rows out again for the model's state, `width` wide; when they do not fit in
    // `visibleHeight`, `barWidth` narrower, leaving room for the scroll bar that will show.
    void relayout(int width, int visibleHeight, int barWidth);
    // The selected row's rectangle, in this widget's coordinates.
    std::optional<QRect> selectedRow() const;

    const std::vector<AccessibleElement>& accessibleElements() const override;
    void pressAccessibleElement(const std::string& key) override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    struct Row {
        std::string id;
        QRect rect;  // the row's button, inside the column's side padding
        TextBlock label;
        QString detail;
        QString badge;
        bool selected = false;
        bool dimmed = false;
        QString accessibleName;
    };
    struct Title {
        QString text;
        QRect rect;
    };
    // Makes the rows and titles for `width`; the height they take.
    int layRows(int width);
    int rowAt(QPoint point) const;
    void paintRows(QPainter& painter, const QRect& area) const;

    OverlayModel& model_;
    PointerIntent& pointer_;
    ActivateHandler onActivate_;
    std::vector<Row> rows_;
    std::vector<Title> titles_;
    std::vector<AccessibleElement> elements_;  // the titles and rows
    std::vector<AccessibleElement> toldElements_;
    QImage cache_;
    int hoverRow_ = -1;
};

class SidebarView final : public QWidget {
    Q_OBJECT
  public:
    SidebarView(OverlayModel& model, Scheduler& scheduler, PointerIntent& pointer,
                ActivateHandler onActivate, QWidget* parent);
    ~SidebarView() override;

    // Brings the column up to date with the model: header, rows, and the scroll that keeps the
    // selected row centred.
    void sync();
    void setReduceTransparency(bool on);
    // The selected row's frame in `space`'s coordinates, when a row is selected.
    std::optional<QRect> selectedRowFrame(const QWidget* space) const;
    FindField* findField() const { return header_->findField(); }
    SidebarList* list() const { return list_; }
    QScrollArea* scrollArea() const { return scroll_; }

  Q_SIGNALS:
    // The selected row moved on screen (scrolled, laid out again or another row selected).
    void selectedRowMoved();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void layoutChildren();
    void centreSelection(bool animated);

    OverlayModel& model_;
    Scheduler& scheduler_;
    SidebarHeader* header_;
    QScrollArea* scroll_;
    SidebarList* list_;
    bool reduceTransparency_ = false;
    std::optional<int> shownSelection_;
    Scheduler::Token scrollTimer_ = 0;
};

}  // namespace ovra
