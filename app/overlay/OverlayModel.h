#pragma once

// The one state object of the overlay: what it shows, which entry is selected, which view of the
// plan is active (numbered highlights, show-all, sidebar list, find), the find text, the armed
// and explained items, a notice, and the display settings the painted overlay reads.
//
// Plain C++ used on the main thread only. Every published field tells its listeners before each
// write (also when the new value equals the old one), naming the field; the derived values are
// computed afresh from the fields on every read, so they never disagree with them.

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/FocusPlan.h"
#include "core/Rect.h"
#include "core/SettingsTypes.h"

namespace ovra {

// What the overlay shows.
class OverlayPhase final {
  public:
    struct Loading {
        std::string app;  // the name of the app being read
        friend bool operator==(const Loading&, const Loading&) = default;
    };
    struct Ready {
        FocusPlan plan;
        friend bool operator==(const Ready&, const Ready&) = default;
    };
    struct Message {
        std::string text;
        friend bool operator==(const Message&, const Message&) = default;
    };

    static OverlayPhase loading(std::string app) { return OverlayPhase(Loading{std::move(app)}); }
    static OverlayPhase ready(FocusPlan plan) { return OverlayPhase(Ready{std::move(plan)}); }
    static OverlayPhase message(std::string text) { return OverlayPhase(Message{std::move(text)}); }

    const Loading* loading() const { return std::get_if<Loading>(&value_); }
    const Message* message() const { return std::get_if<Message>(&value_); }
    // The plan when ready, else null; valid while this phase lives.
    const FocusPlan* plan() const;

    friend bool operator==(const OverlayPhase&, const OverlayPhase&) = default;

  private:
    using Value = std::variant<Loading, Ready, Message>;
    explicit OverlayPhase(Value value) : value_(std::move(value)) {}
    Value value_;
};

// The published fields, in the order the model declares them.
enum class OverlayField {
    phase,
    selection,
    showAll,
    engineNote,
    armedID,
    explainID,
    notice,
    scanning,
    islandOpen,
    sidebar,
    finding,
    query,
    stale,
    findFocusRequest
};

class OverlayModel final {
  public:
    // Called before a published field is written.
    using Listener = std::function<void(OverlayField)>;
    using Subscription = std::size_t;
    using RectMapping = std::function<Rect(const Rect&)>;

    OverlayModel() = default;
    OverlayModel(const OverlayModel&) = delete;
    OverlayModel& operator=(const OverlayModel&) = delete;

    // Published fields.
    const OverlayPhase& phase() const { return phase_; }
    void setPhase(OverlayPhase phase);
    // Position of the selected entry in navigationOrder; never range-checked on write.
    // `noSelection`: nothing is selected until the user moves or picks (after a refusal).
    static constexpr int noSelection = -1;
    int selection() const { return selection_; }
    void setSelection(int selection);
    bool showAll() const { return showAll_; }
    void setShowAll(bool on);
    const std::string& engineNote() const { return engineNote_; }
    void setEngineNote(std::string note);
    const std::optional<std::string>& armedID() const { return armedID_; }
    void setArmedID(std::optional<std::string> id);
    const std::optional<std::string>& explainID() const { return explainID_; }
    void setExplainID(std::optional<std::string> id);
    const std::optional<std::string>& notice() const { return notice_; }
    void setNotice(std::optional<std::string> notice);
    bool scanning() const { return scanning_; }
    void setScanning(bool on);
    // While false the overlay hides its plan layer and the sidebar.
    bool islandOpen() const { return islandOpen_; }
    void setIslandOpen(bool open);
    bool sidebar() const { return sidebar_; }
    void setSidebar(bool on);
    bool finding() const { return finding_; }
    void setFinding(bool on);
    const std::string& query() const { return query_; }
    void setQueryField(std::string query);
    // The plan shown no longer matches the window: no holes or rings are drawn.
    bool stale() const { return stale_; }
    void setStale(bool on);
    // Only ever grows; each increase asks the find field to take the keyboard.
    int findFocusRequest() const { return findFocusRequest_; }
    void setFindFocusRequest(int value);

    // Display settings, written by the controller before it shows the panel; they do not notify.
    BeaconTheme theme = BeaconTheme::ovra;
    double dimLevel = 0.78;
    double textScale = 1.0;
    bool pulseEnabled = false;
    double notchWidth = 0;
    double topInset = 0;
    // The on-screen button in the overlay's own space, while it shows above the overlay: the
    // information panel keeps off it, so a second click on it closes the overlay.
    std::optional<Rect> keepClear;
    // The monitors the overlay covers, in its own space, the one the information panel stands on
    // first; none: the overlay covers one monitor. Drawings keep to the monitors, as what lies
    // between them is seen nowhere.
    std::vector<Rect> monitors;
    // A control's frame (accessibility space) in the overlay's own space.
    RectMapping mapRect = [](const Rect& r) { return r; };

    // Derived values.
    // The ids keyboard navigation walks: find matches, else the sidebar's items, else the reveal
    // order with show-all, else the numbered highlights; empty unless a plan is ready.
    std::vector<std::string> navigationOrder() const;
    std::optional<FocusItem> selectedItem() const;
    std::vector<std::string> findMatches() const;
    std::vector<FocusSection> sidebarSections() const;

    // Operations.
    void select(int index);
    // Moves by `step`, wrapping past either end; nothing when there is nothing to walk. From
    // `noSelection` a step forward starts at the first entry, a step back at the last.
    void move(int step);
    void toggleShowAll();
    void toggleSidebar();
    void startFind();
    void endFind();
    // The find field's edit: writes nothing when the text is unchanged.
    void setQuery(std::string query);
    // 1-based position of the first occurrence of `id` in navigationOrder.
    std::optional<int> number(std::string_view id) const;

    Subscription subscribe(Listener listener);
    void unsubscribe(Subscription subscription);

  private:
    void willChange(OverlayField field);
    std::optional<std::string> selectedID() const;
    void selectKept(const std::optional<std::string>& id);

    OverlayPhase phase_ = OverlayPhase::message("");
    int selection_ = 0;
    bool showAll_ = false;
    std::string engineNote_;
    std::optional<std::string> armedID_;
    std::optional<std::string> explainID_;
    std::optional<std::string> notice_;
    bool scanning_ = false;
    bool islandOpen_ = false;
    bool sidebar_ = false;
    bool finding_ = false;
    std::string query_;
    bool stale_ = false;
    int findFocusRequest_ = 0;

    std::map<Subscription, Listener> listeners_;
    Subscription lastSubscription_ = 0;
};

}  // namespace ovra
