#pragma once

// The one place where AT-SPI roles, states, object attributes and action names become the AX
// vocabulary the rest of the system speaks. Pure functions over plain facts read off the bus.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra::atspi {

// AT-SPI state set as sent on the bus: two 32-bit words, bit n = AtspiStateType n.
class StateSet {
  public:
    StateSet() = default;
    explicit StateSet(std::uint64_t bits) : bits_(bits) {}
    static StateSet fromWords(std::uint32_t low, std::uint32_t high) {
        return StateSet((std::uint64_t{high} << 32) | low);
    }
    bool has(int state) const {
        return state >= 0 && state < 64 && ((bits_ >> static_cast<unsigned>(state)) & 1U) != 0;
    }
    StateSet with(int state) const {
        if (state < 0 || state >= 64) {
            return *this;
        }
        return StateSet(bits_ | (std::uint64_t{1} << static_cast<unsigned>(state)));
    }
    std::uint64_t bits() const { return bits_; }

  private:
    std::uint64_t bits_ = 0;
};

using ObjectAttributes = std::map<std::string, std::string, std::less<>>;

// What the role translation needs to know about one node.
struct RoleFacts {
    std::uint32_t role = 0;  // AtspiRole
    StateSet states;
    ObjectAttributes attributes;  // xml-roles, tag... (empty when not read)
    bool isTopLevel = false;      // a direct child of the application
    std::optional<std::uint32_t> parentRole;
    bool hasEntryChild = false;  // for combo boxes: an editable entry inside
    bool wrapsControl = false;   // for labels: a control inside (<label><input> text</label>)
    bool inBrowser = false;      // the app is a web browser (Chromium, Gecko)
    bool named = false;          // it has a name
};

struct AXRole {
    std::string role;
    std::optional<std::string> subrole;

    friend bool operator==(const AXRole&, const AXRole&) = default;
};

AXRole mapRole(const RoleFacts& facts);

// Which extra reads a role needs beyond the common per-node batch.
bool roleNeedsAttributes(std::uint32_t role);
// Whether what the role maps to depends on the parent's role (a menu in a menu bar or menu).
bool roleNeedsParent(std::uint32_t role);
bool isTextInputRole(std::uint32_t role);  // AXValue from the character count
bool isRangeRole(std::uint32_t role);      // slider, dial, spin button, scroll bar
bool isStaticTextRole(std::uint32_t role);
bool isScrollBarRole(std::uint32_t role);
bool isApplicationRole(std::uint32_t role);
// A control a label may hold, which is read in the label's place.
bool isControlRole(std::uint32_t role);
// The root of a document: a web page when a browser shows it.
bool isWebDocumentRole(std::uint32_t role);

// AXEnabled: false only when the state set lacks both ENABLED and SENSITIVE.
bool isEnabled(StateSet states);
// AXHidden: true only when the state set lacks both VISIBLE and SHOWING. Off-screen web nodes
// are VISIBLE but not SHOWING and must stay in the tree.
bool isHidden(StateSet states);
bool isFocused(StateSet states);
// A top-level window the user works in ("AXFocusedWindow").
bool isActiveWindow(StateSet states);
bool isShowing(StateSet states);
// AXModal: a dialog that keeps the rest of its window from being used while it is open (GTK's
// modal windows, a page's aria-modal dialog or modal <dialog>).
bool isModal(StateSet states);

// AXValue of toggles from their states; absent for roles without such a value.
std::optional<double> toggleValue(std::uint32_t role, StateSet states);
// A scroll bar's position, 0 at the top; absent when the range is empty or not finite.
std::optional<double> scrollBarValue(double current, double minimum, double maximum);

// What was read of an element's Value interface, each property asked on its own: a property
// whose read failed is absent.
struct RangeValues {
    std::optional<double> minimum, maximum, current;
};
// AXValue of a range role: a scroll bar's position (needs all three), else the current value;
// absent when what it needs is absent or not finite.
std::optional<double> rangeValue(std::uint32_t role, const RangeValues& values);

// AXPlaceholderValue from the object attributes.
std::optional<std::string> placeholder(const ObjectAttributes& attributes);

// How much of what was read of an app one of its change events (an org.a11y.atspi.Event.`kind`
// signal, with the event's detail string) can have made wrong.
enum class EventReach : std::uint8_t {
    senderStates,  // only the state set of the object that sent it: focus, active, checked...
    senderName,    // only the name or description of the object that sent it
    wholeApp,      // anything: the tree, frames, names, text
};
EventReach eventReach(std::string_view kind, std::string_view member, std::string_view detail);
// What kind of change such an event tells of; `gained` is its first number (1: a state set).
ax::Change::Kind changeKind(std::string_view kind, std::string_view member, std::string_view detail,
                            bool gained);
// Whether such an event tells that its object came to show. GTK 2 tells the items of a menu it
// opened this way only: read, their states never say so.
bool tellsShown(std::string_view kind, std::string_view member, std::string_view detail,
                bool gained);

// AX action names offered by a node with these AT-SPI action names (lower-case matching).
std::vector<std::string> axActions(const std::vector<std::string>& atspiActions);
// The index of the AT-SPI action that performs an AX action; absent when none does.
std::optional<int> atspiActionFor(std::string_view axAction,
                                  const std::vector<std::string>& atspiActions);

// Whether pressing a native control (one outside web content) opens a menu rather than acting
// at once: its press is Qt's "ShowMenu", or it is a menu (GTK's menu bar items and submenus) or
// a menu button. Such a press has worked only once the menu shows.
bool pressOpensMenu(std::uint32_t role, std::string_view atspiAction);
// Whether a menu opener's menu shows, from its own states and those of its first children: it
// is expanded, or held down (a Qt button while its menu is open), or a child shows (the menu
// of a Qt menu bar item, the items of a GTK menu).
bool menuShows(StateSet opener, std::span<const StateSet> children);

// A button that has no action of its own but holds the button that does (GTK 4's menu
// button, whose inner toggle opens the menu): which of its children takes its press. Absent
// unless exactly one child is a button with a press; `childActions` and `childRoles` list the
// same children, at most kMostButtonParts of them.
inline constexpr std::size_t kMostButtonParts = 4;
std::optional<std::size_t> innerPress(std::uint32_t role,
                                      std::span<const std::vector<std::string>> childActions,
                                      std::span<const std::uint32_t> childRoles);

// A button without a name of its own that shows the label of the button inside it (GTK 4's menu
// button, whose inner toggle holds the label and the arrow): which of its children names it.
// Absent unless exactly one child is a button with a name; `childRoles` and `childNamed` list the
// same children, at most kMostButtonParts of them.
std::optional<std::size_t> labellingChild(std::uint32_t role,
                                          std::span<const std::uint32_t> childRoles,
                                          std::span<const bool> childNamed);

}  // namespace ovra::atspi
