#include "app/shell/HomeIslandController.h"

#include <algorithm>
#include <cctype>

#include "app/controller/Preferences.h"
#include "core/OvraText.h"

namespace ovra {

namespace {

// The number a key types: an optional sign, then ASCII digits only; none otherwise.
std::optional<long> typedNumber(const std::optional<std::string>& characters) {
    if (!characters || characters->empty()) {
        return std::nullopt;
    }
    std::string_view text = *characters;
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const long value = std::stol(std::string(text));
    return negative ? -value : value;
}

}  // namespace

HomeIslandController::HomeIslandController(Services services) : services_(std::move(services)) {}

HomeIslandController::~HomeIslandController() {
    services_.scheduler.cancel(closeWork_);
    if (nameWatch_) {
        services_.app.prefs().removeListener(*nameWatch_);
    }
}

void HomeIslandController::install(TrayItem& tray) {
    tray_ = &tray;
    tray.showName(services_.app.prefs().get(keys::menuBarName));
    std::weak_ptr<int> alive = alive_;
    nameWatch_ = services_.app.prefs().onChange([this, alive](Preference changed) {
        if (changed != Preference::menuBarName) {
            return;
        }
        services_.scheduler.after(
            0, [this, alive, show = services_.app.prefs().get(keys::menuBarName)] {
                if (!alive.expired() && tray_) {
                    tray_->showName(show);
                }
            });
    });
}

bool HomeIslandController::isOpen() const {
    return panel_ && panel_->isVisible() && model_.open();
}

void HomeIslandController::clicked(bool secondary, const IslandScreen& screen) {
    const auto toggle = [this, &screen] {
        if (isOpen()) {
            close();
        } else {
            open(screen);
        }
    };
    if (services_.app.prefs().get(keys::birdClick) == BirdClickSetting::home) {
        if (secondary) {
            showClassicMenu();
        } else {
            toggle();
        }
        return;
    }
    if (secondary) {
        toggle();
        return;
    }
    if (isOpen()) {
        close();
    }
    services_.app.birdSimplify();
}

HomeIslandModel::Animation HomeIslandController::animation() const {
    return services_.reduceMotion && services_.reduceMotion() ? HomeIslandModel::Animation::easeOut
                                                              : HomeIslandModel::Animation::spring;
}

void HomeIslandController::open(const IslandScreen& screen) {
    // An open while closing cancels the pending order-out (and its action).
    services_.scheduler.cancel(closeWork_);
    closeWork_ = 0;
    model_.setContent(buildHomeItems(services_.app, services_.actions),
                      buildHomeStatus(services_.app));
    const auto& items = model_.items();
    const auto first = std::find_if(items.begin(), items.end(), [](const HomeItem& item) {
        return item.id == "permission" || item.id == "ovras";
    });
    model_.setSelection(first == items.end() ? 0 : static_cast<int>(first - items.begin()));
    model_.geometry =
        IslandGeometry::of(screen.frame, screen.visibleFrame, services_.simulateNotch);
    model_.textScale = services_.app.prefs().get(keys::textScale);
    model_.theme = services_.app.prefs().get(keys::theme);

    std::weak_ptr<int> alive = alive_;
    if (!panel_) {
        panel_ = services_.makePanel(
            model_, IslandCallbacks{
                        [this, alive](int index) {
                            if (!alive.expired()) {
                                activate(index);
                            }
                        },
                        [this, alive] {
                            if (!alive.expired()) {
                                close();
                            }
                        },
                        [this, alive] {
                            if (alive.expired()) {
                                return;
                            }
                            // Hidden by the desktop: the island is shut, nothing pending runs.
                            services_.scheduler.cancel(closeWork_);
                            closeWork_ = 0;
                            if (model_.open()) {
                                model_.setOpen(false, HomeIslandModel::Animation::none);
                            }
                        },
                    });
    }
    panel_->setKeyHandler(
        [this, alive](const KeyInput& key) { return !alive.expired() && handleKey(key); });
    model_.setOpen(false, HomeIslandModel::Animation::none);
    panel_->present(screen);
    // The panel is on screen before the island grows.
    services_.scheduler.after(0, [this, alive] {
        if (!alive.expired() && closeWork_ == 0 && panel_ && panel_->isVisible()) {
            model_.setOpen(true, animation());
        }
    });
    if (const HomeItem* item = model_.selectedItem()) {
        panel_->announce(
            OvraText::f("Murmlark Ovra menu. %lld choices. %lld, %@",
                        {static_cast<std::int64_t>(items.size()),
                         static_cast<std::int64_t>(model_.selection() + 1), item->title}));
    }
}

void HomeIslandController::close(std::function<void()> action) {
    // A close while one runs is neither lost nor run twice: the first one finishes.
    if (closeWork_ != 0) {
        return;
    }
    trace("close");
    if (panel_) {
        panel_->setKeyHandler([](const KeyInput&) { return true; });
    }
    model_.setOpen(false, animation());
    std::weak_ptr<int> alive = alive_;
    closeWork_ = services_.scheduler.after(kOrderOutDelay, [this, alive, action] {
        if (!alive.expired()) {
            closeWork_ = 0;
            if (panel_) {
                panel_->orderOut();
            }
        }
        if (action) {
            action();
        }
    });
}

void HomeIslandController::activate(int index) {
    trace("activate " + std::to_string(index));
    if (closeWork_ != 0 || index < 0 || index >= static_cast<int>(model_.items().size())) {
        return;
    }
    close(model_.items()[static_cast<std::size_t>(index)].action);
}

bool HomeIslandController::handleKey(const KeyInput& key) {
    if (services_.pointerLocation) {
        if (auto where = services_.pointerLocation()) {
            services_.pointer.record(*where);
        }
    }
    const int n = static_cast<int>(model_.items().size());
    const int selection = model_.selection();
    if (key.command && key.characters == ",") {
        // The Settings command of every window of the app.
        ShellController* app = &services_.app;
        close([app] { app->showDashboard(OvraPane::general); });
        trace("key " + std::to_string(key.keyCode));
        return true;
    }
    switch (key.keyCode) {
        case 53:  // Escape: also with no items
            close();
            break;
        case 36:  // Return
        case 49:  // Space
        case 76:  // keypad Enter
            if (n > 0 && !key.isRepeat) {
                activate(selection);
            }
            break;
        case 48:  // Tab
            if (n > 0) {
                model_.setSelection(key.shift ? (selection + n - 1) % n : (selection + 1) % n);
            }
            break;
        case 124:
        case 125:
            if (n > 0) {
                model_.setSelection((selection + 1) % n);
            }
            break;
        case 123:
        case 126:
            if (n > 0) {
                model_.setSelection((selection - 1 + n) % n);
            }
            break;
        default: {
            const auto number = typedNumber(key.characters);
            if (n > 0 && number && *number >= 1 && *number <= std::min(n, 9)) {
                model_.setSelection(static_cast<int>(*number) - 1);
            } else if (services_.beep) {
                services_.beep();
            }
            break;
        }
    }
    // A key that shut the island (Escape, Return, the Settings command) leaves it silent: the
    // entry chosen was heard when it was selected, and a closed menu has nothing to say.
    if (n > 0 && closeWork_ == 0) {
        announceSelection();
    }
    trace("key " + std::to_string(key.keyCode));
    return true;
}

void HomeIslandController::announceSelection() {
    if (panel_) {
        if (const HomeItem* item = model_.selectedItem()) {
            panel_->announce(OvraText::f(
                "%lld, %@", {static_cast<std::int64_t>(model_.selection() + 1), item->title}));
        }
    }
}

void HomeIslandController::showClassicMenu() {
    if (!tray_) {
        return;
    }
    std::vector<TrayItem::MenuEntry> entries;
    for (const HomeItem& item : buildHomeItems(services_.app, services_.actions)) {
        entries.push_back({item.id, item.title, item.symbol});
    }
    for (const std::string& line : buildHomeStatus(services_.app)) {
        entries.push_back({"", line, ""});
    }
    std::weak_ptr<int> alive = alive_;
    tray_->popUpMenu(entries, [this, alive](const std::string& id) {
        if (!alive.expired()) {
            menuPicked(id);
        }
    });
}

void HomeIslandController::menuPicked(const std::string& id) {
    for (const HomeItem& item : buildHomeItems(services_.app, services_.actions)) {
        if (item.id == id) {
            if (item.action) {
                item.action();
            }
            return;
        }
    }
}

void HomeIslandController::otherAppActivated() {
    if (isOpen()) {
        close();
    }
}

void HomeIslandController::trace(const std::string& message) {
    if (services_.traceKeys && services_.print) {
        services_.print("island: " + message + " selection: " + std::to_string(model_.selection()) +
                        " open: " + (model_.open() ? "true" : "false"));
    }
}

std::optional<int> HomeIslandController::devNumber(const std::string& id) const {
    const auto& items = model_.items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].id == id) {
            return static_cast<int>(i) + 1;
        }
    }
    return std::nullopt;
}

std::string HomeIslandController::devState() const {
    const auto flag = [](bool on) { return on ? "true" : "false"; };
    const HomeItem* item = model_.selectedItem();
    return std::string("island open=") + flag(model_.open()) +
           " visible=" + flag(panel_ && panel_->isVisible()) +
           " panelKey=" + flag(panel_ && panel_->hasKeyboard()) +
           " selected=" + std::to_string(model_.selection() + 1) + " of " +
           std::to_string(model_.items().size()) + " \"" + (item ? item->title : "none") + "\"";
}

std::optional<Point> menuBarLanding(const Rect& rect, const std::vector<IslandScreen>& screens,
                                    const std::optional<Rect>& trayIcon) {
    if (trayIcon && trayIcon->width() > 0 && trayIcon->height() > 0) {
        return trayIcon->center();
    }
    if (screens.empty()) {
        return std::nullopt;
    }
    const auto on = std::find_if(screens.begin(), screens.end(), [&rect](const IslandScreen& s) {
        return s.frame.intersects(rect);
    });
    const IslandScreen& screen = on != screens.end() ? *on : screens.front();
    const double bar = screen.visibleFrame.minY() - screen.frame.minY();
    if (!(bar > 0)) {
        return std::nullopt;
    }
    return Point{std::min(rect.midX(), screen.frame.maxX() - 30), screen.frame.minY() + bar / 2};
}

}  // namespace ovra
