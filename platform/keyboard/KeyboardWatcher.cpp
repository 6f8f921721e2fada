#include "platform/keyboard/KeyboardWatcher.h"

#include <QSocketNotifier>
#include <QTimer>

#include "platform/keyboard/X11Keyboard.h"

namespace ovra::keyboard {

Result<std::unique_ptr<KeyboardWatcher>> KeyboardWatcher::open(QObject* parent) {
    auto keyboard = X11Keyboard::open();
    if (!keyboard.ok()) {
        return fail(keyboard.error());
    }
    return std::unique_ptr<KeyboardWatcher>(
        new KeyboardWatcher(std::move(keyboard).value(), parent));
}

KeyboardWatcher::KeyboardWatcher(std::unique_ptr<X11Keyboard> keyboard, QObject* parent)
    : QObject(parent), keyboard_(std::move(keyboard)) {
    notifier_ = new QSocketNotifier(keyboard_->fileDescriptor(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &KeyboardWatcher::readEvents);
    // Events that arrived while the keymap was read sit in the connection's queue already.
    QTimer::singleShot(0, this, &KeyboardWatcher::readEvents);
}

KeyboardWatcher::~KeyboardWatcher() = default;

const KeyboardLayout& KeyboardWatcher::layout() const {
    return keyboard_->layout();
}

void KeyboardWatcher::readEvents() {
    if (keyboard_->processEvents()) {
        Q_EMIT layoutChanged();
    }
}

}  // namespace ovra::keyboard
