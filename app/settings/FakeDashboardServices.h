#pragma once

// Stand-ins for what the settings window asks of the rest of the app: a controller and dialogs
// that record what the rows ask of them and answer from fields.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/settings/DashboardContent.h"
#include "platform/desktopsettings/DesktopSettings.h"

namespace ovra::testing {

class FakeController final : public DashboardController {
  public:
    bool isTrusted = true;
    std::optional<std::string> target;
    std::optional<std::string> mainError, mainNotice, findError;
    ModelState model;
    std::vector<std::string> modelIDs{"murmlark-ovra/en", "murmlark-ovra/multi"};
    UpdateState update;
    std::vector<VoiceChoice> voiceList{{"espeak-ng/en", "English (espeak-ng)"},
                                       {"espeak-ng/de", "Deutsch (espeak-ng)"}};
    desktop::MemorySettings desktop;
    bool screenReader = false;
    std::vector<std::string> calls;           // what the rows asked, in order
    std::function<void(OvraFeature)> reader;  // reads instructions when set

    bool trusted() const override { return isTrusted; }
    std::optional<std::string> targetAppName() const override { return target; }
    void trigger() override { calls.push_back("trigger"); }
    void showDashboard(OvraPane pane) override {
        calls.push_back("show " + std::string(pane.rawValue()));
    }
    void requestAccessibility() override { calls.push_back("requestAccessibility"); }
    void openAccessibilitySettings(const std::string& anchor) override {
        calls.push_back("open " + anchor);
    }
    desktop::DesktopSettings& desktopSettings() override { return desktop; }
    bool screenReaderRunning() override { return screenReader; }
    std::optional<std::string> hotkeyError() const override { return mainError; }
    std::optional<std::string> hotkeyNotice() const override { return mainNotice; }
    std::optional<std::string> findHotkeyError() const override { return findError; }
    ModelState modelState() const override { return model; }
    const std::vector<std::string>& shippedModelIDs() const override { return modelIDs; }
    void startModel(const std::string& id) override { calls.push_back("start " + id); }
    void stopModel() override { calls.push_back("stop"); }
    void fetchMultilingualIfWanted() override { calls.push_back("fetchMultilingual"); }
    UpdateState updateState() const override { return update; }
    void checkForUpdates() override { calls.push_back("check"); }
    void installUpdate() override { calls.push_back("install"); }
    std::vector<VoiceChoice> voices() const override { return voiceList; }
    void speakSample(const std::string& text, const std::optional<std::string>& voiceID,
                     double rate) override {
        calls.push_back("speak " + text + " " + voiceID.value_or("-") + " " +
                        std::to_string(rate).substr(0, 4));
    }
    DictationSource dictationSource() const override { return DictationSource::desktop(); }
    void readInstruction(OvraFeature feature) override {
        calls.push_back("read " + std::string(feature.rawValue()));
        if (reader) {
            reader(feature);
        }
    }
    std::string appName(const std::string& key) const override {
        return key == "org.gnome.TextEditor" ? "Text Editor" : key;
    }
    void openWebPage(const std::string& url) override { calls.push_back("web " + url); }
    void uninstall() override { calls.push_back("uninstall"); }
};

class FakeDialogs final : public DashboardDialogs {
  public:
    bool answer = false;
    std::vector<std::string> asked;
    void confirm(const std::string& title, const std::string&, const std::string&, bool,
                 std::function<void()> confirmed) override {
        asked.push_back(title);
        if (answer) {
            confirmed();
        }
    }
    void showCredits() override { asked.push_back("credits"); }
};

}  // namespace ovra::testing
