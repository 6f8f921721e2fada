#include "app/overlay/QtKeyEvent.h"

namespace ovra {

namespace {

// Keys that only change what other keys do: pressed alone they are no key of ours.
bool isModifierKey(int key) {
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
        case Qt::Key_Mode_switch:
            return true;
        default:
            return false;
    }
}

}  // namespace

RawKey rawKeyOf(const QKeyEvent& event) {
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    RawKey raw;
    raw.xKeycode = event.nativeScanCode();
    raw.qtKey = event.key();
    raw.text = event.text().toStdString();
    raw.modifierOnly = isModifierKey(event.key());
    raw.shift = modifiers.testFlag(Qt::ShiftModifier);
    raw.ctrl = modifiers.testFlag(Qt::ControlModifier);
    raw.alt = modifiers.testFlag(Qt::AltModifier);
    raw.super = modifiers.testFlag(Qt::MetaModifier);
    raw.autoRepeat = event.isAutoRepeat();
    // On X11 the event's native modifiers are the X key event's state.
    raw.xModifiers = event.nativeModifiers();
    return raw;
}

}  // namespace ovra
