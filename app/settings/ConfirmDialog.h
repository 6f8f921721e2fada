#pragma once

// The app's own two-button question, answered from the keyboard alone: arrows and Tab move
// between Cancel and the confirm button (the focus starts on Cancel), Return, Space or Enter
// choose the focused one, Esc cancels, R confirms and C cancels. Clicks choose too; a hover
// moves the focus only after real pointer motion. Closing the window through the window manager
// counts as Cancel.
//
// Two forms: without a modal loop the answer goes to `onChoose` (the credits, forgetting every
// choice); with one, `runModal` returns the answer (removing the app). Either way the dialog sits
// over its parent window: centred across it, a tenth of its height above its middle.

#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>

#include "app/settings/ConfirmModel.h"
#include "app/settings/SettingsKeyInput.h"
#include "app/settings/views/HoverIntent.h"

class QEventLoop;
class QLabel;

namespace ovra {

class ConfirmButtonView;

class ConfirmDialog final : public QWidget {
    Q_OBJECT

  public:
    struct Services {
        HoverIntent* hover = nullptr;  // shared with the window it opens over
        LayoutSource keyboardLayout;
        std::function<void(const std::string&)> trace;  // "--trace-keys"
    };

    ConfirmDialog(ConfirmModel model, bool dark, Services services);
    ~ConfirmDialog() override;

    ConfirmModel& model() { return model_; }
    // Non-modal form: called once with the answer; the dialog then hides itself.
    std::function<void(bool)> onChoose;

    // Places the dialog over `parent` (centred on the screen without a visible parent), shows
    // and activates it, and traces "open".
    void open(QWidget* parent);
    // Modal form: opens the dialog and returns the answer once one is chosen.
    bool runModal(QWidget* parent);
    // Hides the dialog without an answer: onChoose is not called.
    void dismiss();
    // Says something new in place of the message (what was still being found out when the
    // dialog opened); the focus and the answer stay as they are.
    void setMessage(const std::string& message);

    // One key as the dialog's keyboard reads it (the window's key filter calls it).
    void handleKey(const DashboardKey& key);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void choose(bool answer);
    void showFocus();
    void trace(const std::string& what) const;

    ConfirmModel model_;
    bool dark_;
    Services services_;
    HoverIntent ownHover_;
    std::array<ConfirmButtonView*, 2> buttons_{};  // by index: 0 confirm, 1 cancel
    QLabel* message_ = nullptr;
    QPointer<QEventLoop> loop_;
    bool answered_ = false;
};

}  // namespace ovra
