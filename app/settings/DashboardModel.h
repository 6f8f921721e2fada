#pragma once

// The settings window's model: the pane shown, the keyboard stop that has the focus, the status
// banner and the Instructions pane's state. One model lives as long as the controller, so all of
// it survives closing and reopening the window. Listeners are told before a field changes and
// after the new value is in place. Main thread only.

#include <functional>
#include <optional>
#include <string>

#include "app/controller/ChangeListeners.h"
#include "core/Instructions.h"
#include "core/OvraPane.h"

namespace ovra {

enum class DashboardField { pane, focusID, banner, bannerIsProblem, feature, reading };

class DashboardModel final {
  public:
    // Home, with the focus on its sidebar entry, no banner, the first feature selected and
    // nothing being read.
    DashboardModel();
    DashboardModel(const DashboardModel&) = delete;
    DashboardModel& operator=(const DashboardModel&) = delete;

    OvraPane pane() const { return pane_; }
    void setPane(OvraPane pane);
    // A pane's stop id (the sidebar), a row id of the shown pane, or an Instructions stop; none
    // when no stop has the focus, which key handling treats like a focused sidebar.
    const std::optional<std::string>& focusID() const { return focusID_; }
    void setFocusID(std::optional<std::string> id);
    const std::optional<std::string>& banner() const { return banner_; }
    void setBanner(std::optional<std::string> text);
    // Whether the banner reports a problem (a warning symbol instead of a check mark).
    bool bannerIsProblem() const { return bannerIsProblem_; }
    void setBannerIsProblem(bool problem);
    // The feature selected in the Instructions pane.
    OvraFeature feature() const { return feature_; }
    void setFeature(OvraFeature feature);
    // The feature whose instructions are being read aloud; none when nothing is.
    const std::optional<OvraFeature>& reading() const { return reading_; }
    void setReading(std::optional<OvraFeature> feature);

    // Every opening of the window on a pane: shows it with the focus on its sidebar entry.
    void openOn(OvraPane pane);
    // Whether a sidebar entry has the focus (or nothing has).
    bool sidebarHasFocus() const;
    // The updater's message: the text and its problem flag, together.
    void showMessage(std::string text, bool problem);
    // The note that the accessibility permission is on. It never reports a problem, so a flag
    // left by an earlier message cannot colour it.
    void showPermissionNote(std::string text);

    using ListenerId = ChangeListeners<DashboardField>::Id;
    ListenerId onChange(std::function<void(DashboardField)> listener);
    ListenerId onWillChange(std::function<void(DashboardField)> listener);
    void removeListener(ListenerId id);

  private:
    template <class T>
    void write(DashboardField field, T& stored, T value);

    OvraPane pane_ = OvraPane::home;
    std::optional<std::string> focusID_;
    std::optional<std::string> banner_;
    bool bannerIsProblem_ = false;
    OvraFeature feature_;
    std::optional<OvraFeature> reading_;
    ChangeListeners<DashboardField> listeners_;
};

}  // namespace ovra
