#include "app/settings/views/SidebarView.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <cmath>

#include "app/settings/views/Dispose.h"
#include "app/settings/views/SettingsPaint.h"
#include "platform/qt/QtText.h"

namespace ovra {

namespace {

constexpr qreal kRadius = 10;

QFont titleFont(double s, bool selected) {
    return styleFont(14 * s, selected ? QFont::DemiBold : QFont::Normal);
}

// The app's name under the bird, at the top of the sidebar.
class SidebarTitle final : public QWidget {
  public:
    SidebarTitle(double scale, bool dark, QWidget* parent)
        : QWidget(parent), scale_(scale), dark_(dark) {
        setAccessibleName(QStringLiteral("Murmlark Ovra"));
        setFixedHeight(static_cast<int>(std::ceil(std::max(20 * scale, 18 * scale) + 10)));
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const Tone tone{dark_};
        const double s = scale_;
        const qreal h = height() - 10;
        SettingsPaint::symbol(painter, "bird", QRectF(6, (h - 20 * s) / 2, 20 * s, 20 * s),
                              tone.ink(), 20 * s);
        painter.setFont(styleFont(15 * s, QFont::DemiBold));
        painter.setPen(tone.ink());
        painter.drawText(QRectF(6 + 28 * s, 0, width() - 12 - 28 * s, h),
                         Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Murmlark Ovra"));
    }

  private:
    double scale_;
    bool dark_;
};

}  // namespace

PaneEntryView::PaneEntryView(OvraPane pane, HoverIntent& hover, QWidget* parent)
    : QWidget(parent), pane_(pane), hover_(hover) {
    installStopAccessibility();
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(true);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void PaneEntryView::setLook(bool selected, bool focused, double scale, bool dark) {
    const bool resized = scale != scale_;
    selected_ = selected;
    focused_ = focused;
    scale_ = scale;
    dark_ = dark;
    if (resized) {
        updateGeometry();
    }
    update();
}

namespace {

constexpr qreal kNumberWidth = 14;

// The title's room: the entry less its ring reach, padding, symbol and number.
qreal titleWidth(qreal width, double scale) {
    return width - 2 * SettingsPaint::kRingReach - 20 - 26 * scale - 10 - kNumberWidth * scale;
}

}  // namespace

int PaneEntryView::heightForWidth(int width) const {
    // A long title wraps: the entry grows rather than cut it off.
    const qreal text = SettingsPaint::wrappedHeight(stopName(), titleFont(scale_, true),
                                                    titleWidth(width, scale_));
    return static_cast<int>(std::ceil(text + 16 + 2 * SettingsPaint::kRingReach));
}

QSize PaneEntryView::sizeHint() const {
    const int w = std::max(width(), static_cast<int>(180 * scale_));
    return {w, heightForWidth(w)};
}

QString PaneEntryView::stopName() const {
    return qs(pane_.title());
}

void PaneEntryView::stopPress() {
    Q_EMIT chosen(pane_);
}

void PaneEntryView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Tone tone{dark_};
    const double s = scale_;
    const QRectF box =
        QRectF(rect()).adjusted(SettingsPaint::kRingReach, SettingsPaint::kRingReach,
                                -SettingsPaint::kRingReach, -SettingsPaint::kRingReach);
    if (selected_) {
        painter.setPen(QPen(dark_ ? qColor(Suite::signal, 0.5) : qColor(Suite::ember, 0.5), 1));
        painter.setBrush(dark_ ? qColor(Suite::signal, 0.13) : qColor(Suite::ember, 0.1));
        painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
    }
    const QRectF inner = box.adjusted(10, 0, -10, 0);
    SettingsPaint::symbol(painter, pane_.symbol(),
                          QRectF(inner.left(), inner.top(), 26 * s, inner.height()),
                          selected_ ? tone.accent() : tone.secondary(), 16 * s);
    const QFont number = styleFont(10 * s, QFont::DemiBold, FontDesign::monospaced);
    const qreal numberW = kNumberWidth * s;
    SettingsPaint::drawWrapped(
        painter,
        QRectF(inner.left() + 26 * s + 10, inner.top(), titleWidth(width(), s), inner.height()),
        stopName(), titleFont(s, selected_), selected_ ? tone.accentInk() : tone.ink(),
        Qt::AlignLeft | Qt::AlignVCenter);
    painter.setFont(number);
    painter.setPen(tone.secondary());
    const auto position = 1 + static_cast<int>(pane_);
    painter.drawText(QRectF(inner.right() - numberW, inner.top(), numberW, inner.height()),
                     Qt::AlignRight | Qt::AlignVCenter, QString::number(position));
    SettingsPaint::focusRing(painter, box, kRadius, focused_, dark_);
}

void PaneEntryView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->pos())) {
        Q_EMIT chosen(pane_);
    }
}

void PaneEntryView::enterEvent(QEnterEvent* event) {
    if (hover_.movedTo(event->globalPosition().toPoint())) {
        Q_EMIT hovered(pane_);
    }
}

PaneSidebarView::PaneSidebarView(HoverIntent& hover, QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setSpacing(static_cast<int>(6 - SettingsPaint::kRingReach));
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        entries_[i] = new PaneEntryView(OvraPane::allCases()[i], hover, this);
        connect(entries_[i], &PaneEntryView::chosen, this, &PaneSidebarView::chosen);
        connect(entries_[i], &PaneEntryView::hovered, this, &PaneSidebarView::hovered);
        column->addWidget(entries_[i]);
    }
    column->addStretch(1);
}

void PaneSidebarView::setState(OvraPane shown, const std::optional<std::string>& focusID,
                               double scale, bool dark) {
    auto* column = static_cast<QVBoxLayout*>(layout());
    if (title_ == nullptr || scale != scale_ || dark != dark_) {
        if (title_ != nullptr) {
            column->removeWidget(title_);
            disposeLater(title_);
        }
        title_ = new SidebarTitle(scale, dark, this);
        column->insertWidget(0, title_);
        title_->show();
        const int pad = static_cast<int>(14 * scale - SettingsPaint::kRingReach);
        column->setContentsMargins(pad, static_cast<int>(14 * scale), pad,
                                   static_cast<int>(14 * scale));
        setFixedWidth(static_cast<int>(210 * scale));
    }
    scale_ = scale;
    dark_ = dark;
    for (PaneEntryView* entry : entries_) {
        entry->setLook(entry->pane() == shown, focusID == entry->pane().stopID(), scale, dark);
    }
    update();
}

PaneEntryView* PaneSidebarView::entry(OvraPane pane) const {
    return entries_[static_cast<std::size_t>(pane)];
}

void PaneSidebarView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Tone{dark_}.sidebar());
}

}  // namespace ovra
