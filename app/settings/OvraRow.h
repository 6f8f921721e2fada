#pragma once

// One settings row, which is at once a visible control and a keyboard stop, and the titled
// groups of rows a pane is made of. A row never caches its value: every read goes through its
// binding's getter and every change through its setter, so rows built a moment ago still show
// the store as it is. The keys, the pointer and the screen reader all act on a row through the
// same two operations, adjust and activate. Main thread only.

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace ovra {

template <class T>
struct Binding {
    std::function<T()> get;
    std::function<void(T)> set;
};

class OvraRow final {
  public:
    // Runs an operation.
    struct Action {
        std::function<void()> run;
    };
    // An on/off switch.
    struct Toggle {
        Binding<bool> value;
    };
    // A cycling list; the index is a position in `options`.
    struct Choice {
        std::vector<std::string> options;
        Binding<int> index;
    };
    // A stepped number.
    struct Slider {
        Binding<double> value;
        double low = 0;
        double high = 1;
        double step = 0.1;
        std::function<std::string(double)> format;
    };
    // Plain explanatory text, a keyboard stop only when `read`: the text of a pane that has
    // nothing else, which Tab must be able to reach and a screen reader hears as it lands.
    struct Note {
        bool read = false;
    };
    using Kind = std::variant<Action, Toggle, Choice, Slider, Note>;

    std::string id;
    std::string title;
    std::optional<std::string> subtitle;
    std::optional<std::string> symbol;
    Kind kind = Note{};
    bool enabled = true;
    bool destructive = false;

    // Steps the row by delta (-1 Left, +1 Right). A toggle turns on for a positive step and off
    // otherwise; a choice moves by delta with wrap-around; a slider moves by step × delta within
    // its range. False, and nothing written, for a disabled row, an action, a note and a choice
    // without options.
    bool adjust(int delta) const;
    // The row's main action: runs an action, flips a toggle, moves a choice to its next option.
    // Nothing for a disabled row, a slider or a note.
    void activate() const;
    // "On" or "Off", the chosen option, the slider's formatted value; none otherwise (and for a
    // choice whose index is outside its options).
    std::optional<std::string> valueText() const;

    // Whether the keyboard walks onto the row: enabled and not a note, or a note to be read.
    bool isStop() const;
    // Whether adjust takes a step.
    bool isAdjustable() const;
    bool isNote() const { return std::holds_alternative<Note>(kind); }
};

struct OvraSection {
    std::string id;
    std::optional<std::string> title;
    std::vector<OvraRow> rows;
};

// A stepped value as stored: rounded to 1e-9, so a value stepped many times does not drift off
// the steps ("0.95 down 18 times" must read 5 %, not "Subtle").
double roundedStep(double value);

}  // namespace ovra
