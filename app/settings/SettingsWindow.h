#pragma once

// The settings window ("dashboard"): the sidebar of panes, a divider, and the scrolling content
// column (banner, the pane's header, its rows, the theme sample on the Look pane, a line of
// keyboard help) over ruled paper. Everything is painted from the dashboard model, the
// preferences and the controller's state, with one scale (the window's width over 900, within
// 1.0 to 1.5, times the text size within 1.0 to 1.3) and one dark flag (the appearance setting;
// "system" follows the desktop's colour scheme).
//
// Keys reach the window through one filter on its QWindow (key presses, and shortcut overrides
// so that Ctrl with a digit wins over any shortcut), which hands them to the keyboard model and
// applies its outcome. The focused stop holds the real keyboard focus, so a screen reader hears
// each move as a focus change; what changes in place (a value, the feature shown) goes through
// the announcer instead, never both for one move. Closing only hides the window.

#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/settings/DashboardContent.h"
#include "app/settings/DashboardKeys.h"
#include "app/settings/SettingsKeyInput.h"
#include "app/settings/views/HoverIntent.h"

class QScrollArea;
class QVBoxLayout;

namespace ovra {

class Scheduler;
class DesktopAccessibilityStatus;
class PermissionGuide;
class PaneSidebarView;
class OvraSectionsView;
class InstructionsPaneView;

namespace announcer {
class Announcer;
}

struct SettingsWindowServices {
    Preferences& prefs;
    DashboardModel& dashboard;
    DashboardController& controller;
    DashboardDialogs& dialogs;
    Scheduler& scheduler;
    // The keyboard's current layout; none without an X keyboard (keys are then placed by Qt).
    LayoutSource keyboardLayout;
    // The announcer of this window; none: the window makes its own for screen readers.
    announcer::Announcer* announcer = nullptr;
    // "--trace-keys": one line per handled key.
    std::function<void(const std::string&)> trace;
    // The hour (0 to 23) and the user's full name, for the greeting.
    std::function<int()> hour;
    std::string fullName;
    // Ctrl+comma, the app's settings command: the host shows the General pane.
    std::function<void()> settingsCommand;
    // After the window closed (hid).
    std::function<void()> closed;
    // Shown in place of the Home pane's header while access is missing; none: a title there.
    PermissionGuide* guide = nullptr;
};

class SettingsWindow final : public QWidget {
    Q_OBJECT

  public:
    explicit SettingsWindow(SettingsWindowServices services, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    // Builds the window from the models now; otherwise a change is shown on the next turn of
    // the event loop.
    void refresh();
    void scheduleRefresh();

    // One key through the keyboard model; false when it means nothing here.
    bool handleKey(const DashboardKey& key);

    double viewScale() const { return windowScale_ * textScale(); }
    bool dark() const { return dark_; }
    // The widget of a stop ("pane.Look", "look.dim"); none when it is not shown.
    QWidget* stopWidget(const std::string& id) const;
    PaneContext context() const;
    // The window's announcer (also for the updater's messages).
    announcer::Announcer& announcer() { return *services_.announcer; }
    // The last pointer location the window's hovers compare with; its dialogs share it.
    HoverIntent& hover() { return hover_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    double textScale() const;
    bool appearanceIsDark() const;
    void rebuildContent(const std::vector<OvraSection>& sections);
    void focusStopWidget();
    void scrollToFocus(bool animated);
    // After a key or a rebuild: says the focus unless the move was heard as a focus change.
    void announceFocus(const std::optional<std::string>& before, QWidget* widgetBefore);
    void chooseFromPointer(OvraPane pane);
    void focusFromPointer(const std::string& id);
    // A feature chosen by a click (which also focuses the list) or a screen reader: shown and
    // said with its sentence.
    void chooseFeature(OvraFeature feature, bool fromPointer);

    SettingsWindowServices services_;
    std::unique_ptr<announcer::Announcer> ownAnnouncer_;
    std::unique_ptr<DesktopAccessibilityStatus> featureStatus_;
    std::size_t featureListener_ = 0;
    HoverIntent hover_;
    PaneSidebarView* sidebar_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QWidget* column_ = nullptr;
    QVBoxLayout* columnLayout_ = nullptr;
    OvraSectionsView* sections_ = nullptr;
    InstructionsPaneView* instructions_ = nullptr;
    QWidget* banner_ = nullptr;
    QWidget* header_ = nullptr;
    QWidget* preview_ = nullptr;
    QWidget* help_ = nullptr;
    std::string bannerKey_, headerKey_, previewKey_, helpKey_;
    double windowScale_ = 1;
    bool dark_ = false;
    bool refreshQueued_ = false;
    bool refreshing_ = false;
    // The pane and row stops of the last build, for the focus repair after a rebuild.
    OvraPane builtPane_ = OvraPane::home;
    std::vector<std::string> builtStops_;
    std::optional<std::string> scrolledTo_;
    QPointer<QVariantAnimation> scrollAnimation_;
    std::uint64_t prefsListener_ = 0;
    std::uint64_t modelListener_ = 0;
};

}  // namespace ovra
