#pragma once

// The permission guide as the settings window's Home pane shows it while other apps cannot be
// read: the bird and the app's name, why access is needed, three numbered steps, the button that
// turns accessibility on and opens the desktop's accessibility settings, the command that does it
// by hand, and the line that says how the last press went. Every size follows `scale` (the
// settings window's view scale); the host makes a new view when the scale or the look changes.

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include "app/shell/PermissionGuide.h"

namespace ovra {

class PermissionGuideView final : public QWidget {
    Q_OBJECT
  public:
    // `guide` must outlive the view.
    PermissionGuideView(PermissionGuide& guide, double scale, bool dark, QWidget* parent = nullptr);
    ~PermissionGuideView() override;

    QPushButton& button() { return *button_; }
    QLabel& statusLine() { return *status_; }

    // The colour of the subtitle and the by-hand line.
    static QColor secondaryColor(bool dark);

  private:
    void showStatus();

    PermissionGuide& guide_;
    PermissionGuide::ListenerId listener_;
    bool dark_;
    QPushButton* button_;
    QLabel* status_;
};

}  // namespace ovra
