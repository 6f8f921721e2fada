#include "app/controller/GlobalHotkeys.h"

#include <array>

#include "core/OvraText.h"

namespace ovra {

namespace {

// Tried in this order when the main hotkey of the settings is taken and the user did not pick
// it.
constexpr std::array<const char*, 3> kFallbackHotkeys{"opt-space", "ctrl-opt-f", "f13"};

}  // namespace

GlobalHotkeys::GlobalHotkeys(Preferences& prefs, std::function<void()> changed)
    : prefs_(prefs), changed_(std::move(changed)) {}

void GlobalHotkeys::install(hotkeys::HotkeyGrabber* grabber,
                            HotkeyManager::SlashKeyCode slashKeyCode, std::function<void()> main,
                            std::function<void()> find,
                            HotkeyManager::LetterKeyCode letterKeyCode) {
    if (grabber) {
        manager_ = std::make_unique<HotkeyManager>(*grabber, std::move(slashKeyCode),
                                                   std::move(main), std::move(letterKeyCode));
    }
    find_ = std::move(find);
}

void GlobalHotkeys::registerMain() {
    notice_.reset();
    const HotkeyPreset preset = prefs_.hotkey();
    if (!manager_) {
        error_ = OvraText::t("Global shortcuts are not available on this desktop.");
        changed_();
        return;
    }
    const std::string taken = OvraText::f(
        "%@ is used by another app. Pick another shortcut in Settings.", {preset.label});
    if (manager_->registerKey(preset.keyCode, preset.modifiers)) {
        error_.reset();
    } else if (prefs_.flag("hotkeyChosen")) {
        // The user picked this shortcut: it is not swapped behind their back.
        error_ = taken;
    } else {
        error_ = taken;
        for (const char* id : kFallbackHotkeys) {
            const std::optional<HotkeyPreset> fallback = HotkeyPreset::withID(id);
            if (!fallback || fallback->id == preset.id ||
                !manager_->registerKey(fallback->keyCode, fallback->modifiers)) {
                continue;
            }
            writingFallback_ = true;
            prefs_.set(keys::hotkeyID, fallback->id);
            prefs_.defaults().set("hotkey", fallback->id);
            writingFallback_ = false;
            error_.reset();
            notice_ = OvraText::f(
                "%@ is used by another app, so Ovra uses %@. You can change it in Settings.",
                {preset.label, fallback->label});
            break;
        }
    }
    changed_();
}

void GlobalHotkeys::registerFind() {
    if (!manager_) {
        return;
    }
    findError_.reset();
    if (!prefs_.get(keys::findShortcut)) {
        manager_->unregister(HotkeyManager::Slot::find);
    } else if (!manager_->registerFind(find_)) {
        findError_ = OvraText::t("Super Shift / is used by another app.");
    }
    changed_();
}

void GlobalHotkeys::layoutChanged() {
    registerMain();
    registerFind();
}

bool GlobalHotkeys::userPicked() {
    if (writingFallback_) {
        return false;
    }
    prefs_.defaults().set("hotkeyChosen", true);
    return true;
}

}  // namespace ovra
