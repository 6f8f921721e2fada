#pragma once

// The self-tests that drive the running app the way a user would and print what it shows after
// each step: find (the overlay's find field, typed into, dictated into, edited and left), scroll
// (the page scrolled by keys over a page that moves only in the fixture), the overlay snapshot
// (a PNG of the overlay drawn on the fixture) and keyboard (the overlay, every settings pane,
// the credits, the uninstall dialog and the home island, all from the keyboard). Each is
// started by its launch flag, opens the overlay on the built-in fixture window, and ends the
// process. They check nothing themselves: the transcript is the verdict.
//
// The app they run in was started on scratch settings, so nothing a test changes (the sidebar
// it turns off) reaches the user's settings file, even when a run is cut short. Main thread.

#include <cstdint>
#include <functional>
#include <string>

#include "app/shell/LaunchFlags.h"
#include "core/OvraPane.h"

namespace ovra {

class AppController;
class DashboardModel;
class HomeIslandController;
class Preferences;
class Scheduler;

namespace keyboard {
class KeyboardLayout;
}

namespace selftest {

// What a self-test drives and where its lines go.
struct SelfTestApp {
    AppController& controller;
    const DashboardModel& dashboard;  // the settings window's state
    Preferences& prefs;               // the scratch settings the app runs on
    Scheduler& scheduler;
    std::int64_t pid = 0;                              // this process
    const keyboard::KeyboardLayout* layout = nullptr;  // the keyboard's; none without one
    HomeIslandController* island = nullptr;
    std::function<void(OvraPane)> showDashboard;
    // One line on standard output, flushed at once.
    std::function<void(const std::string&)> print;
    // Ends the process with the code, once output is written.
    std::function<void(int)> exit;
};

void findTest(const SelfTestApp& app);
void scrollTest(const SelfTestApp& app);
// Writes the overlay on the fixture as a PNG at `path` 2.5 s after opening it.
void overlaySnapshot(const SelfTestApp& app, const std::string& path);
void keyboardTest(const SelfTestApp& app);
// The self-test a launch flag asks for; nothing for another flag.
void start(ScheduledFlag flag, const std::string& path, const SelfTestApp& app);

}  // namespace selftest
}  // namespace ovra
