#pragma once

// Whether a screen reader runs in this session: the accessibility bus launcher's
// org.a11y.Status.ScreenReaderEnabled (which Orca and the desktop's switch set), else a running
// process named "orca" (an Orca started by hand). Asked at each spoken sentence while the app's
// own voice is on; the bus question waits a quarter of a second at most.

#include <filesystem>

namespace ovra::desktopstatus {

bool screenReaderRunning();

// Whether a process named `name` runs, read from `proc`.
bool processRunning(const char* name, const std::filesystem::path& proc = "/proc");

}  // namespace ovra::desktopstatus
