#pragma once

// The app's global hotkeys: the main hotkey of the settings or, while the user has not picked
// one, the first free of the fallbacks (written back as the setting, which does not count as a
// pick); and the find hotkey when the settings ask for it. Why a hotkey could not be had, or why
// another is used, is kept for the settings window.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/controller/HotkeyManager.h"
#include "app/controller/Preferences.h"

namespace ovra {

class GlobalHotkeys final {
  public:
    // `changed` runs after every registration (the settings window shows the outcome).
    GlobalHotkeys(Preferences& prefs, std::function<void()> changed);

    // Takes the grabber (none: no global hotkeys on this display); `main` and `find` run at
    // their hotkeys.
    void install(hotkeys::HotkeyGrabber* grabber, HotkeyManager::SlashKeyCode slashKeyCode,
                 std::function<void()> main, std::function<void()> find,
                 HotkeyManager::LetterKeyCode letterKeyCode = {});
    void registerMain();
    void registerFind();
    // The keyboard layout or its group changed: both hotkeys move to the keys that now type
    // what they are named by; a hotkey whose key stays is left grabbed.
    void layoutChanged();
    // The main hotkey's setting changed: true when the user picked it (it is kept from then on
    // and should be registered), false when it is the fallback written here.
    bool userPicked();

    // Why the main hotkey could not be had; why another than the chosen one is used; why the
    // find hotkey could not be had.
    const std::optional<std::string>& error() const { return error_; }
    const std::optional<std::string>& notice() const { return notice_; }
    const std::optional<std::string>& findError() const { return findError_; }

  private:
    Preferences& prefs_;
    std::function<void()> changed_;
    std::function<void()> find_;
    std::unique_ptr<HotkeyManager> manager_;
    std::optional<std::string> error_;
    std::optional<std::string> notice_;
    std::optional<std::string> findError_;
    bool writingFallback_ = false;
};

}  // namespace ovra
