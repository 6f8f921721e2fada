#include "app/shell/IslandWindow.h"

#include <QAccessible>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>

#include "app/overlay/CompositorWatch.h"
#include "app/overlay/Motion.h"
#include "app/overlay/QtKeyEvent.h"
#include "core/OvraText.h"
#include "platform/announcer/AccessibleAnnouncer.h"

namespace ovra {

namespace {

constexpr double kFrameInterval = 1.0 / 60;

Rect rectOf(const QRect& r) {
    return Rect(r.x(), r.y(), r.width(), r.height());
}

}  // namespace

IslandScreen IslandWindow::islandScreen(const QScreen& screen) {
    const auto screens = QGuiApplication::screens();
    return {rectOf(screen.geometry()), rectOf(screen.availableGeometry()),
            static_cast<int>(screens.indexOf(const_cast<QScreen*>(&screen)))};
}

std::vector<IslandScreen> IslandWindow::islandScreens() {
    std::vector<IslandScreen> out;
    for (QScreen* screen : QGuiApplication::screens()) {
        out.push_back(islandScreen(*screen));
    }
    return out;
}

IslandWindow::IslandWindow(HomeIslandModel& model, IslandCallbacks callbacks, Scheduler& scheduler,
                           PointerIntent& pointer, std::function<bool()> reduceMotion,
                           const keyboard::KeyboardLayout* keyboard)
    : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
      model_(model),
      callbacks_(std::move(callbacks)),
      scheduler_(scheduler),
      pointer_(pointer),
      reduceMotion_(std::move(reduceMotion)),
      keyboard_(keyboard),
      compositor_(std::make_unique<CompositorWatch>()) {
    // Before anything asks for the window's accessible object (setting its name does): made
    // without the factory, it would never list the entries.
    installOverlayAccessibility();
    setAttribute(Qt::WA_TranslucentBackground);
    setMouseTracking(true);
    const QString name = QString::fromStdString(OvraText::t("Murmlark Ovra menu"));
    setWindowTitle(name);
    setAccessibleName(name);
    announcer_ = std::make_unique<announcer::AccessibleAnnouncer>(*this);
    connect(compositor_.get(), &CompositorWatch::changed, this, [this] { applyShape(); });
    model_.onChange = [this] { modelChanged(); };
    setAccessibleName(QString::fromStdString(OvraText::t("Murmlark Ovra menu")));
}

IslandWindow::~IslandWindow() {
    model_.onChange = nullptr;
    scheduler_.cancel(ticker_);
}

bool IslandWindow::opaque() const {
    return !compositor_->active() && QGuiApplication::platformName() == "xcb";
}

void IslandWindow::relayout() {
    const QScreen* screen = screen_ ? screen_ : QGuiApplication::primaryScreen();
    const QSizeF size = screen ? QSizeF(screen->geometry().size()) : QSizeF(1280, 1024);
    layout_ = HomeIslandView::layout(model_, size);
    const QPoint origin =
        (screen ? screen->geometry().topLeft() : QPoint()) + layout_.windowOrigin.toPoint();
    setGeometry(QRect(origin, layout_.island.size().toSize()));
    applyShape();
    update();
    elements_.clear();
    const auto& items = model_.items();
    for (std::size_t i = 0; i < layout_.rows.size() && i < items.size(); ++i) {
        const IslandRowLayout& row = layout_.rows[i];
        elements_.push_back(
            {items[i].id, QString::number(i + 1) + ", " + row.titleText + ". " + row.subtitleText,
             row.row.toRect(), QAccessible::Button, true,
             static_cast<int>(i) == model_.selection()});
    }
    notifyAccessibleElementsChanged(this, toldElements_);
}

void IslandWindow::pressAccessibleElement(const std::string& key) {
    const auto& items = model_.items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].id == key && callbacks_.activate) {
            callbacks_.activate(static_cast<int>(i));
            return;
        }
    }
}

void IslandWindow::present(const IslandScreen& screen) {
    const auto screens = QGuiApplication::screens();
    screen_ = screen.index >= 0 && screen.index < screens.size() ? screens[screen.index]
                                                                 : QGuiApplication::primaryScreen();
    relayout();
    orderingOut_ = false;
    show();
    raise();
    // A screen reader learns that the keyboard is here now: its focus stays in the window
    // behind otherwise, where it takes the arrow keys for its own browsing before this window
    // ever sees them. The window itself is no place for its focus (a pop-up is left out of the
    // app's tree); its selected entry is.
    notifyAccessibleFocus(this);
}

void IslandWindow::orderOut() {
    orderingOut_ = true;
    hide();
    orderingOut_ = false;
}

bool IslandWindow::hasKeyboard() const {
    return QWidget::isVisible() && (QApplication::activePopupWidget() == this || isActiveWindow());
}

void IslandWindow::announce(const std::string& text) {
    announcer_->announce(text, announcer::AnnouncementPriority::high);
}

void IslandWindow::modelChanged() {
    if (model_.open() != shownOpen_) {
        shownOpen_ = model_.open();
        from_ = openness_;
        to_ = shownOpen_ ? 1 : 0;
        animation_ = model_.openAnimation();
        reduced_ = animation_ == HomeIslandModel::Animation::easeOut;
        startedAt_ = scheduler_.now();
        scheduler_.cancel(ticker_);
        ticker_ = 0;
        if (animation_ == HomeIslandModel::Animation::none) {
            openness_ = to_;
        } else {
            ticker_ = scheduler_.every(kFrameInterval, [this] { step(); });
        }
    }
    relayout();
}

void IslandWindow::step() {
    const double t = scheduler_.now() - startedAt_;
    double progress = 1;
    if (animation_ == HomeIslandModel::Animation::easeOut) {
        progress =
            t >= Motion::reducedOpenDuration ? 1 : Motion::easeOut(t / Motion::reducedOpenDuration);
    } else if (t < Motion::openSpring.settleTime()) {
        progress = Motion::openSpring.value(t);
    }
    openness_ = from_ + (to_ - from_) * progress;
    if (progress == 1) {
        openness_ = to_;
        scheduler_.cancel(ticker_);
        ticker_ = 0;
    }
    applyShape();
    update();
}

void IslandWindow::applyShape() {
    if (!opaque()) {
        clearMask();
        return;
    }
    // Without a compositing manager nothing is translucent: the window is cut to the shell.
    const QPainterPath shape =
        HomeIslandView::shellShape(model_, layout_, std::max(openness_, 0.0), reduced_);
    QRegion region(shape.toFillPolygon().toPolygon());
    if (region.isEmpty()) {
        region = QRegion(0, 0, 1, 1);
    }
    setMask(region);
}

void IslandWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    HomeIslandView::paint(painter, model_, layout_, openness_, reduced_, opaque());
}

QImage IslandWindow::render() {
    QImage image(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatioF());
    image.fill(Qt::transparent);
    QPainter painter(&image);
    HomeIslandView::paint(painter, model_, layout_, openness_, reduced_, false);
    return image;
}

void IslandWindow::keyPressEvent(QKeyEvent* event) {
    const RawKey raw = rawKeyOf(*event);
    // A key the island does not take is still consumed: a pop-up would close on Escape by
    // itself, and the island closes only through its controller.
    event->accept();
    if (auto key = KeyAdapter::adapt(raw, keyboard_); key && onKey_) {
        onKey_(*key);
    }
}

void IslandWindow::mousePressEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    pressedRow_ = -1;
    event->accept();
    if (!rect().contains(at.toPoint()) ||
        !HomeIslandView::shellShape(model_, layout_, 1, reduced_).contains(at)) {
        if (callbacks_.dismiss) {
            callbacks_.dismiss();
        }
        return;
    }
    pressedRow_ = HomeIslandView::rowAt(layout_, at);
}

void IslandWindow::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    const int row = HomeIslandView::rowAt(layout_, event->position());
    if (row >= 0 && row == pressedRow_ && callbacks_.activate) {
        callbacks_.activate(row);
    }
    pressedRow_ = -1;
}

void IslandWindow::mouseMoveEvent(QMouseEvent* event) {
    const int row = rect().contains(event->position().toPoint())
                        ? HomeIslandView::rowAt(layout_, event->position())
                        : -1;
    if (row != hoverRow_) {
        hoverRow_ = row;
        const QPointF global = event->globalPosition();
        // Only a pointer that really moved takes the selection; one resting under a row that
        // opened or grew beneath it does not.
        if (pointer_.movedTo({global.x(), global.y()}) && row >= 0 && row != model_.selection()) {
            model_.setSelection(row);
        }
    }
}

void IslandWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    hoverRow_ = -1;
    if (!orderingOut_ && callbacks_.hidden) {
        callbacks_.hidden();
    }
}

}  // namespace ovra
