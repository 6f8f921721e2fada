#include "app/controller/HotkeyManager.h"

#include <limits>

#include "core/OverlayKeys.h"
#include "core/SettingsTypes.h"

namespace ovra {

using hotkeys::ChordModifier::alt;
using hotkeys::ChordModifier::control;
using hotkeys::ChordModifier::shift;
using hotkeys::ChordModifier::super;
static_assert(super == HotkeyModifier::command && shift == HotkeyModifier::shift &&
                  alt == HotkeyModifier::option && control == HotkeyModifier::control,
              "chords carry the presets' modifier masks unchanged");

std::optional<HotkeyManager::Slot> HotkeyManager::slot(std::uint32_t rawValue) {
    switch (rawValue) {
        case static_cast<std::uint32_t>(Slot::main):
            return Slot::main;
        case static_cast<std::uint32_t>(Slot::find):
            return Slot::find;
        default:
            return std::nullopt;
    }
}

HotkeyManager::HotkeyManager(hotkeys::HotkeyGrabber& grabber, SlashKeyCode slashKeyCode,
                             Action onPress, LetterKeyCode letterKeyCode)
    : grabber_(grabber),
      slashKeyCode_(std::move(slashKeyCode)),
      letterKeyCode_(std::move(letterKeyCode)) {
    actions_[Slot::main] = std::move(onPress);
    grabber_.setPressHandler([this](hotkeys::HotkeyId id) { pressed(id); });
}

HotkeyManager::~HotkeyManager() {
    grabber_.setPressHandler(nullptr);
}

bool HotkeyManager::registerKey(std::uint32_t keyCode, std::uint32_t modifiers) {
    if (keyCode > std::numeric_limits<std::uint16_t>::max()) {
        unregister(Slot::main);
        outcomes_[Slot::main] = hotkeys::GrabOutcome::noSuchKey;
        return false;
    }
    auto key = static_cast<std::uint16_t>(keyCode);
    if (letterKeyCode_) {
        key = letterKeyCode_(key);
    }
    return grab(Slot::main, {key, modifiers});
}

bool HotkeyManager::registerFind(Action action) {
    actions_[Slot::find] = std::move(action);
    return grab(Slot::find, {slashKeyCode(), super | shift});
}

void HotkeyManager::unregister(Slot slot) {
    if (chords_.erase(slot) != 0) {
        grabber_.release(static_cast<hotkeys::HotkeyId>(slot));
    }
}

std::uint16_t HotkeyManager::slashKeyCode() const {
    return slashKeyCode_ ? slashKeyCode_() : FindShortcut::fallbackKeyCode;
}

std::optional<hotkeys::GrabOutcome> HotkeyManager::lastOutcome(Slot slot) const {
    const auto it = outcomes_.find(slot);
    if (it == outcomes_.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<hotkeys::Chord> HotkeyManager::chord(Slot slot) const {
    const auto it = chords_.find(slot);
    if (it == chords_.end()) {
        return std::nullopt;
    }
    return it->second;
}

bool HotkeyManager::grab(Slot slot, hotkeys::Chord chord) {
    // In place of the slot's chord: a key it holds already is not let go meanwhile.
    const auto outcome = grabber_.grab(static_cast<hotkeys::HotkeyId>(slot), chord);
    outcomes_[slot] = outcome;
    if (outcome != hotkeys::GrabOutcome::grabbed) {
        chords_.erase(slot);  // the grabber let go of it
        return false;
    }
    chords_[slot] = chord;
    return true;
}

void HotkeyManager::pressed(std::uint32_t id) {
    // Only the find id means find; every other id is the main hotkey.
    const Slot slot = id == static_cast<std::uint32_t>(Slot::find) ? Slot::find : Slot::main;
    const auto it = actions_.find(slot);
    if (it != actions_.end() && it->second) {
        // A copy: the action may register again and replace itself.
        const Action action = it->second;
        action();
    }
}

}  // namespace ovra
