#pragma once

// How the process ends. A normal quit (the island's Quit item, a termination signal) leaves the
// event loop once: the on-device model is stopped and the settings written, however many
// requests to quit arrive. A launch flag ends the process at once with its exit code, after
// writing its output and the settings, without running destructors while other threads (the
// accessibility worker, the classifier) may still be running.

#include <functional>

namespace ovra {

class AppLifetime final {
  public:
    struct Hooks {
        std::function<void()> stopModel;
        // Writes pending settings; false when they could not be written.
        std::function<bool()> flushSettings;
        // Leaves the event loop (the app returns from main).
        std::function<void()> leaveEventLoop;
        // Ends the process with a code, skipping every destructor.
        std::function<void(int)> exitProcess;
    };

    explicit AppLifetime(Hooks hooks) : hooks_(std::move(hooks)) {}

    // A normal quit; later calls do nothing.
    void quit();
    // A flag's end: output and settings written, then the process ends with `code`.
    void exitNow(int code);

    bool quitting() const { return quitting_; }

    // Writes standard output and standard error, then ends the process without destructors.
    [[noreturn]] static void exitProcess(int code);

  private:
    Hooks hooks_;
    bool quitting_ = false;
};

}  // namespace ovra
