#include "app/overlay/OverlayPanel.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWindow>
#include <cmath>
#include <utility>
#include <vector>

#include "app/overlay/CompositorWatch.h"
#include "app/overlay/Pinholes.h"
#include "app/overlay/QtKeyEvent.h"
#include "core/OvraText.h"
#include "platform/x11/OwnWindows.h"

namespace ovra {

namespace {

constexpr double kStepAsideSeconds = 0.1;
// The hotkey's grab lasts until its key is released: the panel's own is tried again meanwhile.
constexpr double kKeyboardRetrySeconds = 0.01;
constexpr int kKeyboardTries = 100;

}  // namespace

OverlayPanel::OverlayPanel(OverlayModel& model, Scheduler& scheduler, PointerIntent& pointer,
                           ActivateHandler onActivate, std::function<void()> onDismiss,
                           const keyboard::KeyboardLayout* keyboard)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint),
      model_(model),
      scheduler_(scheduler),
      keyboard_(keyboard),
      onDismiss_(onDismiss),
      view_(new OverlayView(model, scheduler, pointer, std::move(onActivate), std::move(onDismiss),
                            this)),
      compositor_(std::make_unique<CompositorWatch>()),
      x11_(x11::OwnWindows::open()) {
    installOverlayAccessibility();
    setAttribute(Qt::WA_TranslucentBackground);
    const QString name = QString::fromStdString(OvraText::t("Murmlark Ovra overlay"));
    setWindowTitle(name);
    setAccessibleName(name);
    setFocusPolicy(Qt::NoFocus);
    create();
    windowHandle()->installEventFilter(this);
    connect(compositor_.get(), &CompositorWatch::changed, this, &OverlayPanel::compositorChanged);
    if (x11_) {
        keyboardWatch_ = x11_->watchKeyboardTaken(static_cast<x11::WindowId>(winId()), [this] {
            // A hidden panel lets the keyboard go itself.
            if (isVisible()) {
                Q_EMIT keyboardTaken();
            }
        });
        catcher_ = x11_->catchInput(static_cast<x11::WindowId>(winId()),
                                    [this](const x11::CaughtButton& b) { buttonCaught(b); });
    }
}

OverlayPanel::~OverlayPanel() {
    scheduler_.cancel(regrab_);
    scheduler_.cancel(keyboardRetry_);
}

bool OverlayPanel::compositing() const {
    return compositor_->active();
}

Rect OverlayPanel::nativeFrame(const QScreen& screen) {
    // Qt keeps a screen's top-left corner in device pixels and scales only its size.
    const QRect g = screen.geometry();
    const double dpr = screen.devicePixelRatio();
    return Rect(g.x(), g.y(), g.width() * dpr, g.height() * dpr);
}

OverlayModel::RectMapping OverlayPanel::mapping(const QScreen& screen) {
    return OverlaySpace::mapping(nativeFrame(screen), screen.devicePixelRatio());
}

QRect OverlayPanel::logicalFrame(const QScreen& screen, const Rect& area) {
    const QPoint origin = screen.geometry().topLeft();
    const double dpr = screen.devicePixelRatio() > 0 ? screen.devicePixelRatio() : 1;
    return QRectF(origin.x() + (area.minX() - origin.x()) / dpr,
                  origin.y() + (area.minY() - origin.y()) / dpr, area.width() / dpr,
                  area.height() / dpr)
        .toRect();
}

void OverlayPanel::present(QScreen* screen, std::optional<Rect> area, std::optional<Rect> target) {
    screen_ = screen ? screen : QGuiApplication::primaryScreen();
    target_ = target;
    const bool wasShown = isVisible();
    if (screen_) {
        area_ = area.value_or(nativeFrame(*screen_));
        windowHandle()->setScreen(screen_);
        setGeometry(logicalFrame(*screen_, area_));
    }
    if (compositing()) {
        view_->setBackdrop({});
    } else if (!wasShown) {
        grabBackdrop();
    }
    show();
    raise();
    activateWindow();
    windowHandle()->requestActivate();
    applyInputShape();
    // Shown again within Qt's focus-out delay, the panel may still be Qt's focus window though
    // not its active one: Qt then tells no one it is active again, and a screen reader keeps
    // the window it had, so that the keyboard's way back later sounds like no change. The
    // panel is made the active window itself.
    if (!wasShown && !isActiveWindow() && QGuiApplication::focusWindow() == windowHandle()) {
        QApplication::setActiveWindow(this);
    }
    if (!isActiveWindow()) {
        holdKeyboardUntilFocused(kKeyboardTries);
    }
}

void OverlayPanel::holdKeyboardUntilFocused(int tries) {
    scheduler_.cancel(keyboardRetry_);
    keyboardRetry_ = 0;
    if (keyboardHeld_ || !isVisible() || isActiveWindow()) {
        return;
    }
    keyboardHeld_ = windowHandle()->setKeyboardGrabEnabled(true);
    if (!keyboardHeld_ && tries > 1) {
        keyboardRetry_ = scheduler_.after(kKeyboardRetrySeconds,
                                          [this, tries] { holdKeyboardUntilFocused(tries - 1); });
    }
}

void OverlayPanel::letKeyboardGo() {
    scheduler_.cancel(keyboardRetry_);
    keyboardRetry_ = 0;
    if (std::exchange(keyboardHeld_, false)) {
        windowHandle()->setKeyboardGrabEnabled(false);
    }
}

void OverlayPanel::orderOut() {
    letKeyboardGo();
    // Nor does it stay Qt's active window once hidden, which screen readers would take for the
    // window in front.
    if (QApplication::activeWindow() == this) {
        QApplication::setActiveWindow(nullptr);
    }
    scheduler_.cancel(regrab_);
    regrab_ = 0;
    // Keys typed for an overlay that is going away act nowhere.
    steppingAside_ = false;
    heldKeys_.clear();
    hide();
    if (catcher_) {
        catcher_->cover({});
    }
}

void OverlayPanel::grabBackdrop() {
    if (!screen_) {
        return;
    }
    view_->setBackdrop(grabArea());
}

QImage OverlayPanel::grabArea() const {
    const QRect covered =
        QRectF(area_.minX(), area_.minY(), area_.width(), area_.height()).toRect();
    QImage out;
    QPainter painter;
    for (QScreen* screen : QGuiApplication::screens()) {
        const Rect frame = nativeFrame(*screen);
        const Rect shown = frame.intersection(area_);
        if (shown.isNull() || !(shown.width() > 0) || !(shown.height() > 0)) {
            continue;
        }
        // A grab of a screen holds that screen in device pixels (or, with some Qt versions, the
        // whole root window): each is set at its place in the covered area.
        QImage grab = screen->grabWindow(0).toImage();
        if (grab.isNull()) {
            continue;
        }
        grab.setDevicePixelRatio(1);
        const bool whole = grab.size() != QSize(static_cast<int>(std::lround(frame.width())),
                                                static_cast<int>(std::lround(frame.height())));
        const QPoint at = whole ? -covered.topLeft()
                                : QPoint(static_cast<int>(frame.minX()) - covered.x(),
                                         static_cast<int>(frame.minY()) - covered.y());
        if (at == QPoint(0, 0) && grab.size() == covered.size()) {
            out = std::move(grab);  // one screen, all of it
            break;
        }
        if (out.isNull()) {
            out = QImage(covered.size(), QImage::Format_RGB32);
            out.fill(Qt::black);
            painter.begin(&out);
        }
        painter.drawImage(at, grab);
        if (whole) {
            break;  // the root window holds every screen
        }
    }
    if (painter.isActive()) {
        painter.end();
    }
    out.setDevicePixelRatio(screen_->devicePixelRatio());
    return out;
}

void OverlayPanel::refreshBackdrop() {
    if (compositing() || !screen_) {
        return;
    }
    if (!isVisible() || !x11_) {
        grabBackdrop();
        return;
    }
    // Without a compositing manager the screen holds our own pixels: show nothing for a moment,
    // let the apps below paint, grab, and show again. Hidden, the panel would hand the keyboard
    // to the app below, where a Return typed meanwhile would press what the user never chose;
    // mapped, it keeps the keyboard and holds the keys until it shows again.
    steppingAside_ = true;
    applyInputShape();
    scheduler_.cancel(regrab_);
    regrab_ = scheduler_.after(kStepAsideSeconds, [this] {
        regrab_ = 0;
        if (!compositing()) {
            grabBackdrop();
        }
        endStepAside();
    });
}

void OverlayPanel::endStepAside() {
    steppingAside_ = false;
    applyInputShape();
    // In the order typed; a key that makes the panel step aside again holds the rest.
    while (!heldKeys_.empty() && !steppingAside_ && isVisible()) {
        const std::unique_ptr<QKeyEvent> key = std::move(heldKeys_.front());
        heldKeys_.pop_front();
        QCoreApplication::sendEvent(windowHandle(), key.get());
    }
}

void OverlayPanel::compositorChanged(bool active) {
    if (active) {
        view_->setBackdrop({});
        if (steppingAside_) {
            scheduler_.cancel(regrab_);
            regrab_ = 0;
            endStepAside();
        }
    } else if (isVisible()) {
        refreshBackdrop();
    }
    applyInputShape();
    Q_EMIT compositingChanged(active);
}

void OverlayPanel::setInputTransparent(bool transparent) {
    inputTransparent_ = transparent;
    applyInputShape();
}

void OverlayPanel::applyInputShape() {
    if (!x11_) {
        windowHandle()->setFlag(Qt::WindowTransparentForInput, inputTransparent_);
        return;
    }
    const auto window = static_cast<x11::WindowId>(winId());
    x11_->setInputPassesThrough(window, inputTransparent_);
    // Without a compositing manager the windows below are fully covered, and a browser that
    // knows itself covered ignores the clicks that reach it and takes its page's elements off
    // its accessibility tree (Firefox). Pinholes leave each of them a visible pixel for as long
    // as input goes through, and the target's window one near each corner all along.
    // The server gives the window no input where it shows nothing: unless input goes through,
    // the catcher takes the clicks there, and the dim layer every click over its rectangle.
    const QSize pixels = size() * devicePixelRatio();
    const bool takesInput = !inputTransparent_ && isVisible();
    std::vector<x11::ShapeRect> uncovered;
    if (steppingAside_) {
        // The catcher first, so that no click passes while the window shows nothing.
        if (catcher_ && takesInput) {
            catcher_->cover({{0, 0, pixels.width(), pixels.height()}});
        }
        x11_->setVisibleShape(window, std::vector<x11::ShapeRect>{});
        uncovered.push_back({0, 0, pixels.width(), pixels.height()});
    } else if (inputTransparent_ && !compositing()) {
        x11_->setVisibleShape(window, pinholes::grid(pixels.width(), pixels.height()));
    } else if (target_ && !compositing()) {
        const Rect local(target_->minX() - area_.minX(), target_->minY() - area_.minY(),
                         target_->width(), target_->height());
        const std::vector<pinholes::Pixel> holes = pinholes::nearCorners(local);
        x11_->setVisibleShape(window,
                              pinholes::shapeWithHoles(pixels.width(), pixels.height(), holes));
        uncovered = pinholes::holesInside(pixels.width(), pixels.height(), holes);
    } else {
        x11_->setVisibleShape(window, std::nullopt);
    }
    // Shrinks once the window shows again.
    if (catcher_) {
        catcher_->cover(takesInput ? uncovered : std::vector<x11::ShapeRect>{});
    }
    // A round trip: the server has applied the shape before the caller posts any input.
    x11_->sync();
}

void OverlayPanel::buttonCaught(const x11::CaughtButton& caught) {
    if (caught.button != 1) {
        return;  // as on the dim layer, which acts on the primary button alone
    }
    if (caught.pressed) {
        caughtPress_ = isVisible() && !inputTransparent_;
        return;
    }
    // A click on a pixel left uncovered is a click on the dim layer, even beside a ring (the
    // pixel lies on the control it shows): it closes the overlay and presses nothing.
    const bool click = caughtPress_;
    caughtPress_ = false;
    if (click && isVisible() && !inputTransparent_ && onDismiss_) {
        onDismiss_();
    }
}

void OverlayPanel::focusContent() {
    view_->setFocus(Qt::OtherFocusReason);
}

bool OverlayPanel::sendEditAction(EditAction action) {
    auto* field = qobject_cast<QLineEdit*>(focusWidget());
    if (!field) {
        return false;
    }
    switch (action) {
        case EditAction::paste:
            field->paste();
            break;
        case EditAction::copy:
            field->copy();
            break;
        case EditAction::cut:
            field->cut();
            break;
        case EditAction::selectAll:
            field->selectAll();
            break;
        case EditAction::undo:
            field->undo();
            break;
        case EditAction::redo:
            field->redo();
            break;
    }
    return true;
}

bool OverlayPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::FocusIn) {
        letKeyboardGo();  // the keys come by the focus now
    }
    const bool press = event->type() == QEvent::KeyPress;
    if (watched != windowHandle() || (!press && event->type() != QEvent::KeyRelease)) {
        return false;
    }
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    const std::optional<KeyInput> input =
        press ? KeyAdapter::adapt(rawKeyOf(*keyEvent), keyboard_) : std::nullopt;
    // While the panel steps aside keys wait for it, in order; Escape, the way out, never waits:
    // it goes ahead of the keys held before it (a close makes them act nowhere).
    if (steppingAside_ && !(input && input->keyCode == OverlayKeys::escape)) {
        heldKeys_.push_back(std::unique_ptr<QKeyEvent>(keyEvent->clone()));
        return true;
    }
    return input && onKey_ && onKey_(*input);
}

void OverlayPanel::resizeEvent(QResizeEvent*) {
    view_->setGeometry(rect());
}

void OverlayPanel::showEvent(QShowEvent*) {
    view_->setGeometry(rect());
}

}  // namespace ovra
