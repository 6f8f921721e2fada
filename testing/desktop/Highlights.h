#pragma once

// The overlay as the desktop tests wait for it: its numbered highlights read as a screen reader
// reads them ("2, Play, Button") until the labels a test expects are numbered (or gone), and the
// keyboard back with the app once the overlay has faded.

#include <sys/types.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "testing/desktop/Commands.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/ObjectsOf.h"

namespace ovra::testing {

// Long enough for a reading of a browser's page on a loaded 2-core machine.
inline constexpr double kHighlightsWait = 20;

// The number of the highlight of `label` in `names`; 0 when none numbers it.
inline int numberOf(const std::vector<std::string>& names, const std::string& label) {
    for (const std::string& name : names) {
        if (name.find(", " + label + ",") != std::string::npos) {
            return std::atoi(name.c_str());
        }
    }
    return 0;
}

// The highlights of the overlay of the app `app` once every one of `labels` is numbered, or,
// with `shown` false, once some are shown and none of `labels` is among them; what they were
// when the wait ran out otherwise.
inline std::vector<std::string> highlightsWith(pid_t app, const std::vector<std::string>& labels,
                                               bool shown = true,
                                               double seconds = kHighlightsWait) {
    std::vector<std::string> names;
    eventually(
        [&] {
            names = highlightNames(app);
            const auto numbered = [&](const std::string& label) {
                return numberOf(names, label) > 0;
            };
            return shown ? std::all_of(labels.begin(), labels.end(), numbered)
                         : !names.empty() && std::none_of(labels.begin(), labels.end(), numbered);
        },
        seconds);
    return names;
}

// The number of `label`'s highlight once it shows; 0 when it never did.
inline int numberWhenShown(pid_t app, const std::string& label, double seconds = kHighlightsWait) {
    return numberOf(highlightsWith(app, {label}, true, seconds), label);
}

// Once the overlay has faded and the window of the process `app` is active again: keys typed
// then go to it.
inline bool keyboardBackTo(pid_t app, double seconds = kHighlightsWait) {
    return eventually([&] { return !overlayOnScreen() && activeWindowPid() == app; }, seconds);
}

}  // namespace ovra::testing
