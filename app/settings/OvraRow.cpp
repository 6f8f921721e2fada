#include "app/settings/OvraRow.h"

#include <algorithm>
#include <cmath>

#include "core/OvraText.h"

namespace ovra {

namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

// The index `delta` steps from `index` among n options, wrapping both ways.
int wrapped(int index, int delta, int n) {
    const long long sum = static_cast<long long>(index) + delta;
    return static_cast<int>(((sum % n) + n) % n);
}

void writeIndex(const OvraRow::Choice& choice, int index) {
    // A setter never sees an index outside the options.
    if (index >= 0 && static_cast<std::size_t>(index) < choice.options.size()) {
        choice.index.set(index);
    }
}

}  // namespace

double roundedStep(double value) {
    return std::round(value * 1e9) / 1e9;
}

bool OvraRow::adjust(int delta) const {
    if (!enabled) {
        return false;
    }
    return std::visit(
        Overloaded{
            [&](const Toggle& toggle) {
                toggle.value.set(delta > 0);
                return true;
            },
            [&](const Choice& choice) {
                if (choice.options.empty()) {
                    return false;
                }
                const int n = static_cast<int>(choice.options.size());
                writeIndex(choice, wrapped(choice.index.get(), delta, n));
                return true;
            },
            [&](const Slider& slider) {
                const double moved = slider.value.get() + slider.step * delta;
                slider.value.set(roundedStep(std::clamp(moved, slider.low, slider.high)));
                return true;
            },
            [](const Action&) { return false; },
            [](const Note&) { return false; },
        },
        kind);
}

void OvraRow::activate() const {
    if (!enabled) {
        return;
    }
    std::visit(Overloaded{
                   [](const Action& action) {
                       if (action.run) {
                           action.run();
                       }
                   },
                   [](const Toggle& toggle) { toggle.value.set(!toggle.value.get()); },
                   [](const Choice& choice) {
                       if (!choice.options.empty()) {
                           const int n = static_cast<int>(choice.options.size());
                           writeIndex(choice, wrapped(choice.index.get(), 1, n));
                       }
                   },
                   [](const Slider&) {},
                   [](const Note&) {},
               },
               kind);
}

std::optional<std::string> OvraRow::valueText() const {
    return std::visit(
        Overloaded{
            [](const Toggle& toggle) -> std::optional<std::string> {
                return OvraText::t(toggle.value.get() ? "On" : "Off");
            },
            [](const Choice& choice) -> std::optional<std::string> {
                const int index = choice.index.get();
                if (index < 0 || static_cast<std::size_t>(index) >= choice.options.size()) {
                    return std::nullopt;
                }
                return choice.options[static_cast<std::size_t>(index)];
            },
            [](const Slider& slider) -> std::optional<std::string> {
                return slider.format ? slider.format(slider.value.get()) : std::string();
            },
            [](const Action&) -> std::optional<std::string> { return std::nullopt; },
            [](const Note&) -> std::optional<std::string> { return std::nullopt; },
        },
        kind);
}

bool OvraRow::isStop() const {
    const auto* note = std::get_if<Note>(&kind);
    return enabled && (note == nullptr || note->read);
}

bool OvraRow::isAdjustable() const {
    if (!enabled) {
        return false;
    }
    if (const auto* choice = std::get_if<Choice>(&kind)) {
        return !choice->options.empty();
    }
    return std::holds_alternative<Toggle>(kind) || std::holds_alternative<Slider>(kind);
}

}  // namespace ovra
