#include "platform/desktopsettings/SettingsOpener.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/io/Uninterrupted.h"

extern char** environ;

namespace ovra::desktop {
namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::vector<std::string> desktopNames(std::string_view list) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= list.size()) {
        const auto end = std::min(list.find(':', start), list.size());
        if (end > start) {
            names.push_back(lowered(list.substr(start, end - start)));
        }
        start = end + 1;
    }
    return names;
}

// A page made of letters, digits and dashes only; anything else is not passed to a program.
bool plainPage(std::string_view page) {
    return !page.empty() && page.size() <= 64 && page.front() != '-' &&
           std::all_of(page.begin(), page.end(), [](unsigned char c) {
               return std::isalnum(c) != 0 || c == '-' || c == '_';
           });
}

bool isUrl(std::string_view page) {
    const auto colon = page.find(':');
    if (colon == std::string_view::npos || colon == 0 || page.size() > 2048) {
        return false;
    }
    const bool schemeOk =
        std::isalpha(static_cast<unsigned char>(page.front())) != 0 &&
        std::all_of(page.begin(), page.begin() + static_cast<std::ptrdiff_t>(colon),
                    [](unsigned char c) {
                        return std::isalnum(c) != 0 || c == '+' || c == '-' || c == '.';
                    });
    const bool printable = std::none_of(page.begin(), page.end(),
                                        [](unsigned char c) { return c <= ' ' || c == 0x7f; });
    return schemeOk && printable;
}

}  // namespace

std::vector<Command> settingsCommands(std::string_view currentDesktop, std::string_view page) {
    if (isUrl(page)) {
        return {{"xdg-open", std::string(page)}};
    }
    const std::string panel = plainPage(page) ? std::string(page) : "universal-access";
    struct Known {
        std::vector<std::string_view> names;  // lower-cased XDG_CURRENT_DESKTOP entries
        std::vector<Command> commands;
    };
    const std::vector<Known> known = {
        {{"gnome", "unity", "budgie", "pantheon"}, {{"gnome-control-center", panel}}},
        {{"kde"}, {{"systemsettings", "kcm_access"}, {"systemsettings5", "kcm_access"}}},
        {{"xfce"}, {{"xfce4-accessibility-settings"}}},
        {{"mate"}, {{"mate-at-properties"}}},
        {{"x-cinnamon", "cinnamon"}, {{"cinnamon-settings", "accessibility"}}},
    };
    std::vector<Command> first;
    std::vector<Command> rest;
    const auto names = desktopNames(currentDesktop);
    for (const auto& k : known) {
        const bool current = std::any_of(names.begin(), names.end(), [&](const std::string& n) {
            return std::find(k.names.begin(), k.names.end(), n) != k.names.end();
        });
        auto& into = current ? first : rest;
        into.insert(into.end(), k.commands.begin(), k.commands.end());
    }
    first.insert(first.end(), rest.begin(), rest.end());
    return first;
}

bool onPath(const std::string& program) {
    if (program.empty()) {
        return false;
    }
    if (program.find('/') != std::string::npos) {
        return access(program.c_str(), X_OK) == 0;
    }
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const auto end = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
        const std::string full = dir + "/" + program;
        struct stat info {};
        if (stat(full.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(full.c_str(), X_OK) == 0) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

Launcher detachedLauncher() {
    return
        [](const Command& command,
           std::function<void(const std::string&)> exitedWithError) -> std::optional<std::string> {
            if (command.empty()) {
                return std::string("nothing to start");
            }
            std::vector<std::string> args = command;
            std::vector<char*> argv;
            for (auto& arg : args) {
                argv.push_back(arg.data());
            }
            argv.push_back(nullptr);
            posix_spawnattr_t attributes;
            posix_spawnattr_init(&attributes);
            // Its own session: the settings app outlives us and gets none of our terminal signals.
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
            pid_t pid = 0;
            const int error =
                posix_spawnp(&pid, argv[0], nullptr, &attributes, argv.data(), environ);
            posix_spawnattr_destroy(&attributes);
            if (error != 0) {
                return command.front() + ": " + std::strerror(error);
            }
            // Reaps the child so it never lingers as a zombie, and reports a failed run.
            std::thread([pid, name = command.front(), report = std::move(exitedWithError)] {
                int status = 0;
                if (io::waitChild(pid, &status) != pid || !report) {
                    return;
                }
                if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
                    report(name + " ended with status " + std::to_string(WEXITSTATUS(status)));
                } else if (WIFSIGNALED(status) && WTERMSIG(status) != SIGTERM &&
                           WTERMSIG(status) != SIGINT && WTERMSIG(status) != SIGHUP) {
                    report(name + " ended by signal " + std::to_string(WTERMSIG(status)));
                }
            }).detach();
            return std::nullopt;
        };
}

DesktopSettingsOpener::DesktopSettingsOpener(std::string currentDesktop, Launcher launcher,
                                             std::function<bool(const std::string&)> installed)
    : desktop_(std::move(currentDesktop)),
      launcher_(std::move(launcher)),
      installed_(std::move(installed)) {}

DesktopSettingsOpener DesktopSettingsOpener::forThisSession() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    return DesktopSettingsOpener(desktop ? desktop : "", detachedLauncher());
}

std::optional<std::string> DesktopSettingsOpener::open(std::string_view page) {
    std::vector<std::string> problems;
    bool anyInstalled = false;
    for (const auto& command : settingsCommands(desktop_, page)) {
        if (!installed_(command.front())) {
            continue;
        }
        anyInstalled = true;
        auto problem = launcher_(command, lateFailure_);
        if (!problem) {
            return std::nullopt;
        }
        problems.push_back(std::move(*problem));
    }
    if (!anyInstalled) {
        return std::string("no settings app of a known desktop is installed");
    }
    std::string joined;
    for (const auto& p : problems) {
        joined += (joined.empty() ? "" : "; ") + p;
    }
    return joined;
}

}  // namespace ovra::desktop
