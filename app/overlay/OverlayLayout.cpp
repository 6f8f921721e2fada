#include "app/overlay/OverlayLayout.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "app/overlay/Suite.h"
#include "core/DisplayText.h"
#include "core/Monitors.h"
#include "core/OvraText.h"

namespace ovra {

namespace OverlaySpace {

Rect fromAccessibility(const Rect& ax, const Rect& screenNative, double devicePixelRatio) {
    const double dpr = devicePixelRatio > 0 ? devicePixelRatio : 1;
    return Rect((ax.minX() - screenNative.minX()) / dpr, (ax.minY() - screenNative.minY()) / dpr,
                ax.width() / dpr, ax.height() / dpr);
}

OverlayModel::RectMapping mapping(const Rect& screenNative, double devicePixelRatio) {
    return [screenNative, devicePixelRatio](const Rect& ax) {
        return fromAccessibility(ax, screenNative, devicePixelRatio);
    };
}

std::optional<Rect> coveredArea(const Rect& window, const std::vector<Rect>& screens) {
    return Monitors::spanned(window, screens);
}

}  // namespace OverlaySpace

namespace {

using Ids = std::unordered_set<std::string_view>;

Rect grown(const Rect& r, double by) {
    return r.insetBy(-by, -by);
}

// What a drawing at `r` keeps within: the monitor showing the most of it, else the whole overlay
// (what lies outside every monitor is seen nowhere).
Rect boundsFor(const Rect& r, const OverlayModel& model, Size screen) {
    const Rect whole(0, 0, screen.width, screen.height);
    const std::optional<Rect> on = Monitors::showing(r, model.monitors);
    const Rect inside = on ? on->intersection(whole) : Rect::null();
    return !inside.isNull() && inside.width() > 0 && inside.height() > 0 ? inside : whole;
}

// The click target of an element: at least 44 in its smaller direction.
Rect hitTarget(const Rect& r) {
    const double grow = std::max({0.0, (OverlayLayout::minimumHit - r.width()) / 2,
                                  (OverlayLayout::minimumHit - r.height()) / 2});
    return grown(r, grow);
}

double ringLineWidth(bool selected, const OverlayEnvironment& environment) {
    if (selected) {
        return environment.increasedContrast ? 8 : 6;
    }
    return environment.increasedContrast ? 6 : 4;
}

std::optional<RgbColor> glowColor(BeaconTheme theme) {
    switch (theme) {
        case BeaconTheme::ember:
            return Suite::signal;
        case BeaconTheme::ovra:
            return RgbColor{0.45, 0.72, 1.0};
        default:
            return std::nullopt;
    }
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& part : parts) {
        if (part.empty()) {
            continue;
        }
        if (!out.empty()) {
            out += " · ";
        }
        out += part;
    }
    return out;
}

// Text from other apps is laid out, drawn and told to screen readers only up to this many
// bytes: more never shows in a line or two, and a screen reader would read it all.
constexpr std::size_t kMostTextBytes = 2000;

// `text` cut to `kMostTextBytes` at a character's start, with an ellipsis when cut.
std::string bounded(std::string text) {
    if (text.size() <= kMostTextBytes) {
        return text;
    }
    std::size_t end = kMostTextBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    text.resize(end);
    return text + "…";
}

// A scroll item's pill in the overlay's space. Its frame is made in the reading's pixels, but
// its size is meant in the overlay's own (the label's room): mapped, only its place is kept, by
// the edge of the page it sits at, and it keeps inside `bounds`.
Rect pillRect(const Rect& frame, ScrollDirection direction, const OverlayModel::RectMapping& map,
              const Rect& bounds) {
    const Rect mapped = map(frame);
    if (!(mapped.width() > 0) || !(mapped.height() > 0) || !(frame.width() > mapped.width())) {
        return mapped;
    }
    const double ratio = frame.width() / mapped.width();
    const double w = std::min(frame.width(), bounds.width());
    const double h = std::min(frame.height(), bounds.height());
    // The pill stands 16 pixels inside the page's edge; so it stays.
    const double inset = 16 - 16 / ratio;
    double y =
        direction == ScrollDirection::down ? mapped.maxY() - inset - h : mapped.minY() + inset;
    double x = mapped.midX() - w / 2;
    x = std::clamp(x, bounds.minX(), std::max(bounds.minX(), bounds.maxX() - w));
    y = std::clamp(y, bounds.minY(), std::max(bounds.minY(), bounds.maxY() - h));
    return Rect(std::round(x), std::round(y), w, h);
}

// The numbers of one moment's navigation order, read once per layout.
class Numbers {
  public:
    explicit Numbers(const std::vector<std::string>& order) {
        for (std::size_t i = 0; i < order.size(); ++i) {
            positions_.emplace(order[i], static_cast<int>(i) + 1);  // keeps the first
        }
    }
    std::optional<int> of(const std::string& id) const {
        const auto found = positions_.find(id);
        return found == positions_.end() ? std::nullopt : std::optional<int>(found->second);
    }

  private:
    std::unordered_map<std::string, int> positions_;
};

struct PlanContext {
    const OverlayModel& model;
    const FocusPlan& plan;
    const OverlayEnvironment& environment;
    std::vector<std::string> order;
    Numbers numbers;
    std::optional<std::string> selectedID;
    double ts;
    RgbColor theme;

    bool selected(const FocusItem& item) const { return selectedID == item.id(); }
    Badge badge(int number, bool isSelected, RgbColor color, double side) const {
        return {Rect(0, 0, side, side), OverlayLayout::badgeText(number), isSelected, color};
    }
};

void addPlanLayer(const PlanContext& c, Size screen, OverlayScene& scene) {
    const bool finding = c.model.finding();
    const Ids matches = finding ? Ids(c.order.begin(), c.order.end()) : Ids();
    const auto keep = [&](const FocusItem& item) {
        return !finding || matches.count(item.id()) != 0;
    };

    for (const FocusItem& item : c.plan.suppressed()) {
        if (!keep(item)) {
            continue;
        }
        Veil veil{item.id(),
                  grown(c.model.mapRect(item.candidate.frame), OverlayLayout::veilOutset),
                  c.model.showAll(), c.selected(item), std::nullopt};
        if (veil.rect.width() > 70 && veil.rect.height() > 16) {
            veil.label = OvraText::f("Probably: %@", {item.reason ? OvraText::t(*item.reason)
                                                                  : OvraText::t("distraction")});
        }
        scene.veils.push_back(std::move(veil));
    }

    const auto secondary = [&](const FocusItem& item) {
        SecondaryRing ring{
            item.id(), grown(c.model.mapRect(item.candidate.frame), OverlayLayout::secondaryOutset),
            c.selected(item), std::nullopt};
        const std::optional<int> n = c.numbers.of(item.id());
        if (n && *n <= 9) {
            ring.badge = c.badge(*n, ring.selected, {1, 1, 1}, 32 * c.ts);
            ring.badge->frame.origin = {ring.rect.minX() - 18, ring.rect.minY() - 18};
        }
        scene.secondaries.push_back(std::move(ring));
    };
    if (c.model.showAll() && !finding) {
        for (const FocusItem& item : c.plan.available()) {
            secondary(item);
        }
    }
    if (finding) {
        for (const FocusItem& item : c.plan.items) {
            if (matches.count(item.id()) != 0 && item.verdict != FocusVerdict::beacon) {
                secondary(item);
            }
        }
    }

    const std::vector<FocusItem> beacons = c.plan.beacons();
    std::vector<Rect> others;
    for (const FocusItem& item : beacons) {
        if (!ScrollMore::isScroll(item.id()) && keep(item)) {
            others.push_back(
                grown(c.model.mapRect(item.candidate.frame), OverlayLayout::ringOutset));
        }
    }
    for (const FocusItem& item : beacons) {
        if (ScrollMore::isScroll(item.id())) {
            if (!finding) {
                const bool isSelected = c.selected(item);
                const ScrollDirection direction =
                    ScrollMore::direction(item.id()).value_or(ScrollDirection::down);
                const Rect bounds =
                    boundsFor(c.model.mapRect(item.candidate.frame), c.model, screen);
                ScrollPill pill{item.id(),
                                pillRect(item.candidate.frame, direction, c.model.mapRect, bounds),
                                isSelected,
                                direction,
                                item.displayLabel,
                                ringLineWidth(isSelected, c.environment),
                                std::nullopt};
                if (const auto n = c.numbers.of(item.id())) {
                    pill.badge = c.badge(*n, isSelected, c.theme, 32 * c.ts);
                }
                scene.scrollPills.push_back(std::move(pill));
            }
            continue;
        }
        if (!keep(item)) {
            continue;
        }
        Ring ring;
        ring.id = item.id();
        ring.rect = grown(c.model.mapRect(item.candidate.frame), OverlayLayout::ringOutset);
        ring.selected = c.selected(item);
        ring.lineWidth = ringLineWidth(ring.selected, c.environment);
        ring.pulses = ring.selected && c.model.pulseEnabled && !c.environment.reduceMotion;
        ring.glow = glowColor(c.model.theme);
        ring.glowOpacity = ring.selected ? 0.7 : 0.45;
        ring.glowRadius = ring.selected ? 9 : 5;
        if (const auto n = c.numbers.of(item.id())) {
            std::vector<Rect> avoiding;
            for (const Rect& other : others) {
                if (!(other == ring.rect)) {
                    avoiding.push_back(other);
                }
            }
            const double side = 42 * c.ts;
            ring.badge = c.badge(*n, ring.selected, c.theme, side);
            ring.badge->frame =
                Geometry::badgeFrame(grown(ring.rect, (ring.lineWidth + 6) / 2), side, avoiding,
                                     boundsFor(ring.rect, c.model, screen));
        }
        scene.rings.push_back(std::move(ring));
    }
}

// Front-most first: scroll pills, rings, secondary rings (find, then show-all), veils.
void addHitsAndControls(const OverlayModel& model, const FocusPlan& plan, const Numbers& numbers,
                        OverlayScene& scene) {
    const auto name = [&](const std::string& id) {
        const FocusItem* item = plan.item(id);
        return item ? SidebarText::accessibleName(numbers.of(id), *item) : id;
    };
    for (const ScrollPill& pill : scene.scrollPills) {
        scene.hits.push_back({pill.rect, pill.id, true});
        const FocusItem* item = plan.item(pill.id);
        const auto n = numbers.of(pill.id);
        const std::string label = bounded(item ? item->displayLabel : pill.label);
        scene.controls.push_back(
            {pill.id, pill.rect, n ? std::to_string(*n) + ", " + label : label});
    }
    for (auto ring = scene.rings.rbegin(); ring != scene.rings.rend(); ++ring) {
        scene.hits.push_back({hitTarget(ring->rect), ring->id, false});
        scene.controls.push_back({ring->id, ring->rect, name(ring->id)});
    }
    for (auto ring = scene.secondaries.rbegin(); ring != scene.secondaries.rend(); ++ring) {
        scene.hits.push_back({hitTarget(ring->rect), ring->id, false});
        scene.controls.push_back({ring->id, ring->rect, name(ring->id)});
    }
    for (auto veil = scene.veils.rbegin(); veil != scene.veils.rend(); ++veil) {
        const bool active = model.showAll();
        scene.hits.push_back(
            {hitTarget(veil->rect), active ? std::optional(veil->id) : std::nullopt, false});
        if (active) {
            scene.controls.push_back({veil->id, veil->rect, name(veil->id)});
        }
    }
    // Screen readers list the controls in their numbered order.
    std::stable_sort(scene.controls.begin(), scene.controls.end(),
                     [&](const AccessibleControl& a, const AccessibleControl& b) {
                         return numbers.of(a.id).value_or(1 << 30) <
                                numbers.of(b.id).value_or(1 << 30);
                     });
}

// The ring of the selected control, in the overlay's space; none when nothing is selected.
std::optional<Rect> chosenRing(const OverlayModel& model) {
    const std::optional<FocusItem> selected = model.selectedItem();
    if (!selected || ScrollMore::isScroll(selected->id()) || model.stale()) {
        return std::nullopt;
    }
    const double outset = OverlayLayout::ringOutset + 6;
    return model.mapRect(selected->candidate.frame).insetBy(-outset, -outset);
}

HudPlacement placeHud(const OverlayModel& model, const OverlayLayoutInput& input,
                      const std::vector<std::string>& order, double sidebar) {
    const double ts = model.textScale;
    const Size screen = input.screen;
    HudPlacement placement;
    const double width = OverlayLayout::hudWidth(model, screen);
    // The panel's least height follows its own text, which shrinks to keep off the chosen ring.
    const double height =
        std::max(input.hudHeight, 170 * (input.hudTextScale > 0 ? input.hudTextScale : ts));
    // The panel stands on one monitor, beside the sidebar where the sidebar covers it; the top
    // inset (and a notch) belong to the top of the screen.
    const Rect area = OverlayLayout::hudArea(model, screen);
    const double aside = std::clamp(sidebar - area.minX(), 0.0, area.width());
    const bool atTop = area.minY() <= 0;
    const double topInset = atTop ? model.topInset : 0;
    const Point origin{area.minX() + aside, area.minY()};

    // The spots are weighed where the panel will stand.
    std::vector<Rect> ovras;
    if (const FocusPlan* plan = model.phase().plan()) {
        for (const std::string& id : order) {
            if (const FocusItem* item = plan->item(id)) {
                ovras.push_back(
                    model.mapRect(item->candidate.frame).offsetBy(-origin.x, -origin.y));
            }
        }
    }
    std::vector<Rect> keepClear;
    if (model.keepClear) {
        keepClear.push_back(model.keepClear->offsetBy(-origin.x, -origin.y));
    }
    const std::optional<Rect> chosen = chosenRing(model);
    if (chosen) {
        keepClear.push_back(chosen->offsetBy(-origin.x, -origin.y));
    }
    placement.spot = Geometry::islandSpot(ovras, {area.width() - aside, area.height()},
                                          {width, height}, topInset, 42 * ts, keepClear);
    const bool top = placement.spot.vertical == Geometry::IslandPlacement::top;
    const bool centered = placement.spot.side == Geometry::IslandSide::center;
    const bool attached = top && centered && atTop && model.notchWidth > 0;
    placement.chrome = {{attached ? model.notchWidth : 0, topInset}, top, width};

    const double frameHeight =
        (input.hudHeight > 0 ? input.hudHeight : height) + (attached ? topInset : 0);
    const double left = origin.x + (centered ? 0 : 16);
    const double right = area.maxX() - (centered ? 0 : 16);
    double x = left + (right - left - width) / 2;
    if (placement.spot.side == Geometry::IslandSide::leading) {
        x = left;
    } else if (placement.spot.side == Geometry::IslandSide::trailing) {
        x = right - width;
    }
    double y =
        area.minY() + (top ? (attached ? 0 : topInset + 8) : area.height() - 48 - frameHeight);
    // A panel taller than its room (a screen too small even for its smallest text) keeps its top
    // on the screen.
    y = std::max(area.minY(), std::min(y, area.maxY() - frameHeight));
    placement.frame = Rect(x, y, width, frameHeight);
    if (chosen && placement.frame.intersects(*chosen)) {
        // The room a spot's band leaves above or below the chosen ring (the bands as weighed).
        const double above = chosen->minY() - area.minY() - topInset - 12;
        const double below = area.maxY() - chosen->maxY() - 48 - 12;
        placement.roomClearOfChosen = std::max({1.0, above, below});
    }
    return placement;
}

}  // namespace

namespace OverlayLayout {

std::string badgeText(int number) {
    return number < 10 ? OvraText::format("%lld", {static_cast<std::int64_t>(number)}) : "•";
}

std::vector<Rect> holeRects(const OverlayModel& model) {
    const FocusPlan* plan = model.phase().plan();
    if (!plan || model.stale()) {
        return {};
    }
    const std::vector<std::string> ids = model.finding()   ? model.navigationOrder()
                                         : model.showAll() ? plan->revealOrder()
                                                           : plan->beaconOrder;
    const Ids wanted(ids.begin(), ids.end());
    std::vector<Rect> holes;
    for (const FocusItem& item : plan->items) {
        if (wanted.count(item.id()) != 0 && !ScrollMore::isScroll(item.id())) {
            holes.push_back(model.mapRect(item.candidate.frame));
        }
    }
    return holes;
}

double sidebarWidth(double screenWidth, double textScale) {
    return std::min(std::max(0.34 * screenWidth, 220.0), std::max(340 * textScale, 300.0));
}

double hudRoom(Size screen, double topInset) {
    return std::max(0.0, screen.height - 56 - std::max(0.0, topInset));
}

Rect hudArea(const OverlayModel& model, Size screen) {
    const Rect whole(0, 0, screen.width, screen.height);
    const Rect on = model.monitors.empty() ? whole : model.monitors.front().intersection(whole);
    return !on.isNull() && on.width() > 0 && on.height() > 0 ? on : whole;
}

double hudWidth(const OverlayModel& model, Size screen) {
    const Rect area = hudArea(model, screen);
    const double sidebar = model.sidebar() ? sidebarWidth(screen.width, model.textScale) : 0;
    const double beside = area.width() - std::clamp(sidebar - area.minX(), 0.0, area.width());
    return std::max(0.0, std::min(820 * model.textScale, beside - 32));
}

std::string detail(const OverlayModel& model, const FocusItem& item) {
    if (model.notice()) {
        return *model.notice();
    }
    if (model.explainID() == item.id()) {
        return item.explanation + "  " + OvraText::t("P: always highlight · D: don't highlight");
    }
    if (model.armedID() == item.id()) {
        return OvraText::t("Press Return again to confirm");
    }
    std::vector<std::string> parts{item.candidate.roleName()};
    if (item.reason && item.forceBeacon) {
        parts.push_back(OvraText::t(*item.reason));
    }
    if (item.reason && item.verdict == FocusVerdict::suppressed) {
        parts.push_back(OvraText::f("hidden as probably: %@", {OvraText::t(*item.reason)}));
    }
    const std::string label = text::forDisplay(bounded(item.candidate.label()));
    if (!label.empty() && label != item.displayLabel) {
        parts.push_back(OvraText::f("site says “%@”", {label}));
    }
    parts.push_back(
        OvraText::t(item.candidate.isTextInput() ? "Return to type here" : "Return to press"));
    if (model.scanning()) {
        parts.push_back(OvraText::t("scanning"));
    }
    return joined(parts);
}

std::string summary(const OverlayModel& model, const FocusPlan& plan) {
    const auto hidden = static_cast<std::int64_t>(plan.suppressed().size());
    return joined(
        {OvraText::f("%lld to choose from", {static_cast<std::int64_t>(plan.choiceCount())}),
         hidden == 0   ? std::string()
         : hidden == 1 ? OvraText::t("1 distraction hidden")
                       : OvraText::f("%lld distractions hidden", {hidden}),
         model.engineNote()});
}

HudContent hudContent(const OverlayModel& model) {
    HudContent hud;
    hud.hints = KeyHints::rows(model);
    const OverlayPhase& phase = model.phase();
    if (const auto* loading = phase.loading()) {
        hud.kind = HudContent::Kind::loading;
        hud.headline = bounded(OvraText::f("Simplifying %@…", {loading->app}));
        return hud;
    }
    if (const auto* message = phase.message()) {
        hud.headline = bounded(message->text);
        return hud;
    }
    const FocusPlan& plan = *phase.plan();
    hud.kind = HudContent::Kind::ready;
    hud.summary = summary(model, plan);
    const std::optional<FocusItem> selected = model.selectedItem();
    const std::optional<int> number = selected ? model.number(selected->id()) : std::nullopt;
    if (model.finding() && model.navigationOrder().empty()) {
        hud.headline = bounded(OvraText::f("No matches for “%@”", {model.query()}));
    } else if (selected && number) {
        hud.badgeText = badgeText(*number);
        hud.label = bounded(selected->displayLabel);
        hud.detail = bounded(detail(model, *selected));
    } else if (model.notice()) {
        // Why a press pressed nothing, over a plan that selects nothing until the user picks.
        hud.headline = bounded(*model.notice());
    } else {
        hud.headline = OvraText::t(plan.beaconOrder.empty()
                                       ? "Nothing to press here. Press A to see everything."
                                       : "Nothing selected");
    }
    return hud;
}

Connector connector(const Rect& row, const Rect& control) {
    const Point start{row.maxX(), row.midY()};
    const double endX = control.minX() > start.x ? control.minX() : control.maxX();
    const Point end{endX, control.midY()};
    const double mid = (start.x + end.x) / 2;
    return {start, {mid, start.y}, {mid, end.y}, end};
}

OverlayScene layout(const OverlayModel& model, const OverlayLayoutInput& input) {
    OverlayScene scene;
    scene.size = input.screen;
    scene.textScale = model.textScale;
    scene.hudTextScale = input.hudTextScale > 0 ? input.hudTextScale : model.textScale;
    scene.theme = model.theme.color();
    scene.dimOpacity = input.environment.reduceTransparency ? 0.95 : model.dimLevel;
    scene.holes = holeRects(model);
    scene.sidebarShown = model.sidebar();
    scene.sidebarWidth = sidebarWidth(input.screen.width, model.textScale);
    scene.hud = hudContent(model);
    if (model.phase().plan() && model.notice()) {
        scene.panelSentence = bounded(*model.notice());
    } else if (!model.phase().loading()) {
        scene.panelSentence = scene.hud.headline;  // a message, "No matches for …"
    }

    const std::vector<std::string> order = model.navigationOrder();
    const Numbers numbers(order);
    const FocusPlan* plan = model.phase().plan();
    scene.hudPlacement = placeHud(model, input, order, scene.sidebarShown ? scene.sidebarWidth : 0);
    scene.hits.push_back({scene.hudPlacement.frame, std::nullopt, false});
    if (!plan) {
        return scene;
    }
    const std::optional<FocusItem> selected = model.selectedItem();
    scene.planVisible = !model.stale();
    if (scene.planVisible) {
        const PlanContext context{
            model,           *plan,      input.environment,
            order,           numbers,    selected ? std::optional(selected->id()) : std::nullopt,
            model.textScale, scene.theme};
        addPlanLayer(context, input.screen, scene);
        addHitsAndControls(model, *plan, numbers, scene);
    }
    if (model.sidebar() && input.selectedRowFrame && selected && !model.stale()) {
        scene.connector =
            connector(*input.selectedRowFrame, model.mapRect(selected->candidate.frame));
    }
    return scene;
}

}  // namespace OverlayLayout

namespace SidebarText {

std::string countLine(int things) {
    return things == 1 ? OvraText::t("1 thing you can do")
                       : OvraText::f("%lld things you can do", {static_cast<std::int64_t>(things)});
}

std::string matchLine(int matches) {
    if (matches == 0) {
        return OvraText::t("No matches");
    }
    return matches == 1 ? OvraText::t("1 match")
                        : OvraText::f("%lld matches", {static_cast<std::int64_t>(matches)});
}

std::string detail(const FocusItem& item) {
    if (item.verdict == FocusVerdict::suppressed && item.reason) {
        return OvraText::f("probably: %@", {OvraText::t(*item.reason)});
    }
    return item.candidate.roleName();
}

std::string accessibleName(std::optional<int> number, const FocusItem& item) {
    std::string name = number ? std::to_string(*number) + ", " : std::string();
    return name + bounded(item.displayLabel) + ", " + item.candidate.roleName();
}

}  // namespace SidebarText

}  // namespace ovra
