#include "app/diagnostics/selftest/SyntheticKeys.h"

#include <QCoreApplication>
#include <QWidget>
#include <QWindow>
#include <array>

#include "platform/keyboard/KeyboardLayout.h"

namespace ovra::selftest {

namespace {

constexpr std::array<KeyCodes, kKeyCount> kKeys{{
    {0, Qt::Key_A, u'a'},           {8, Qt::Key_C, u'c'},          {3, Qt::Key_F, u'f'},
    {38, Qt::Key_J, u'j'},          {40, Qt::Key_K, u'k'},         {35, Qt::Key_P, u'p'},
    {1, Qt::Key_S, u's'},           {13, Qt::Key_W, u'w'},         {6, Qt::Key_Z, u'z'},
    {18, Qt::Key_1, u'1'},          {19, Qt::Key_2, u'2'},         {20, Qt::Key_3, u'3'},
    {21, Qt::Key_4, u'4'},          {23, Qt::Key_5, u'5'},         {22, Qt::Key_6, u'6'},
    {26, Qt::Key_7, u'7'},          {28, Qt::Key_8, u'8'},         {25, Qt::Key_9, u'9'},
    {48, Qt::Key_Tab, u'\t'},       {36, Qt::Key_Return, u'\r'},   {49, Qt::Key_Space, u' '},
    {51, Qt::Key_Backspace, u'\b'}, {53, Qt::Key_Escape, u'\x1b'}, {116, Qt::Key_PageUp, 0},
    {121, Qt::Key_PageDown, 0},     {123, Qt::Key_Left, 0},        {124, Qt::Key_Right, 0},
    {125, Qt::Key_Down, 0},         {126, Qt::Key_Up, 0},
}};

// What the event's text is, as the X server's key would give it.
QString textOf(const KeyCodes& key, const Press& press) {
    if (key.character == 0) {
        return {};
    }
    const bool letter = key.character >= u'a' && key.character <= u'z';
    if (letter && press.command) {
        return QString(QChar(static_cast<char16_t>(key.character - u'a' + 1)));
    }
    if (letter && press.shift) {
        return QString(QChar(static_cast<char16_t>(key.character - u'a' + u'A')));
    }
    return QString(QChar(key.character));
}

}  // namespace

const KeyCodes& codesOf(Key key) {
    return kKeys[static_cast<std::size_t>(key)];
}

Key digitKey(int digit) {
    if (digit < 1 || digit > 9) {
        digit = 1;
    }
    return static_cast<Key>(static_cast<int>(Key::digit1) + digit - 1);
}

std::unique_ptr<QKeyEvent> keyEvent(const Press& press, const keyboard::KeyboardLayout* layout) {
    const KeyCodes& key = codesOf(press.key);
    Qt::KeyboardModifiers modifiers;
    if (press.shift) {
        modifiers |= Qt::ShiftModifier;
    }
    if (press.command) {
        modifiers |= Qt::ControlModifier;
    }
    std::uint32_t scanCode = 0;
    if (layout) {
        scanCode = layout->xKeycode(static_cast<std::uint16_t>(key.keyCode)).value_or(0);
    }
    // Shift with Tab arrives as Backtab.
    const int qtKey = press.key == Key::tab && press.shift ? Qt::Key_Backtab : key.qtKey;
    return std::make_unique<QKeyEvent>(QEvent::KeyPress, qtKey, modifiers, scanCode, 0, 0,
                                       textOf(key, press), press.repeat);
}

void sendKey(QWidget& window, const Press& press, const keyboard::KeyboardLayout* layout) {
    const std::unique_ptr<QKeyEvent> event = keyEvent(press, layout);
    QObject* target = window.windowHandle();
    QCoreApplication::sendEvent(target ? target : &window, event.get());
}

void postKey(QWidget& window, const Press& press, const keyboard::KeyboardLayout* layout) {
    QObject* target = window.windowHandle();
    QCoreApplication::postEvent(target ? target : &window, keyEvent(press, layout).release());
}

}  // namespace ovra::selftest
