#pragma once

// Private to the AT-SPI backend: presses whose effect is a menu. A menu opener has pressed only
// once its menu shows, and Qt's buttons with a menu answer their action only once that menu
// closes again, so such a press is followed by what the app shows, not by its answer. GTK 4's
// menu button has no action at all: the button inside it takes its press. And what a native
// press that got no answer became.

#include <optional>
#include <string>
#include <vector>

#include "platform/atspi/AtspiPressWay.h"
#include "platform/atspi/AtspiSession_p.h"

namespace ovra::atspi::session {

// The states of `path` as the app tells them now, not as a reading kept them; none when it does
// not answer.
std::optional<StateSet> freshStates(RequestPipeline& requests, const std::string& busName,
                                    const std::string& path);

// What the app of a native press action sent at `sent` that got no answer is doing (see
// unansweredVerdict): its process is looked at, it is asked once more unless stopped, and what
// it told since is looked up.
AfterUnanswered lookAfterUnanswered(AtspiSession& session, const std::string& busName,
                                    Clock::time_point sent);

// Performs action `index` of a native menu opener (see pressOpensMenu), or of the button inside
// one (`opener`, when it is not the element pressed), and waits, for at most kMenuWait, until
// its menu shows, or goes when it showed before (a second press of a menu bar item closes its
// menu). Nothing when that came. An action the app accepted (or is running) is never done again:
// a menu that did not show in time leaves it unconfirmed. An app that refused it did nothing
// (cannotComplete); one that never answered is judged by judgeUnanswered. Qt and GTK 3 showed their
// menus within 25 ms, GTK 4 its popover within 0.45 s.
inline constexpr double kMenuWait = 2.0;
std::optional<AXError> pressMenuOpener(AtspiSession& session, const std::string& busName,
                                       const std::string& path, int index,
                                       const std::string& opener = {});

// The button inside a native button without an action of its own that takes its press (see
// innerPress): its path and action names. Such a button opens a menu (GTK 4's menu button, its
// scale button): the press has worked once the menu shows.
struct InnerButton {
    std::string path;
    std::vector<std::string> actions;
};
std::optional<InnerButton> innerButton(AtspiSession& session, const std::string& busName,
                                       const std::string& path);

}  // namespace ovra::atspi::session
