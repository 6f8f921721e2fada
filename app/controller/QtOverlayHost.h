#pragma once

// The overlay panel as the controller's overlay window: on the screen of the target window, with
// the model's frame mapping and island geometry for that screen, its announcements posted as
// notification objects a screen reader speaks, and the pointer's resting place recorded at every
// key press.

#include <memory>
#include <optional>

#include "app/controller/ControllerServices.h"
#include "app/overlay/DesktopDisplay.h"
#include "app/overlay/OverlayPanel.h"
#include "app/overlay/PointerIntent.h"
#include "platform/announcer/AccessibleAnnouncer.h"

namespace ovra {

class QtOverlayHost final : public OverlayHost {
  public:
    struct Options {
        const keyboard::KeyboardLayout* keyboard = nullptr;  // the live layout, when there is one
        bool simulateNotch = false;
        // The desktop's display preferences the overlay follows; none: all off.
        desktopstatus::DisplayPreferencesSource* display = nullptr;
        // The on-screen button's frame (root window space) while it shows.
        std::function<std::optional<Rect>()> buttonFrame;
    };

    QtOverlayHost(OverlayModel& model, Scheduler& scheduler, PointerIntent& pointer,
                  OverlayCallbacks callbacks, Options options);
    ~QtOverlayHost() override;

    void present(std::optional<Rect> frame) override;
    void orderOut() override { panel_.orderOut(); }
    bool isShown() const override { return panel_.isShown(); }
    void setKeyHandler(KeyHandler handler) override;
    void setInputTransparent(bool transparent) override { panel_.setInputTransparent(transparent); }
    void announce(std::string_view text) override;
    void focusContent() override { panel_.focusContent(); }
    void sendEditCommand(EditCommand command) override;
    void refreshBackdrop() override { panel_.refreshBackdrop(); }

    OverlayPanel& panel() { return panel_; }

  private:
    OverlayModel& model_;
    PointerIntent& pointer_;
    Options options_;
    OverlayPanel panel_;
    std::optional<FollowDesktopDisplay> display_;
    announcer::AccessibleAnnouncer announcer_;
};

// The factory the controller makes its overlay with.
OverlayHostFactory qtOverlayHostFactory(Scheduler& scheduler, PointerIntent& pointer,
                                        QtOverlayHost::Options options);

}  // namespace ovra
