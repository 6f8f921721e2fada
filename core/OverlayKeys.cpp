#include "core/OverlayKeys.h"

#include <charconv>
#include <ostream>

#include "core/Text.h"

namespace ovra {

namespace {

constexpr int kLeftArrow = 123;
constexpr int kRightArrow = 124;
constexpr int kDownArrow = 125;
constexpr int kUpArrow = 126;

// An optional sign, then ASCII digits only; none when anything else appears or the value
// does not fit.
std::optional<long long> decimalInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return negative ? -value : value;
}

OverlayKeyAction pressOrIgnore(bool isRepeat) {
    return isRepeat ? OverlayKeyAction::ignore() : OverlayKeyAction::press();
}

OverlayKeyAction findOrIgnore(bool isRepeat) {
    return isRepeat ? OverlayKeyAction::ignore() : OverlayKeyAction::openFind();
}

std::string_view name(OverlayKeyAction::Kind kind) {
    switch (kind) {
        case OverlayKeyAction::Kind::scroll:
            return "scroll";
        case OverlayKeyAction::Kind::openFind:
            return "openFind";
        case OverlayKeyAction::Kind::press:
            return "press";
        case OverlayKeyAction::Kind::ignore:
            return "ignore";
    }
    return "?";
}

std::string_view name(OverlayCommand::Kind kind) {
    switch (kind) {
        case OverlayCommand::Kind::move:
            return "move";
        case OverlayCommand::Kind::choose:
            return "choose";
        case OverlayCommand::Kind::close:
            return "close";
        case OverlayCommand::Kind::why:
            return "why";
        case OverlayCommand::Kind::pin:
            return "pin";
        case OverlayCommand::Kind::mute:
            return "mute";
        case OverlayCommand::Kind::showAll:
            return "showAll";
        case OverlayCommand::Kind::sidebar:
            return "sidebar";
        case OverlayCommand::Kind::ignore:
            return "ignore";
    }
    return "?";
}

}  // namespace

std::optional<OverlayKeyAction> OverlayEffect::keyAction() const {
    if (const auto* action = std::get_if<OverlayKeyAction>(&value))
        return *action;
    return std::nullopt;
}

std::optional<OverlayCommand> OverlayEffect::overlayCommand() const {
    if (const auto* command = std::get_if<OverlayCommand>(&value))
        return *command;
    return std::nullopt;
}

std::ostream& operator<<(std::ostream& out, const OverlayKeyAction& action) {
    out << name(action.kind);
    if (action.kind == OverlayKeyAction::Kind::scroll) {
        out << "(" << rawValue(action.direction) << ", "
            << (action.step == ScrollStep::page ? "page" : "small") << ")";
    }
    return out;
}

std::ostream& operator<<(std::ostream& out, const OverlayCommand& command) {
    out << name(command.kind);
    if (command.kind == OverlayCommand::Kind::move || command.kind == OverlayCommand::Kind::choose)
        out << "(" << command.number << ")";
    return out;
}

std::ostream& operator<<(std::ostream& out, const OverlayEffect& effect) {
    if (const auto action = effect.keyAction())
        return out << "action(" << *action << ")";
    return out << "command(" << *effect.overlayCommand() << ")";
}

namespace OverlayKeys {

std::optional<OverlayKeyAction> action(const OverlayKeyPress& key) {
    if (key.keyCode == returnKey || key.keyCode == enter)
        return pressOrIgnore(key.isRepeat);
    if (key.keyCode == space && !key.finding)
        return pressOrIgnore(key.isRepeat);
    if (key.keyCode == pageUp)
        return OverlayKeyAction::scroll(ScrollDirection::up, ScrollStep::page);
    if (key.keyCode == pageDown)
        return OverlayKeyAction::scroll(ScrollDirection::down, ScrollStep::page);

    const std::optional<std::string> characters =
        key.characters ? std::optional(text::lowercased(*key.characters)) : std::nullopt;
    // Ctrl+F opens find even from inside the find field.
    if (characters && key.command && !key.otherModifier && *characters == "f")
        return findOrIgnore(key.isRepeat);
    // While finding, letters belong to the query.
    if (key.finding || key.command || key.otherModifier || !characters)
        return std::nullopt;
    if (*characters == "f")
        return findOrIgnore(key.isRepeat);
    if (*characters == "j")
        return OverlayKeyAction::scroll(ScrollDirection::down,
                                        key.shift ? ScrollStep::page : ScrollStep::small);
    if (*characters == "k")
        return OverlayKeyAction::scroll(ScrollDirection::up,
                                        key.shift ? ScrollStep::page : ScrollStep::small);
    return std::nullopt;
}

std::optional<OverlayCommand> command(int keyCode, std::optional<std::string_view> characters,
                                      bool shift, bool isRepeat) {
    if (keyCode == kRightArrow || keyCode == kDownArrow)
        return OverlayCommand::move(1);
    if (keyCode == kLeftArrow || keyCode == kUpArrow)
        return OverlayCommand::move(-1);
    if (keyCode == tab)
        return OverlayCommand::move(shift ? -1 : 1);
    if (keyCode == escape)
        return OverlayCommand::close();
    // A held letter or digit must not repeat its command.
    if (isRepeat || !characters)
        return OverlayCommand::ignore();

    const std::string lower = text::lowercased(*characters);
    if (lower == "w" || lower == "?")
        return OverlayCommand::why();
    if (lower == "p")
        return OverlayCommand::pin();
    if (lower == "d")
        return OverlayCommand::mute();
    if (lower == "a")
        return OverlayCommand::showAll();
    if (lower == "s")
        return OverlayCommand::sidebar();
    if (lower.empty())
        return std::nullopt;
    if (const auto value = decimalInteger(lower); value && *value >= 1 && *value <= 9)
        return OverlayCommand::choose(static_cast<int>(*value));
    return std::nullopt;
}

std::optional<OverlayEffect> effect(const OverlayKeyPress& key) {
    if (const auto keyAction = action(key))
        return OverlayEffect::action(*keyAction);
    if (key.finding)
        return std::nullopt;
    if (const auto overlayCommand = command(key.keyCode, key.characters, key.shift, key.isRepeat))
        return OverlayEffect::command(*overlayCommand);
    return std::nullopt;
}

}  // namespace OverlayKeys

namespace FindShortcut {

std::uint16_t keyCode(std::span<const KeyOutput> outputs) {
    for (const KeyOutput& output : outputs) {
        if (output.plain == "/")
            return output.keyCode;
    }
    for (const KeyOutput& output : outputs) {
        if (output.shifted == "/")
            return output.keyCode;
    }
    return fallbackKeyCode;
}

}  // namespace FindShortcut
}  // namespace ovra
