#pragma once

// The keys the self-tests press, as Qt key events built the way the X server's keys arrive: the
// X keycode at the key's place in the keyboard's current layout, Qt's key and the text it types
// (Ctrl with a letter types a control character, as on a real keyboard). Each window's key
// filter then reads the key as it reads a typed one. Ctrl stands for Command; "Delete" is
// Backspace. Without a layout the events carry Qt's key alone, which the filters place too.

#include <QKeyEvent>
#include <memory>

namespace ovra::keyboard {
class KeyboardLayout;
}

class QWidget;

namespace ovra::selftest {

enum class Key {
    a,
    c,
    f,
    j,
    k,
    p,
    s,
    w,
    z,
    digit1,
    digit2,
    digit3,
    digit4,
    digit5,
    digit6,
    digit7,
    digit8,
    digit9,
    tab,
    returnKey,
    space,
    deleteKey,
    escape,
    pageUp,
    pageDown,
    left,
    right,
    down,
    up,
};
inline constexpr int kKeyCount = static_cast<int>(Key::up) + 1;

struct KeyCodes {
    int keyCode;         // the shared key-code vocabulary (0 the A position, 36 Return…)
    int qtKey;           // Qt::Key
    char16_t character;  // what the key types plain; 0 for none
};
const KeyCodes& codesOf(Key key);
// The key of the digit 1 to 9 (a number out of that range gives 1).
Key digitKey(int digit);

struct Press {
    Key key;
    bool shift = false;
    bool command = false;  // Ctrl
    bool repeat = false;
};

std::unique_ptr<QKeyEvent> keyEvent(const Press& press, const keyboard::KeyboardLayout* layout);

// Hands the key to `window`'s window at once: its key filter sees it first, then its focused
// widget, before this returns.
void sendKey(QWidget& window, const Press& press, const keyboard::KeyboardLayout* layout);
// Queues the key for `window`'s window: the event loop delivers it after the caller returns,
// in the order queued.
void postKey(QWidget& window, const Press& press, const keyboard::KeyboardLayout* layout);

}  // namespace ovra::selftest
