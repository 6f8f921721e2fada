#pragma once

// The settings window's sidebar: the app's name under the bird, and one entry per pane with its
// symbol, title and the digit that picks it with Ctrl. An entry is a keyboard stop ("pane." and
// the pane's raw value): it shows the focus ring while focused and its selected look while its
// pane is shown. A click shows its pane and focuses it; a hover after real pointer motion only
// focuses it; a screen reader's press does what a click does.

#include <QWidget>
#include <array>
#include <optional>
#include <string>

#include "app/settings/views/AccessibleStop.h"
#include "app/settings/views/HoverIntent.h"
#include "core/OvraPane.h"

namespace ovra {

class PaneEntryView final : public QWidget, public AccessibleStop {
    Q_OBJECT

  public:
    PaneEntryView(OvraPane pane, HoverIntent& hover, QWidget* parent = nullptr);
    void setLook(bool selected, bool focused, double scale, bool dark);
    OvraPane pane() const { return pane_; }

    QSize sizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QAccessible::Role stopRole() const override { return QAccessible::PageTab; }
    QString stopName() const override;
    std::optional<bool> stopSelected() const override { return selected_; }
    void stopPress() override;

  Q_SIGNALS:
    void chosen(ovra::OvraPane pane);   // a click or a press: show the pane, focus the entry
    void hovered(ovra::OvraPane pane);  // focus the entry only

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

  private:
    OvraPane pane_;
    HoverIntent& hover_;
    bool selected_ = false;
    bool focused_ = false;
    double scale_ = 1;
    bool dark_ = false;
};

class PaneSidebarView final : public QWidget {
    Q_OBJECT

  public:
    PaneSidebarView(HoverIntent& hover, QWidget* parent = nullptr);
    void setState(OvraPane shown, const std::optional<std::string>& focusID, double scale,
                  bool dark);
    PaneEntryView* entry(OvraPane pane) const;

  Q_SIGNALS:
    void chosen(ovra::OvraPane pane);
    void hovered(ovra::OvraPane pane);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::array<PaneEntryView*, 7> entries_{};
    QWidget* title_ = nullptr;
    double scale_ = 1;
    bool dark_ = false;
};

}  // namespace ovra
