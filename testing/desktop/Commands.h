#pragma once

// Commands as the desktop tests run them: a command's output and exit code, keys and clicks
// through xdotool, and the accessibility bus switched as the desktop's settings would.

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testing/Files.h"

namespace ovra::testing {

struct CommandOutput {
    int exitCode = -1;  // -1 when it did not start or did not exit normally
    std::string text;   // its standard output

    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            out.push_back(line);
        }
        return out;
    }
};

// Runs `command` through the shell; standard error goes where the test's goes.
inline CommandOutput run(const std::string& command) {
    CommandOutput out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.text.append(buffer, n);
    }
    const int status = pclose(pipe);
    out.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

inline std::string output(const std::string& command) {
    return run(command).text;
}

// Keys, text and pointer moves as a user makes them ("key ctrl+alt+space", "type abc").
inline bool xdotool(const std::string& arguments) {
    return std::system(("xdotool " + arguments).c_str()) == 0;
}

// Whether our overlay's window is on screen, its fade included.
inline bool overlayOnScreen() {
    return xdotool("search --onlyvisible --name '^Murmlark Ovra overlay$' >/dev/null");
}

// The process of the active window, as the window manager names it; 0 when there is none.
inline long activeWindowPid() {
    return std::atol(output("xdotool getactivewindow getwindowpid 2>/dev/null").c_str());
}

inline bool clickAt(int x, int y) {
    return xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

// Switches the session's accessibility bus on or off as the desktop's settings do.
inline bool setAccessibilityEnabled(bool on) {
    return run(std::string("dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
                           "org.freedesktop.DBus.Properties.Set string:org.a11y.Status "
                           "string:IsEnabled variant:boolean:") +
               (on ? "true" : "false"))
               .exitCode == 0;
}

}  // namespace ovra::testing
