#pragma once

// What the outcome of a press tells: the log's line for it, and what the user hears and reads
// when the control was not pressed, or may not have been.

#include <optional>
#include <string>
#include <vector>

#include "app/accessibility/ElementActions.h"

namespace ovra::PressReport {

// "Ovra pressed "Play": pressed, it relabelled itself "Pause"", "Ovra did not press "Save": the
// control changed", …
std::string logLine(const std::string& label, const PressOutcome& outcome);
// Why the control was not pressed; none when the press landed. `dialogs`: the titles of the
// app's modal dialogs, topmost first, one of which a press refused for one names.
std::optional<std::string> sentence(const PressOutcome& outcome,
                                    const std::vector<std::string>& dialogs = {});
// The sentence as a plan's panel shows it, after the name of the control it is about ("“Save”:
// The control changed, so nothing was pressed."): the plan selects its first control, which is
// not the one meant. Without a name, the sentence alone.
std::string aboutControl(const std::string& label, const std::string& sentence);
// "This app is waiting for “Save changes?” to be answered, …", naming the first of `dialogs`.
std::string waitingForDialog(const std::vector<std::string>& dialogs);

// How the user is told why, after a press that did not land.
enum class Telling {
    onTheOpenPlan,  // nothing was pressed: as a notice of the plan the user opened meanwhile
    overThePage,    // nothing was pressed: over the window read again (or being read), to choose
    alone,          // over the screen with no plan: the app has gone, or the press may have
                    // landed and the same control must not lie under the next Return
};
// `appRunning`: the app still runs; `requestOpen`: an overlay was opened over it meanwhile,
// `planShown` whether it shows its plan yet.
Telling telling(const PressOutcome& outcome, bool appRunning, bool requestOpen, bool planShown);

}  // namespace ovra::PressReport
