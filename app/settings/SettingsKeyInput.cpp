#include "app/settings/SettingsKeyInput.h"

#include "app/overlay/QtKeyEvent.h"
#include "platform/keyboard/KeyboardLayout.h"

namespace ovra::SettingsKeyInput {

namespace {

std::optional<int> digitOf(const std::string& text) {
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '9') {
        return text[0] - '0';
    }
    return std::nullopt;
}

}  // namespace

std::optional<DashboardKey> from(const QKeyEvent& event, const keyboard::KeyboardLayout* layout) {
    const int qtKey = event.key();
    if (rawKeyOf(event).modifierOnly) {
        return std::nullopt;
    }
    const Qt::KeyboardModifiers mods = event.modifiers();
    DashboardKey key;
    key.shift = mods.testFlag(Qt::ShiftModifier) || qtKey == Qt::Key_Backtab;
    key.command = mods.testFlag(Qt::ControlModifier);
    key.otherModifier = mods.testFlag(Qt::AltModifier) || mods.testFlag(Qt::MetaModifier);
    key.isRepeat = event.isAutoRepeat();
    const auto xKeycode = event.nativeScanCode();
    if (xKeycode != 0 && layout != nullptr) {
        if (const auto code = layout->keyCode(xKeycode)) {
            key.keyCode = *code;
        }
        key.characters = layout->characters(xKeycode, key.shift);
        key.digit = digitOf(layout->characters(xKeycode, false));
        if (!key.digit) {
            key.digit = digitOf(layout->characters(xKeycode, true));
        }
    } else {
        if (const auto code = KeyAdapter::keyCodeOfQtKey(qtKey)) {
            key.keyCode = *code;
        }
        const std::string text = event.text().toStdString();
        if (!text.empty() && static_cast<unsigned char>(text[0]) >= 0x20 && text != "\x7f") {
            key.characters = text;
        } else if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
            key.characters = std::string(1, static_cast<char>(key.shift ? qtKey : qtKey + 32));
        } else if (qtKey > 0x20 && qtKey < 0x7f) {
            key.characters = std::string(1, static_cast<char>(qtKey));
        }
    }
    // The keypad's digits, and whatever Qt reads as a digit when the layout gives none.
    if (!key.digit && qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        key.digit = qtKey - Qt::Key_0;
    }
    return key;
}

}  // namespace ovra::SettingsKeyInput
