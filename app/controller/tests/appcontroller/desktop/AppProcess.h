#pragma once

// The app as its own process, as a person starts it: its settings in a scratch XDG_CONFIG_HOME,
// its log (standard error) in a file.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "testing/Files.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra::testing {

// Writes the app's settings under `home`, the XDG_CONFIG_HOME of the apps started from now on.
inline void useSettings(const std::filesystem::path& home, const std::string& json) {
    std::filesystem::create_directories(home / "murmlark-ovra");
    std::ofstream(home / "murmlark-ovra/ai.qeld.murmlark-ovra.json") << json;
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
}

// Starts the app without its dashboard, its log in `logFile`, and waits up to `seconds` for it to
// name its hotkey (it listens from then on).
inline void spawnApp(pid_t& app, const std::filesystem::path& logFile, double seconds) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    char* argv[] = {const_cast<char*>(OVRA_APP), const_cast<char*>("--no-dashboard"), nullptr};
    ASSERT_EQ(posix_spawn(&app, OVRA_APP, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_TRUE(eventually(
        [&] { return readText(logFile).find("opens the overlay") != std::string::npos; }, seconds))
        << readText(logFile);
}

// The app started by spawnApp, ended however the test ends: it holds the test's output open.
struct SpawnedApp {
    pid_t pid = 0;
    SpawnedApp() = default;
    SpawnedApp(const SpawnedApp&) = delete;
    SpawnedApp& operator=(const SpawnedApp&) = delete;
    ~SpawnedApp() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

// How often `text` stands in `all`.
inline std::size_t occurrences(const std::string& all, const std::string& text) {
    std::size_t count = 0;
    for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) {
        ++count;
    }
    return count;
}

}  // namespace ovra::testing
