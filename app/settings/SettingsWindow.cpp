#include "app/settings/SettingsWindow.h"

#include <QCloseEvent>
#include <QCursor>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "app/accessibility/AccessibilityFeatures.h"
#include "app/controller/Preferences.h"
#include "app/settings/DashboardModel.h"
#include "app/settings/HomeHeaderModel.h"
#include "app/settings/instructions/InstructionsPane.h"
#include "app/settings/instructions/InstructionsPaneView.h"
#include "app/settings/views/Dispose.h"
#include "app/settings/views/HomeHeaderView.h"
#include "app/settings/views/OvraRowView.h"
#include "app/settings/views/OvraSectionsView.h"
#include "app/settings/views/SettingsPaint.h"
#include "app/settings/views/SidebarView.h"
#include "app/shell/PermissionGuideView.h"
#include "core/OvraText.h"
#include "platform/announcer/AccessibleAnnouncer.h"
#include "platform/desktopsettings/DesktopSettings.h"
#include "platform/qt/QtText.h"

namespace ovra {

namespace {

// The content column's background: paper under ruled lines that stay put while rows scroll.
class PaperScrollArea final : public QScrollArea {
  public:
    explicit PaperScrollArea(QWidget* parent) : QScrollArea(parent) {
        setFrameShape(QFrame::NoFrame);
        setWidgetResizable(true);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        viewport()->setAutoFillBackground(false);
    }
    void setLook(bool dark, double scale) {
        if (dark != dark_ || scale != scale_) {
            dark_ = dark;
            scale_ = scale;
            paper_ = RuledPaper(dark, 32 * scale, 24 * scale);
            viewport()->update();
        }
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(viewport());
        painter.fillRect(viewport()->rect(), Tone{dark_}.paper());
        paper_.paint(painter, viewport()->size(), devicePixelRatioF());
    }

  private:
    bool dark_ = false;
    double scale_ = 1;
    RuledPaper paper_{false, 32, 24};
};

// Every pane but Home: the app's name over the pane's title.
QWidget* paneTitle(const QString& title, double scale, bool dark, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(static_cast<int>(SettingsPaint::kRingReach), 0, 0, 0);
    column->setSpacing(static_cast<int>(4 * scale));
    column->addWidget(new Kicker(QStringLiteral("Murmlark Ovra"), dark, scale, box));
    auto* label = new QLabel(title, box);
    label->setFont(styleFont(26 * scale, QFont::Bold));
    label->setWordWrap(true);
    QPalette colors = label->palette();
    colors.setColor(QPalette::WindowText, Tone{dark}.ink());
    label->setPalette(colors);
    column->addWidget(label);
    return box;
}

QLabel* helpLine(double scale, bool dark, QWidget* parent) {
    auto* label = new QLabel(
        qs(OvraText::t("Up and down to move. Tab between the list and the sections. Return to "
                       "choose. Left and right to change. Ctrl with a digit from 1 to 7 picks a "
                       "section. Esc closes.")),
        parent);
    label->setWordWrap(true);
    label->setFont(styleFont(12 * scale));
    label->setContentsMargins(static_cast<int>(SettingsPaint::kRingReach), 0, 0, 0);
    QPalette colors = label->palette();
    colors.setColor(QPalette::WindowText, Tone{dark}.secondary());
    label->setPalette(colors);
    return label;
}

// A block set in by the focus ring's reach, so that it lines up with the rows' cards.
QWidget* inset(QWidget* block, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    const int reach = static_cast<int>(SettingsPaint::kRingReach);
    row->setContentsMargins(reach, 0, reach, 0);
    block->setParent(box);
    row->addWidget(block);
    return box;
}

// Puts `made` in place of `slot` at `index` of the column when `key` changed.
template <class Make>
void replaceSlot(QVBoxLayout* column, QWidget*& slot, std::string& slotKey, std::string key,
                 int index, Make make) {
    if (key == slotKey && (slot != nullptr) == !key.empty()) {
        return;
    }
    slotKey = std::move(key);
    if (slot != nullptr) {
        column->removeWidget(slot);
        disposeLater(slot);
        slot = nullptr;
    }
    if (!slotKey.empty()) {
        slot = make();
        column->insertWidget(index, slot);
        slot->show();  // now, not on the next turn: the layout counts shown widgets
    }
}

}  // namespace

SettingsWindow::SettingsWindow(SettingsWindowServices services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)) {
    setWindowTitle(QStringLiteral("Murmlark Ovra"));
    setMinimumSize(820, 600);
    resize(900, 640);
    setFocusPolicy(Qt::NoFocus);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    sidebar_ = new PaneSidebarView(hover_, this);
    row->addWidget(sidebar_);
    row->addSpacing(1);  // the divider, painted by the window
    scroll_ = new PaperScrollArea(this);
    row->addWidget(scroll_, 1);

    auto* holder = new QWidget;
    auto* across = new QHBoxLayout(holder);
    across->setContentsMargins(0, 0, 0, 0);
    column_ = new QWidget(holder);
    across->addWidget(column_, 1);
    across->addStretch(0);
    columnLayout_ = new QVBoxLayout(column_);
    sections_ = new OvraSectionsView(hover_, column_);
    columnLayout_->addWidget(sections_);
    instructions_ = new InstructionsPaneView(
        hover_,
        {[this](const std::string& id) { focusFromPointer(id); },
         [this](OvraFeature feature, bool fromPointer) { chooseFeature(feature, fromPointer); },
         [this](OvraFeature feature) {
             services_.controller.readInstruction(feature);
             refresh();
         }},
        column_);
    instructions_->hide();
    columnLayout_->addWidget(instructions_);
    columnLayout_->addStretch(1);
    scroll_->setWidget(holder);
    holder->setAutoFillBackground(false);  // the scroll area's paper shows through

    connect(sidebar_, &PaneSidebarView::chosen, this, &SettingsWindow::chooseFromPointer);
    connect(sidebar_, &PaneSidebarView::hovered, this,
            [this](OvraPane pane) { focusFromPointer(pane.stopID()); });
    connect(sections_, &OvraSectionsView::focusRequested, this,
            [this](const QString& id) { focusFromPointer(id.toStdString()); });
    connect(sections_, &OvraSectionsView::acted, this, &SettingsWindow::scheduleRefresh);

    prefsListener_ = services_.prefs.onChange([this](Preference) { scheduleRefresh(); });
    modelListener_ = services_.dashboard.onChange([this](DashboardField) { scheduleRefresh(); });
    featureStatus_ = std::make_unique<DesktopAccessibilityStatus>(
        services_.controller.desktopSettings(), services_.scheduler,
        [&controller = services_.controller] { return controller.screenReaderRunning(); });
    featureListener_ = featureStatus_->states().subscribe(
        [this](const DesktopAccessibilityStatus::States&) { scheduleRefresh(); });
    if (services_.announcer == nullptr) {
        ownAnnouncer_ = std::make_unique<announcer::AccessibleAnnouncer>(*this);
        services_.announcer = ownAnnouncer_.get();
    }
    create();
    if (QWindow* window = windowHandle()) {
        window->installEventFilter(this);
    }
    refresh();
}

SettingsWindow::~SettingsWindow() {
    services_.prefs.removeListener(prefsListener_);
    services_.dashboard.removeListener(modelListener_);
    featureStatus_->states().unsubscribe(featureListener_);
}

PaneContext SettingsWindow::context() const {
    return {services_.prefs, services_.controller, services_.dashboard, services_.dialogs};
}

double SettingsWindow::textScale() const {
    return std::clamp(services_.prefs.get(keys::textScale), 1.0, 1.3);
}

bool SettingsWindow::appearanceIsDark() const {
    if (const auto forced = services_.controller.forcedDark()) {
        return *forced;
    }
    switch (services_.prefs.get(keys::appearance)) {
        case OvraAppearance::dark:
            return true;
        case OvraAppearance::light:
            return false;
        case OvraAppearance::system:
            break;
    }
    const auto scheme =
        services_.controller.desktopSettings().text("org.gnome.desktop.interface", "color-scheme");
    return scheme == "prefer-dark";
}

void SettingsWindow::scheduleRefresh() {
    if (refreshQueued_) {
        return;
    }
    refreshQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        if (refreshQueued_) {
            refresh();
        }
    });
}

void SettingsWindow::refresh() {
    if (refreshing_) {
        return;
    }
    refreshing_ = true;
    refreshQueued_ = false;
    DashboardModel& dashboard = services_.dashboard;
    const OvraPane pane = dashboard.pane();
    const std::vector<OvraSection> sections = DashboardContent::sections(pane, context());
    const std::vector<std::string> stops = DashboardContent::rowStops(sections);
    // A focus that the last change left on no stop moves to the stop now at its place.
    const std::optional<std::string> before = dashboard.focusID();
    QWidget* widgetBefore = before ? stopWidget(*before) : nullptr;
    const auto repaired = pane == builtPane_
                              ? DashboardKeys::repairedFocus(pane, before, builtStops_, stops)
                              : before;
    builtPane_ = pane;
    builtStops_ = stops;
    if (repaired != before) {
        dashboard.setFocusID(repaired);
    }
    dark_ = appearanceIsDark();
    sidebar_->setState(pane, dashboard.focusID(), viewScale(), dark_);
    rebuildContent(sections);
    // Size the column for its new content now, so that the focused row's place is known before
    // the scroll: the inner layouts first (each tells its parent its new height for a width),
    // then the scroll area asks the column's height for its width.
    for (QWidget* level : {static_cast<QWidget*>(sections_), column_, scroll_->widget()}) {
        level->layout()->activate();
    }
    scroll_->setWidgetResizable(true);
    update();
    focusStopWidget();
    const bool moved = scrolledTo_ != dashboard.focusID();
    scrollToFocus(moved && isVisible());
    refreshing_ = false;
    if (repaired != before) {
        announceFocus(before, widgetBefore);
    }
}

void SettingsWindow::rebuildContent(const std::vector<OvraSection>& sections) {
    const double s = viewScale();
    const bool dark = dark_;
    DashboardModel& dashboard = services_.dashboard;
    const OvraPane pane = dashboard.pane();
    static_cast<PaperScrollArea*>(scroll_)->setLook(dark, s);
    const int padX = static_cast<int>(std::lround(40 * s - SettingsPaint::kRingReach));
    columnLayout_->setContentsMargins(padX, static_cast<int>(32 * s), padX,
                                      static_cast<int>(32 * s));
    columnLayout_->setSpacing(static_cast<int>(22 * s));
    column_->setMaximumWidth(static_cast<int>((pane == OvraPane::instructions ? 1000 : 780) * s) +
                             2 * padX);
    const std::string look = std::to_string(s) + (dark ? "d" : "l");

    const auto& banner = dashboard.banner();
    replaceSlot(columnLayout_, banner_, bannerKey_,
                banner ? look + *banner + (dashboard.bannerIsProblem() ? "!" : "") : "", 0, [&] {
                    return inset(
                        new BannerView(qs(*banner), dashboard.bannerIsProblem(), s, dark, nullptr),
                        column_);
                });

    const int headerAt = banner_ != nullptr ? 1 : 0;
    DashboardController& controller = services_.controller;
    if (pane == OvraPane::home && controller.trusted()) {
        const Preferences& prefs = services_.prefs;
        const std::string hotkey = prefs.hotkey().label;
        HomeHeaderView::Content content{
            HomeHeaderModel::greeting(services_.hour ? services_.hour() : 12, services_.fullName),
            HomeHeaderModel::hero(prefs.get(keys::stepsSaved), prefs.get(keys::ovrasPressed),
                                  hotkey),
            HomeHeaderModel::tiles(true, controller.modelState(), hotkey,
                                   controller.hotkeyError().has_value())};
        std::string key =
            look + "home|" + content.greeting + content.hero.headline + content.hero.detail;
        for (const auto& tile : content.tiles) {
            key += "|" + tile.value + (tile.ok ? "+" : "-");
        }
        replaceSlot(columnLayout_, header_, headerKey_, key, headerAt, [&] {
            auto* view = new HomeHeaderView(content, s, dark, nullptr);
            connect(view, &HomeHeaderView::paneRequested, this, [this](int index) {
                const OvraPane target = OvraPane::allCases()[static_cast<std::size_t>(index)];
                if (target == OvraPane::home) {
                    services_.controller.showDashboard(target);
                } else {
                    services_.dashboard.setPane(target);
                }
            });
            return inset(view, column_);
        });
    } else if (pane == OvraPane::home && services_.guide != nullptr) {
        replaceSlot(columnLayout_, header_, headerKey_, look + "guide", headerAt, [&] {
            return inset(new PermissionGuideView(*services_.guide, s, dark, nullptr), column_);
        });
    } else {
        const std::string title =
            pane == OvraPane::home ? OvraText::t("Turn on accessibility access") : pane.title();
        replaceSlot(columnLayout_, header_, headerKey_, look + "title|" + title, headerAt,
                    [&] { return paneTitle(qs(title), s, dark, column_); });
    }

    // The Instructions pane draws its own view over the same keyboard rows.
    const bool instructions = pane == OvraPane::instructions;
    sections_->setSections(instructions ? std::vector<OvraSection>{} : sections,
                           dashboard.focusID(), s, dark);
    sections_->setVisible(!instructions);
    if (instructions) {
        instructions_->setState({dashboard.feature(), dashboard.reading(), dashboard.focusID(),
                                 services_.prefs.hotkey().label, controller.dictationSource(), s,
                                 dark});
    }
    instructions_->setVisible(instructions);

    const int previewAt = columnLayout_->indexOf(sections_) + 1;
    const BeaconTheme theme = services_.prefs.get(keys::theme);
    replaceSlot(columnLayout_, preview_, previewKey_,
                pane == OvraPane::look ? std::string(theme.rawValue()) : "", previewAt,
                [&] { return inset(new ThemePreview(theme, nullptr), column_); });
    QWidget* last = preview_ != nullptr ? preview_
                    : instructions      ? static_cast<QWidget*>(instructions_)
                                        : sections_;
    const int helpAt = columnLayout_->indexOf(last) + 1;
    replaceSlot(columnLayout_, help_, helpKey_, look, helpAt,
                [&] { return helpLine(s, dark, column_); });
}

QWidget* SettingsWindow::stopWidget(const std::string& id) const {
    if (const auto pane = OvraPane::fromStopID(id)) {
        return sidebar_->entry(*pane);
    }
    if (services_.dashboard.pane() == OvraPane::instructions) {
        return instructions_->stopWidget(id);
    }
    return sections_->rowView(id);
}

void SettingsWindow::focusStopWidget() {
    const auto& focus = services_.dashboard.focusID();
    QWidget* widget = focus ? stopWidget(*focus) : nullptr;
    if (widget != nullptr && !widget->hasFocus()) {
        widget->setFocus(Qt::OtherFocusReason);
    }
}

void SettingsWindow::scrollToFocus(bool animated) {
    // A scroll still running aims at where the focus was before: it would pull the row in focus
    // now out of view again.
    if (scrollAnimation_) {
        scrollAnimation_->stop();
    }
    const auto& focus = services_.dashboard.focusID();
    scrolledTo_ = focus;
    if (!focus || OvraPane::fromStopID(*focus)) {
        return;  // a sidebar entry scrolls nothing
    }
    QWidget* row = stopWidget(*focus);
    if (row == nullptr) {
        return;
    }
    QScrollBar* bar = scroll_->verticalScrollBar();
    const int top = row->mapTo(scroll_->widget(), QPoint(0, 0)).y();
    const int viewport = scroll_->viewport()->height();
    int target = bar->value();
    if (animated) {
        target = top + row->height() / 2 - viewport / 2;  // centred
    } else if (top < bar->value() || top + row->height() > bar->value() + viewport) {
        target = top + row->height() / 2 - viewport / 2;  // back in view, without animation
    }
    target = std::clamp(target, bar->minimum(), bar->maximum());
    if (!animated || target == bar->value()) {
        bar->setValue(target);
        return;
    }
    auto* animation = new QVariantAnimation(bar);
    animation->setStartValue(bar->value());
    animation->setEndValue(target);
    animation->setDuration(150);
    animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(animation, &QVariantAnimation::valueChanged, bar,
            [bar](const QVariant& value) { bar->setValue(value.toInt()); });
    scrollAnimation_ = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

bool SettingsWindow::handleKey(const DashboardKey& key) {
    hover_.record(QCursor::pos());
    DashboardModel& dashboard = services_.dashboard;
    const PaneContext ctx = context();
    const DashboardFocus now{dashboard.pane(), dashboard.focusID(), dashboard.feature()};
    const KeyOutcome out = DashboardKeys::handle(now, key, [&ctx](OvraPane pane) {
        return PaneRows::of(DashboardContent::sections(pane, ctx));
    });
    if (!out.handled) {
        return false;
    }
    if (out.close) {
        close();
        return true;
    }
    QWidget* widgetBefore = now.focusID ? stopWidget(*now.focusID) : nullptr;
    if (out.next.pane != now.pane) {
        dashboard.setPane(out.next.pane);
    }
    if (out.next.feature != now.feature) {
        dashboard.setFeature(out.next.feature);
    }
    if (out.next.focusID != now.focusID) {
        dashboard.setFocusID(out.next.focusID);
    }
    if (out.operation) {
        if (const auto row = DashboardContent::row(out.operation->rowID, dashboard.pane(), ctx)) {
            if (out.operation->kind == RowOperation::Kind::adjust) {
                row->adjust(out.operation->delta);
            } else {
                row->activate();
            }
        }
    }
    // The refresh repairs a focus the operation left on no stop, and then says it itself.
    const auto focusBeforeRefresh = dashboard.focusID();
    refresh();
    if (out.announce && dashboard.focusID() == focusBeforeRefresh) {
        announceFocus(now.focusID, widgetBefore);
    }
    return true;
}

void SettingsWindow::announceFocus(const std::optional<std::string>& before,
                                   QWidget* widgetBefore) {
    const DashboardModel& dashboard = services_.dashboard;
    const DashboardFocus focus{dashboard.pane(), dashboard.focusID(), dashboard.feature()};
    std::optional<OvraRow> row;
    if (focus.focusID && !OvraPane::fromStopID(*focus.focusID)) {
        row = DashboardContent::row(*focus.focusID, focus.pane, context());
    }
    if (services_.trace) {
        services_.trace(DashboardKeys::traceLine(focus, row));
    }
    // A new stop that took the keyboard focus was heard with the focus event.
    QWidget* now = focus.focusID ? stopWidget(*focus.focusID) : nullptr;
    const bool heardAsFocus = now != nullptr && focus.focusID != before && now != widgetBefore &&
                              isActiveWindow() && now->hasFocus();
    if (heardAsFocus) {
        return;
    }
    if (const auto text =
            DashboardKeys::announcement(focus, row, services_.controller.dictationSource())) {
        services_.announcer->announce(*text, announcer::AnnouncementPriority::high);
    }
}

void SettingsWindow::chooseFromPointer(OvraPane pane) {
    services_.dashboard.setPane(pane);
    services_.dashboard.setFocusID(pane.stopID());
    refresh();
}

void SettingsWindow::focusFromPointer(const std::string& id) {
    services_.dashboard.setFocusID(id);
    refresh();
}

void SettingsWindow::chooseFeature(OvraFeature feature, bool fromPointer) {
    DashboardModel& dashboard = services_.dashboard;
    if (fromPointer) {
        dashboard.setFocusID("instr.list");
    }
    dashboard.setFeature(feature);
    services_.announcer->announce(
        InstructionsPane::selection(feature, services_.controller.dictationSource()),
        announcer::AnnouncementPriority::high);
    refresh();
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != windowHandle() ||
        (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)) {
        return QWidget::eventFilter(watched, event);
    }
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    const keyboard::KeyboardLayout* layout =
        services_.keyboardLayout ? services_.keyboardLayout() : nullptr;
    const auto key = SettingsKeyInput::from(*keyEvent, layout);
    if (!key) {
        return false;
    }
    const bool settingsCommand = key->command && key->characters == ",";
    if (event->type() == QEvent::ShortcutOverride) {
        // Claim the keys this window handles, so that no shortcut takes them first.
        const DashboardModel& d = services_.dashboard;
        const PaneContext ctx = context();
        const bool handled =
            settingsCommand ||
            DashboardKeys::handle({d.pane(), d.focusID(), d.feature()}, *key,
                                  [&ctx](OvraPane pane) {
                                      return PaneRows::of(DashboardContent::sections(pane, ctx));
                                  })
                .handled;
        if (handled) {
            event->accept();
        }
        return handled;
    }
    if (settingsCommand) {
        if (services_.settingsCommand) {
            services_.settingsCommand();
        }
        return true;
    }
    return handleKey(*key);
}

void SettingsWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const double scale = std::clamp(width() / 900.0, 1.0, 1.5);
    if (scale != windowScale_) {
        windowScale_ = scale;
        scheduleRefresh();
    }
}

void SettingsWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    featureStatus_->start();
    refresh();
}

void SettingsWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    featureStatus_->stop();
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
    // Hidden, never destroyed: the next opening reuses the window.
    event->accept();
    if (services_.closed) {
        QTimer::singleShot(0, this, [this] { services_.closed(); });
    }
}

void SettingsWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const Tone tone{dark_};
    painter.fillRect(rect(), tone.paper());
    painter.fillRect(QRect(sidebar_->width(), 0, 1, height()), tone.hairline());
}

}  // namespace ovra
