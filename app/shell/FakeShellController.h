#pragma once

// A shell controller for tests: records every call as a line, answers from fields.

#include <string>
#include <vector>

#include "app/controller/Preferences.h"
#include "app/shell/ShellController.h"
#include "platform/defaults/DefaultsDomain.h"

namespace ovra {

class FakeShellController final : public ShellController {
  public:
    void trigger() override { calls.push_back("trigger"); }
    void birdSimplify() override { calls.push_back("birdSimplify"); }
    void ovraButtonPressed() override { calls.push_back("button"); }
    void dismiss() override { calls.push_back("dismiss"); }
    bool overlayVisible() const override { return overlayShown; }
    void showDashboard(OvraPane pane) override {
        calls.push_back("dashboard " + std::string(pane.rawValue()));
    }
    void showFeature(const std::string& feature) override { calls.push_back("feature " + feature); }
    void showCredits() override { calls.push_back("credits"); }
    void setAppearance(std::optional<bool> dark) override {
        calls.push_back(dark ? (*dark ? "dark" : "light") : "system");
    }
    std::optional<std::string> targetAppName() const override { return target; }
    bool trusted() const override { return isTrusted; }
    std::optional<std::string> hotkeyNotice() const override { return notice; }
    std::optional<std::string> hotkeyError() const override { return error; }
    std::string modelStatusLabel() const override { return "Using built-in rules"; }
    std::string modelStatusDetail() const override { return status; }
    void stopModel() override { calls.push_back("stopModel"); }
    void logKeyState(const std::string& label) override { calls.push_back("keys " + label); }
    bool reduceMotion() override { return false; }
    Preferences& prefs() override { return preferences; }

    std::vector<std::string> calls;
    bool overlayShown = false;
    bool isTrusted = true;
    std::optional<std::string> target;
    std::optional<std::string> notice;
    std::optional<std::string> error;
    std::string status = "Starting";
    InMemoryDefaults defaults;
    Preferences preferences{defaults};
};

}  // namespace ovra
