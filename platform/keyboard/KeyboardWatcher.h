#pragma once

// The live keyboard layout for the app's main thread: the X server's keymap and group, read as
// the server announces changes, with a signal when the layout changes (the find hotkey follows
// it; the overlay's key adapter reads `layout()` for every key).

#include <QObject>
#include <memory>

#include "core/Result.h"
#include "platform/keyboard/KeyboardLayout.h"

class QSocketNotifier;

namespace ovra::keyboard {

class X11Keyboard;

class KeyboardWatcher final : public QObject {
    Q_OBJECT

  public:
    // Fails without an X display; callers then use a layout from names.
    static Result<std::unique_ptr<KeyboardWatcher>> open(QObject* parent = nullptr);
    ~KeyboardWatcher() override;

    const KeyboardLayout& layout() const;

  Q_SIGNALS:
    // The keymap was replaced or another group became active.
    void layoutChanged();

  private:
    KeyboardWatcher(std::unique_ptr<X11Keyboard> keyboard, QObject* parent);
    void readEvents();

    std::unique_ptr<X11Keyboard> keyboard_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace ovra::keyboard
