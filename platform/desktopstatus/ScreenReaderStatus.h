#pragma once

// Whether a screen reader runs in this session: the accessibility bus launcher's
// org.a11y.Status.ScreenReaderEnabled (which Orca and the desktop's switch set), else a process
// named "orca" of this user whose session bus or display is this app's (an Orca started by
// hand). Another user's Orca, or the login screen's, reads another session and does not count.
//
// Asked at each spoken sentence, so it never waits: the answer is the last one found, and each
// look starts the next check in the background (the launcher asked without waiting, processes
// read on a worker thread). A screen reader that has just started is seen from the next
// sentence on.

#include <filesystem>
#include <memory>
#include <string>

namespace ovra::desktopstatus {

// A desktop session as a process's environment names it.
struct Session {
    std::string bus;      // DBUS_SESSION_BUS_ADDRESS
    std::string display;  // DISPLAY
    static Session ofThisProcess();
};

// Whether a process with command name `command`, user `uid` and session `theirs` is a screen
// reader of session `ours` run by user `ownUid`.
bool isOwnScreenReader(const std::string& command, unsigned theirUid, const Session& theirs,
                       unsigned ownUid, const Session& ours);

// Whether such a process runs, read from `proc`.
bool ownScreenReaderRuns(unsigned ownUid, const Session& ours,
                         const std::filesystem::path& proc = "/proc");

class ScreenReaderWatch final {
  public:
    ScreenReaderWatch();
    ~ScreenReaderWatch();
    ScreenReaderWatch(const ScreenReaderWatch&) = delete;
    ScreenReaderWatch& operator=(const ScreenReaderWatch&) = delete;

    // The last answer, false before the first; starts a check unless one is under way.
    bool running();

    struct State;

  private:
    std::shared_ptr<State> state_;
};

}  // namespace ovra::desktopstatus
