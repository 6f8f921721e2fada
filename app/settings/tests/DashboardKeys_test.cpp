// The settings window's keyboard, step by step: one table of (focus, key) → outcome over a
// small set of panes, then the focus repair after operations and rebuilds, and what is announced.

#include "app/settings/DashboardKeys.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

namespace Code = DashboardKeyCode;
using Kind = RowOperation::Kind;
using P = OvraPane;

// id, stop, adjustable. Look has a note and two disabled rows; General a disabled row between
// stops; Your choices only notes; Instructions its two action rows.
PaneRows paneRows(OvraPane pane) {
    switch (pane) {
        case P::look:
            return {{{"look.appearance", true, true},
                     {"look.appearance.note", false, false},
                     {"look.dim", true, true},
                     {"look.bubble", true, true},
                     {"look.bubblesize", false, false},
                     {"look.trail", false, false}}};
        case P::general:
            return {{{"gen.confirm", true, true},
                     {"gen.scanspeed", false, false},
                     {"gen.maxovras", true, true},
                     {"gen.restart", true, false},
                     {"gen.version", false, false}}};
        case P::choices:
            return {{{"choices.note", false, false}, {"choices.empty", false, false}}};
        case P::instructions:
            return {{{"instr.list", true, false}, {"instr.read", true, false}}};
        default:
            return {};
    }
}

DashboardKey key(int code, std::string characters = {}) {
    DashboardKey k;
    k.keyCode = code;
    k.characters = std::move(characters);
    return k;
}
DashboardKey shifted(DashboardKey k) {
    k.shift = true;
    return k;
}
DashboardKey repeated(DashboardKey k) {
    k.isRepeat = true;
    return k;
}
// A digit key: what it types plain may differ (AZERTY types "&" plain, "1" with Shift).
DashboardKey digit(int n, bool ctrl = false, std::string plain = {}) {
    DashboardKey k = key(18, plain.empty() ? std::to_string(n) : plain);
    k.digit = n;
    k.command = ctrl;
    return k;
}
DashboardKey ctrl(int code, std::string characters) {
    DashboardKey k = key(code, std::move(characters));
    k.command = true;
    return k;
}

DashboardFocus at(OvraPane pane, std::optional<std::string> focus,
                  OvraFeature feature = OvraFeature::ovras) {
    return {pane, std::move(focus), feature};
}

// A handled key: where the focus goes (unchanged when none is given), whether the move is
// said, and what it does to the focused row.
struct Step {
    const char* name;
    DashboardFocus now;
    DashboardKey key;
    std::optional<DashboardFocus> next;
    bool announce;
    std::optional<Kind> operation = {};
    int delta = 0;
};

TEST(DashboardKeys, EveryStepOfTheKeyboard) {
    const DashboardFocus home = at(P::home, "pane.Home"), list = at(P::instructions, "instr.list");
    const std::vector<Step> steps{
        // Ctrl with a digit picks a pane into its rows; AZERTY's digits come with Shift.
        {"ctrl+2", home, digit(2, true), at(P::look, "look.appearance"), true},
        {"ctrl+7", at(P::look, "look.dim"), digit(7, true), list, true},
        {"ctrl+4 no rows", home, digit(4, true), at(P::choices, "pane.Your choices"), true},
        {"ctrl+azerty 3", home, digit(3, true, "\""), at(P::voice, "pane.Voice"), true},
        // The feature list walks the features before it leaves.
        {"list down", list, key(Code::down),
         at(P::instructions, "instr.list", OvraFeature::sidebar), true},
        {"list up first", list, key(Code::up), at(P::instructions, "pane.Instructions"), true},
        {"list down last", at(P::instructions, "instr.list", OvraFeature::say), key(Code::down),
         at(P::instructions, "instr.read", OvraFeature::say), true},
        {"list digit 3", list, digit(3), at(P::instructions, "instr.list", OvraFeature::popups),
         true},
        {"list return", list, key(Code::returnKey), {}, true, Kind::activate},
        {"list ctrl+3", list, digit(3, true), at(P::voice, "pane.Voice"), true},
        // Tab walks sidebar entry and rows, wrapping both ways.
        {"tab wraps", at(P::look, "look.bubble"), key(Code::tab), at(P::look, "pane.Look"), true},
        {"shift-tab wraps", at(P::look, "pane.Look"), shifted(key(Code::tab)),
         at(P::look, "look.bubble"), true},
        {"tab no focus", at(P::look, {}), key(Code::tab), at(P::look, "look.appearance"), true},
        // Right enters the rows; on a row the arrows adjust, or Left goes back.
        {"right sidebar", at(P::general, "pane.General"), key(Code::right),
         at(P::general, "gen.confirm"), true},
        {"right no rows", at(P::choices, "pane.Your choices"), key(Code::right), {}, false},
        {"left sidebar", at(P::look, "pane.Look"), key(Code::left), {}, false},
        {"left toggle", at(P::general, "gen.confirm"), key(Code::left), {}, true, Kind::adjust, -1},
        {"right slider", at(P::look, "look.dim"), key(Code::right), {}, true, Kind::adjust, 1},
        {"left action", at(P::general, "gen.restart"), key(Code::left),
         at(P::general, "pane.General"), true},
        {"right action", at(P::general, "gen.restart"), key(Code::right), {}, false},
        {"left stale", at(P::look, "look.gone"), key(Code::left), at(P::look, "pane.Look"), true},
        // Return, Space and Enter activate; a repeat never does.
        {"return sidebar", at(P::general, "pane.General"), key(Code::returnKey),
         at(P::general, "gen.confirm"), true},
        {"space row", at(P::general, "gen.restart"), key(Code::space), {}, true, Kind::activate},
        {"enter row", at(P::look, "look.dim"), key(Code::enter), {}, true, Kind::activate},
        {"repeat", at(P::general, "gen.restart"), repeated(key(Code::returnKey)), {}, false},
        {"return nil", at(P::look, {}), key(Code::returnKey), {}, false},
        {"return stale", at(P::look, "look.gone"), key(Code::returnKey), {}, false},
        // Up and Down: the sidebar wraps through the panes; rows stop at the ends.
        {"down last pane", at(P::instructions, "pane.Instructions"), key(Code::down), home, true},
        {"up first pane", home, key(Code::up), at(P::instructions, "pane.Instructions"), true},
        {"down last row", at(P::look, "look.bubble"), key(Code::down), {}, true},
        {"up first row", at(P::look, "look.appearance"), key(Code::up), at(P::look, "pane.Look"),
         true},
        {"down skips note", at(P::look, "look.appearance"), key(Code::down),
         at(P::look, "look.dim"), true},
        // A focus on no row counts as the first place; with no row stops Down keeps it.
        {"stale down", at(P::look, "look.gone"), key(Code::down), at(P::look, "look.dim"), true},
        {"stale up", at(P::look, "look.gone"), key(Code::up), at(P::look, "pane.Look"), true},
        {"stale down no stops", at(P::choices, "choice.x"), key(Code::down), {}, false},
        {"stale up no stops", at(P::choices, "choice.x"), key(Code::up),
         at(P::choices, "pane.Your choices"), true},
        // A clicked disabled row: the nearest stop after or before it.
        {"disabled down", at(P::general, "gen.scanspeed"), key(Code::down),
         at(P::general, "gen.maxovras"), true},
        {"disabled up", at(P::general, "gen.scanspeed"), key(Code::up),
         at(P::general, "gen.confirm"), true},
        {"disabled down none after", at(P::look, "look.bubblesize"), key(Code::down), {}, false},
        {"disabled up last", at(P::look, "look.trail"), key(Code::up), at(P::look, "look.bubble"),
         true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const KeyOutcome out = DashboardKeys::handle(step.now, step.key, paneRows);
        EXPECT_TRUE(out.handled);
        EXPECT_EQ(out.next, step.next.value_or(step.now)) << out.next.focusID.value_or("nil");
        std::optional<RowOperation> operation;
        if (step.operation) {
            operation = RowOperation{*step.operation, *step.now.focusID, step.delta};
        }
        EXPECT_EQ(out.operation, operation);
        EXPECT_EQ(out.announce, step.announce);
        EXPECT_FALSE(out.close);
    }
    // Keys the window's other commands take, and Escape, which closes it.
    const DashboardFocus dim = at(P::look, "look.dim");
    const std::vector<std::pair<DashboardFocus, DashboardKey>> others{{home, digit(8, true)},
                                                                      {list, digit(9, true)},
                                                                      {dim, ctrl(12, "q")},
                                                                      {list, digit(0)},
                                                                      {dim, key(0, "a")}};
    for (const auto& [now, k] : others) {
        const KeyOutcome out = DashboardKeys::handle(now, k, paneRows);
        EXPECT_FALSE(out.handled) << k.characters;
        EXPECT_EQ(out.next, now) << k.characters;
        EXPECT_FALSE(out.operation || out.announce || out.close) << k.characters;
    }
    const KeyOutcome escape = DashboardKeys::handle(dim, key(Code::escape), paneRows);
    EXPECT_TRUE(escape.handled && escape.close);
    EXPECT_EQ(escape.next, dim);
    EXPECT_FALSE(escape.operation || escape.announce);
}

TEST(DashboardKeys, PastTheLastFeatureTheStopAfterTheListWhereverItIs) {
    const DashboardFocus last = at(P::instructions, "instr.list", OvraFeature::say);
    const auto listFirst = [](OvraPane) {
        return PaneRows{{{"instr.intro", true, false}, {"instr.list", true, false}}};
    };
    const KeyOutcome stays = DashboardKeys::handle(last, key(Code::down), listFirst);
    EXPECT_TRUE(stays.handled);
    EXPECT_EQ(stays.next, last);
    EXPECT_FALSE(stays.announce);
    const auto listMiddle = [](OvraPane) {
        return PaneRows{{{"instr.intro", true, false},
                         {"instr.list", true, false},
                         {"instr.read", true, false}}};
    };
    EXPECT_EQ(DashboardKeys::handle(last, key(Code::down), listMiddle).next.focusID, "instr.read");
}

TEST(DashboardKeys, AFocusLeftOnNoStopMovesToTheStopNowAtItsPlace) {
    const std::vector<std::string> before{"choice.a", "choice.b", "choice.c", "choices.clear"};
    struct Case {
        std::optional<std::string> focus;
        std::vector<std::string> now;
        std::optional<std::string> repaired;
    };
    const std::vector<Case> cases{
        {"choice.b", {"choice.a", "choice.c", "choices.clear"}, "choice.c"},  // removed by Return
        {"choices.clear", {"choice.a"}, "choice.a"},                          // past the end
        {"choice.a", {}, "pane.Your choices"},                                // nothing left
        {"choice.c", before, "choice.c"},                                     // still a stop
        {"pane.Look", {}, "pane.Look"},                                       // the sidebar
        {"choice.disabled", {"choice.a"}, "choice.disabled"},                 // never was a stop
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DashboardKeys::repairedFocus(P::choices, c.focus, before, c.now), c.repaired)
            << c.focus.value_or("nil");
    }
}

TEST(DashboardKeys, AnnouncementsAndTraceLines) {
    OvraRow dim;
    dim.id = "look.dim";
    dim.title = "Darkness";
    dim.kind = OvraRow::Slider{{[] { return 0.78; }, [](double) {}}, 0, 0.95, 0.05, [](double) {
                                   return std::string("78%");
                               }};
    OvraRow restart;
    restart.id = "gen.restart";
    restart.title = "Restart the model";
    restart.kind = OvraRow::Action{};
    const auto mac = DictationSource::desktop();
    const auto say = [&](DashboardFocus f, std::optional<OvraRow> row) {
        return DashboardKeys::announcement(f, row, mac).value_or("(none)");
    };
    EXPECT_EQ(say(at(P::look, "pane.Look"), {}), "Look, section");
    EXPECT_EQ(say(at(P::mac, "pane.Mac accessibility"), {}), "Desktop accessibility, section");
    EXPECT_EQ(say(at(P::look, "pane.Elsewhere"), {}), "Elsewhere, section");
    EXPECT_EQ(say(at(P::look, "look.dim"), dim), "Darkness, 78%");
    EXPECT_EQ(say(at(P::general, "gen.restart"), restart), "Restart the model");
    EXPECT_EQ(say(at(P::general, "gen.gone"), {}), "(none)");
    const OvraFeature find = OvraFeature::find;
    EXPECT_EQ(say(at(P::instructions, "instr.list", find), {}),
              find.title() + ", 5 of 9. " + find.sentence(mac));

    EXPECT_EQ(DashboardKeys::traceLine(at(P::look, "look.dim"), dim), "focus: Look look.dim 78% ");
    EXPECT_EQ(DashboardKeys::traceLine(at(P::instructions, "instr.list", find), {}),
              "focus: Instructions instr.list  feature=find");
    EXPECT_EQ(DashboardKeys::traceLine(at(P::home, std::nullopt), {}), "focus: Home nil  ");
}

}  // namespace
}  // namespace ovra
