#pragma once

// Opening the desktop's settings app at a page (a GNOME Settings panel name such as
// "universal-access", or a URL). Linux has no deep links into settings, so each desktop gets its
// own command; a failure to start any of them is reported, never dropped.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovra::desktop {

class SettingsOpener {
  public:
    virtual ~SettingsOpener() = default;
    // Starts the settings app at `page`; the reason when it could not be started.
    virtual std::optional<std::string> open(std::string_view page) = 0;
};

using Command = std::vector<std::string>;

// The commands that may show `page` on the desktop named by XDG_CURRENT_DESKTOP (a list split by
// ":"), best first: the current desktop's settings app, then those of the other known desktops.
// A URL page is opened with xdg-open only.
std::vector<Command> settingsCommands(std::string_view currentDesktop, std::string_view page);

// Starts a program found on PATH without waiting for it; the reason when it cannot be started.
// `exitedWithError` is called later, from another thread, when the program ends with a failure.
using Launcher = std::function<std::optional<std::string>(
    const Command& command, std::function<void(const std::string&)> exitedWithError)>;
Launcher detachedLauncher();
// Whether a program of this name is found on PATH (or is an executable path).
bool onPath(const std::string& program);

class DesktopSettingsOpener final : public SettingsOpener {
  public:
    // `currentDesktop` is XDG_CURRENT_DESKTOP; `installed` tells which programs exist.
    DesktopSettingsOpener(std::string currentDesktop, Launcher launcher,
                          std::function<bool(const std::string&)> installed = onPath);
    // Reads XDG_CURRENT_DESKTOP and launches detached programs.
    static DesktopSettingsOpener forThisSession();

    // Called (from another thread) when a started settings app ends with a failure.
    void setLateFailureHandler(std::function<void(const std::string&)> handler) {
        lateFailure_ = std::move(handler);
    }

    std::optional<std::string> open(std::string_view page) override;

  private:
    std::string desktop_;
    Launcher launcher_;
    std::function<bool(const std::string&)> installed_;
    std::function<void(const std::string&)> lateFailure_;
};

// Records the pages asked for; fails with a set reason.
class RecordingSettingsOpener final : public SettingsOpener {
  public:
    std::vector<std::string> pages;
    std::optional<std::string> failure;

    std::optional<std::string> open(std::string_view page) override {
        pages.emplace_back(page);
        return failure;
    }
};

}  // namespace ovra::desktop
