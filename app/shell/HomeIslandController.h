#pragma once

// The tray item's clicks and the home island: a dark panel hanging from the top of the screen
// with a keyboard-driven list of the home items, or the classic menu with the same items, or a
// request, as the "birdClick" setting says. The island opens for keys; Escape, a click outside
// it, a second click on the tray item or another app coming forward close it, and every item's
// action runs once the island has closed.
//
// Plain C++ on the main thread: the panel, the tray item, the pointer and the clock come in
// through interfaces, so tests drive keys, clicks and time by hand.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/overlay/IslandChrome.h"
#include "app/overlay/KeyAdapter.h"
#include "app/overlay/PointerIntent.h"
#include "app/shell/HomeItems.h"
#include "core/Rect.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

// The island's state, as its view draws it.
class HomeIslandModel final {
  public:
    // How a change of `open` is shown.
    enum class Animation { none, spring, easeOut };

    bool open() const { return open_; }
    Animation openAnimation() const { return animation_; }
    int selection() const { return selection_; }
    const std::vector<HomeItem>& items() const { return items_; }
    const std::vector<std::string>& status() const { return status_; }
    IslandGeometry geometry;
    double textScale = 1.0;
    BeaconTheme theme = BeaconTheme::ovra;

    void setOpen(bool open, Animation animation) {
        open_ = open;
        animation_ = animation;
        changed();
    }
    void setSelection(int selection) {
        selection_ = selection;
        changed();
    }
    void setContent(std::vector<HomeItem> items, std::vector<std::string> status) {
        items_ = std::move(items);
        status_ = std::move(status);
        changed();
    }
    // The selected item; none when the selection lies outside the items.
    const HomeItem* selectedItem() const {
        return selection_ >= 0 && selection_ < static_cast<int>(items_.size())
                   ? &items_[static_cast<std::size_t>(selection_)]
                   : nullptr;
    }

    // Told after every change (one listener: the view).
    std::function<void()> onChange;

  private:
    void changed() {
        if (onChange) {
            onChange();
        }
    }
    bool open_ = false;
    Animation animation_ = Animation::none;
    int selection_ = 0;
    std::vector<HomeItem> items_;
    std::vector<std::string> status_;
};

// A screen the island can open on: its frame and the part of it free of panels (root window
// space, y down), and its place in the desktop's list of screens.
struct IslandScreen {
    Rect frame;
    Rect visibleFrame;
    int index = 0;
};

// The window the island is shown in. It takes the keyboard while shown.
class IslandPanel {
  public:
    using KeyHandler = std::function<bool(const KeyInput&)>;
    virtual ~IslandPanel() = default;
    virtual void present(const IslandScreen& screen) = 0;
    virtual void orderOut() = 0;
    virtual bool isVisible() const = 0;
    virtual bool hasKeyboard() const = 0;
    virtual void setKeyHandler(KeyHandler handler) = 0;
    // A spoken status line for screen readers, posted on the panel with high priority.
    virtual void announce(const std::string& text) = 0;
};

struct IslandCallbacks {
    std::function<void(int index)> activate;  // a row was clicked
    std::function<void()> dismiss;            // a click outside the island
    // The window was hidden by the desktop (another app came forward while it showed).
    std::function<void()> hidden;
};
using IslandPanelFactory =
    std::function<std::unique_ptr<IslandPanel>(HomeIslandModel& model, IslandCallbacks callbacks)>;

// The tray item as the island controller drives it.
class TrayItem {
  public:
    struct MenuEntry {
        std::string id;  // empty for a status line (shown disabled)
        std::string title;
        std::string symbol;
    };
    virtual ~TrayItem() = default;
    // The item's name beside its icon, where the tray can show one.
    virtual void showName(bool show) = 0;
    // The classic menu at the pointer; `picked` gets the id of the chosen entry.
    virtual void popUpMenu(const std::vector<MenuEntry>& entries,
                           std::function<void(const std::string& id)> picked) = 0;
};

class HomeIslandController final {
  public:
    struct Services {
        ShellController& app;
        Scheduler& scheduler;
        PointerIntent& pointer;
        IslandPanelFactory makePanel;
        std::function<std::optional<Point>()> pointerLocation;
        std::function<bool()> reduceMotion;
        std::function<void()> beep;
        // One line on standard output, flushed ("--trace-keys").
        std::function<void(const std::string&)> print;
        HomeItemActions actions;
        bool traceKeys = false;
        bool simulateNotch = false;
    };

    static constexpr double kOrderOutDelay = 0.22;

    explicit HomeIslandController(Services services);
    ~HomeIslandController();
    HomeIslandController(const HomeIslandController&) = delete;
    HomeIslandController& operator=(const HomeIslandController&) = delete;

    // Shows the name beside the tray icon as the "menuBarName" setting says, and follows it.
    void install(TrayItem& tray);
    // A click on the tray item: secondary for the right button or with Ctrl held; `screen` is
    // the screen the tray item shows on.
    void clicked(bool secondary, const IslandScreen& screen);
    void open(const IslandScreen& screen);
    // Shuts the island, hides its window 0.22 s later, then runs `action`.
    void close(std::function<void()> action = {});
    void activate(int index);
    bool handleKey(const KeyInput& key);
    void showClassicMenu();
    void menuPicked(const std::string& id);
    // Another app came forward.
    void otherAppActivated();

    // The island shows open (or is opening).
    bool isOpen() const;
    bool isClosing() const { return closeWork_ != 0; }
    HomeIslandModel& model() { return model_; }

    // Self-test hooks: an item's 1-based number; the island's state in one line.
    std::optional<int> devNumber(const std::string& id) const;
    std::string devState() const;

  private:
    void trace(const std::string& message);
    HomeIslandModel::Animation animation() const;
    void announceSelection();

    Services services_;
    HomeIslandModel model_;
    std::unique_ptr<IslandPanel> panel_;
    TrayItem* tray_ = nullptr;
    Scheduler::Token closeWork_ = 0;
    std::optional<std::uint64_t> nameWatch_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// Where the on-screen button's flight ends: the middle of the tray icon when the tray tells where
// it shows; else the middle of the top panel above `rect` (root window space, y down), 30
// pixels inside the screen's right edge at most; none when neither is known (the screen under
// `rect`, else the first, reserves no panel at its top, or there is no screen).
std::optional<Point> menuBarLanding(const Rect& rect, const std::vector<IslandScreen>& screens,
                                    const std::optional<Rect>& trayIcon = std::nullopt);

}  // namespace ovra
