#include "app/settings/SettingsKeyInput.h"

#include <array>
#include <utility>

#include "platform/keyboard/KeyboardLayout.h"

namespace ovra::SettingsKeyInput {

namespace {

// Qt's keys that type no letter, and their key codes, for events without an X key code.
constexpr std::array<std::pair<int, int>, 14> kQtKeys{{
    {Qt::Key_Return, 36},
    {Qt::Key_Enter, 76},
    {Qt::Key_Tab, 48},
    {Qt::Key_Backtab, 48},
    {Qt::Key_Space, 49},
    {Qt::Key_Backspace, 51},
    {Qt::Key_Escape, 53},
    {Qt::Key_PageUp, 116},
    {Qt::Key_PageDown, 121},
    {Qt::Key_Left, 123},
    {Qt::Key_Right, 124},
    {Qt::Key_Down, 125},
    {Qt::Key_Up, 126},
    {Qt::Key_Comma, 43},
}};

// Qt's digit row keys, by the digit: 0 is the last key of the row.
constexpr std::array<int, 10> kDigitCodes{29, 18, 19, 20, 21, 23, 22, 26, 28, 25};

bool modifierOnly(int key) {
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
        case Qt::Key_ScrollLock:
            return true;
        default:
            return false;
    }
}

std::optional<int> digitOf(const std::string& text) {
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '9') {
        return text[0] - '0';
    }
    return std::nullopt;
}

}  // namespace

std::optional<DashboardKey> from(const QKeyEvent& event, const keyboard::KeyboardLayout* layout) {
    const int qtKey = event.key();
    if (modifierOnly(qtKey)) {
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
        for (const auto& [known, code] : kQtKeys) {
            if (known == qtKey) {
                key.keyCode = code;
            }
        }
        if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
            key.keyCode = kDigitCodes[static_cast<std::size_t>(qtKey - Qt::Key_0)];
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
