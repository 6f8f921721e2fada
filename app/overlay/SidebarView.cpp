#include "app/overlay/SidebarView.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "app/overlay/FindField.h"
#include "app/overlay/Motion.h"
#include "app/overlay/OverlayLayout.h"
#include "app/overlay/StyleKit.h"
#include "app/overlay/Suite.h"
#include "core/OvraText.h"
#include "platform/qt/QtText.h"

namespace ovra {

namespace {

int px(double value) {
    return static_cast<int>(std::lround(value));
}

QFont kickerFont(double s, double size, double kerning) {
    QFont font = styleFont(size * s, QFont::DemiBold, FontDesign::monospaced);
    font.setLetterSpacing(QFont::AbsoluteSpacing, kerning);
    return font;
}

constexpr double kScrollSeconds = 0.18;
// Taller lists are drawn row by row as they scroll into view, not kept whole.
constexpr int kMaxCachedHeight = 4096;

}  // namespace

// --- Header -------------------------------------------------------------------------------

SidebarHeader::SidebarHeader(OverlayModel& model, Scheduler& scheduler, QWidget* parent)
    : QWidget(parent), model_(model), scheduler_(scheduler) {
    installOverlayAccessibility();
}

QString SidebarHeader::kicker() const {
    return Kicker::upperCased(qs(OvraText::t(model_.finding() ? "FIND" : "ON THIS PAGE")));
}

QString SidebarHeader::countText() const {
    const auto n = static_cast<int>(model_.navigationOrder().size());
    return qs(model_.finding() ? SidebarText::matchLine(n) : SidebarText::countLine(n));
}

int SidebarHeader::preferredHeight() const {
    const double s = scale();
    const double kickerHeight = QFontMetricsF(kickerFont(s, 13, 1.1)).height();
    const double countHeight = QFontMetricsF(styleFont(13 * s)).height();
    const double inner = model_.finding() ? kickerHeight + 8 * s + 36 * s + 8 * s + countHeight
                                          : kickerHeight + 2 + countHeight;
    return px(16 * s + inner + 12 * s);
}

void SidebarHeader::sync() {
    if (model_.finding() && !field_) {
        field_ = new FindField(model_, scheduler_, 20 * scale(), this);
        field_->show();
    } else if (!model_.finding() && field_) {
        delete field_;
        field_ = nullptr;
    }
    if (field_) {
        field_->sync();
    }
    // The kicker above the field is left out: screen readers read the field's own name.
    setAccessibleName(model_.finding() ? countText() : kicker() + ", " + countText());
    resizeEvent(nullptr);
    update();
}

void SidebarHeader::resizeEvent(QResizeEvent*) {
    if (!field_) {
        return;
    }
    const double s = scale();
    const double kickerHeight = QFontMetricsF(kickerFont(s, 13, 1.1)).height();
    const QRect box(px(14 * s), px(16 * s + kickerHeight + 8 * s), px(width() - 28 * s),
                    px(36 * s));
    field_->setGeometry(box.adjusted(px(8 * s), 0, -px(8 * s), 0));
}

void SidebarHeader::paintEvent(QPaintEvent*) {
    const double s = scale();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor::fromRgbF(0, 0, 0, 0.35f));
    painter.fillRect(QRectF(0, height() - 1, width(), 1), QColor::fromRgbF(1, 1, 1, 0.1f));
    const QColor mist = qColor(Suite::slateMist);
    const QFont kickerLine = kickerFont(s, 13, 1.1);
    const QFontMetricsF kickerMetrics(kickerLine);
    double y = 16 * s;
    painter.setPen(mist);
    painter.setFont(kickerLine);
    painter.drawText(QPointF(14 * s, y + kickerMetrics.ascent()), kicker());
    y += kickerMetrics.height();
    if (model_.finding()) {
        y += 8 * s;
        const QRectF box(14 * s, y, width() - 28 * s, 36 * s);
        QPainterPath shape;
        shape.addRoundedRect(box, 8, 8);
        painter.fillPath(shape, QColor::fromRgbF(0.16f, 0.16f, 0.16f));
        painter.strokePath(shape, QPen(qColor(model_.theme.color()), 2));
        y += 36 * s + 8 * s;
    } else {
        y += 2;
    }
    const QFont countFont = styleFont(13 * s);
    painter.setFont(countFont);
    painter.setPen(mist);
    painter.drawText(QPointF(14 * s, y + QFontMetricsF(countFont).ascent()), countText());
}

// --- List ---------------------------------------------------------------------------------

SidebarList::SidebarList(OverlayModel& model, PointerIntent& pointer, ActivateHandler onActivate,
                         QWidget* parent)
    : QWidget(parent), model_(model), pointer_(pointer), onActivate_(std::move(onActivate)) {
    installOverlayAccessibility();
    setMouseTracking(true);
    setAccessibleName(qs(OvraText::t("Actions on this page")));
}

void SidebarList::relayout(int width, int visibleHeight, int barWidth) {
    int tall = layRows(width);
    if (tall > visibleHeight && barWidth > 0 && barWidth < width) {
        width -= barWidth;
        tall = layRows(width);
    }
    resize(width, tall);
    cache_ = QImage();
    hoverRow_ = -1;
    update();
    elements_.clear();
    std::size_t next = 0;
    for (std::size_t t = 0; t < titles_.size(); ++t) {
        elements_.push_back({"title " + std::to_string(t), titles_[t].text, titles_[t].rect,
                             QAccessible::Heading, false, false});
        const int end = t + 1 < titles_.size() ? titles_[t + 1].rect.top() : height();
        for (; next < rows_.size() && rows_[next].rect.top() < end; ++next) {
            const Row& row = rows_[next];
            elements_.push_back(
                {row.id, row.accessibleName, row.rect, QAccessible::Button, true, row.selected});
        }
    }
    notifyAccessibleElementsChanged(this, toldElements_);
}

int SidebarList::layRows(int width) {
    const double s = model_.textScale;
    rows_.clear();
    titles_.clear();
    const std::optional<FocusItem> selected = model_.selectedItem();
    const std::vector<std::string> order = model_.navigationOrder();
    const auto number = [&](const std::string& id) -> std::optional<int> {
        const auto found = std::find(order.begin(), order.end(), id);
        return found == order.end()
                   ? std::nullopt
                   : std::optional<int>(static_cast<int>(found - order.begin()) + 1);
    };
    const QFont titleFont = kickerFont(s, 12, 0.9);
    const QFont detailFont = styleFont(12 * s);
    const double badge = 28 * s;
    const double textWidth = width - 2 * 8 * s - 2 * 12 * s - badge - 10 * s;
    double y = 14 * s;
    bool firstSection = true;
    for (const FocusSection& section : model_.sidebarSections()) {
        if (!firstSection) {
            y += 18 * s;
        }
        firstSection = false;
        const double titleHeight = QFontMetricsF(titleFont).height();
        titles_.push_back({Kicker::upperCased(qs(section.title)),
                           QRect(px(14 * s), px(y), px(width - 28 * s), px(titleHeight))});
        y += titleHeight;
        for (const FocusItem& item : section.items) {
            y += 6 * s;
            Row row;
            row.id = item.id();
            row.selected = selected && selected->id() == item.id();
            row.dimmed = item.verdict == FocusVerdict::suppressed;
            const std::optional<int> n = number(item.id());
            row.badge = n && *n <= 9 ? QString::number(*n) : QStringLiteral("•");
            row.label = TextBlock::wrap(
                qs(item.displayLabel),
                styleFont(16 * s, row.selected ? QFont::Bold : QFont::Medium),
                qColor(row.dimmed ? Suite::slateMist : Suite::creamInk), textWidth, 2);
            row.detail = QFontMetricsF(detailFont)
                             .elidedText(qs(SidebarText::detail(item)), Qt::ElideRight, textWidth);
            row.accessibleName = qs(SidebarText::accessibleName(n, item));
            const double textHeight = row.label.height() + 1 + QFontMetricsF(detailFont).height();
            const double height = std::max(44.0, 2 * 9 * s + std::max(badge, textHeight));
            row.rect = QRect(px(8 * s), px(y), px(width - 16 * s), px(height));
            y += height;
            rows_.push_back(std::move(row));
        }
    }
    return px(y + 14 * s);
}

std::optional<QRect> SidebarList::selectedRow() const {
    for (const Row& row : rows_) {
        if (row.selected) {
            return row.rect;
        }
    }
    return std::nullopt;
}

int SidebarList::rowAt(QPoint point) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].rect.contains(point)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void SidebarList::mouseMoveEvent(QMouseEvent* event) {
    const int row = rowAt(event->position().toPoint());
    if (row == hoverRow_) {
        return;
    }
    hoverRow_ = row;
    if (row < 0) {
        return;
    }
    const QPointF global = event->globalPosition();
    if (!pointer_.movedTo({global.x(), global.y()})) {
        return;  // the list moved under a resting pointer
    }
    const std::vector<std::string> order = model_.navigationOrder();
    const auto found =
        std::find(order.begin(), order.end(), rows_[static_cast<std::size_t>(row)].id);
    if (found != order.end()) {
        model_.select(static_cast<int>(found - order.begin()));
    }
}

void SidebarList::leaveEvent(QEvent*) {
    hoverRow_ = -1;
}

void SidebarList::mouseReleaseEvent(QMouseEvent* event) {
    const int row = rowAt(event->position().toPoint());
    if (row >= 0 && event->button() == Qt::LeftButton && onActivate_) {
        onActivate_(rows_[static_cast<std::size_t>(row)].id);
    }
}

void SidebarList::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const qreal dpr = devicePixelRatioF();
    // The rows change with the model, not from frame to frame: drawn once, then copied.
    if (height() <= kMaxCachedHeight) {
        if (cache_.isNull() || cache_.devicePixelRatio() != dpr) {
            cache_ = QImage(size() * dpr, QImage::Format_ARGB32_Premultiplied);
            cache_.setDevicePixelRatio(dpr);
            cache_.fill(Qt::transparent);
            QPainter rows(&cache_);
            paintRows(rows, rect());
        }
        painter.drawImage(
            event->rect(), cache_,
            QRectF(QPointF(event->rect().topLeft()) * dpr, QSizeF(event->rect().size()) * dpr));
        return;
    }
    paintRows(painter, event->rect());
}

void SidebarList::paintRows(QPainter& painter, const QRect& area) const {
    const double s = model_.textScale;
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor theme = qColor(model_.theme.color());
    const QColor mist = qColor(Suite::slateMist);
    painter.setFont(kickerFont(s, 12, 0.9));
    painter.setPen(mist);
    for (const Title& title : titles_) {
        if (title.rect.intersects(area)) {
            painter.drawText(title.rect, Qt::AlignLeft | Qt::AlignVCenter, title.text);
        }
    }
    const QFont detailFont = styleFont(12 * s);
    const double d = 28 * s;
    for (const Row& row : rows_) {
        if (!row.rect.intersects(area)) {
            continue;
        }
        const QRectF r(row.rect);
        if (row.selected) {
            QPainterPath shape;
            shape.addRoundedRect(r.adjusted(1, 1, -1, -1), 10, 10);
            QColor fill = theme;
            fill.setAlphaF(0.22f);
            painter.fillPath(shape, fill);
            painter.strokePath(shape, QPen(theme, 2));
        }
        const QColor tint = row.dimmed ? mist : theme;
        const QRectF badge(r.left() + 12 * s, r.top() + 9 * s, d, d);
        painter.setPen(QPen(
            row.selected ? QColor(Qt::black) : QColor(tint.red(), tint.green(), tint.blue(), 204),
            2));
        painter.setBrush(row.selected ? tint : QColor::fromRgbF(0, 0, 0, 0.55f));
        painter.drawEllipse(badge.adjusted(1, 1, -1, -1));
        painter.setBrush(Qt::NoBrush);
        painter.setFont(styleFont(0.58 * d, QFont::Black, FontDesign::rounded));
        painter.setPen(row.selected ? QColor(Qt::black) : tint);
        painter.drawText(badge, Qt::AlignCenter, row.badge);
        const double tx = badge.right() + 10 * s;
        const double ty = r.top() + 9 * s;
        row.label.draw(painter, QRectF(tx, ty, r.right() - 12 * s - tx, row.label.height()), false);
        painter.setFont(detailFont);
        painter.setPen(mist);
        painter.drawText(
            QPointF(tx, ty + row.label.height() + 1 + QFontMetricsF(detailFont).ascent()),
            row.detail);
    }
}

const std::vector<AccessibleElement>& SidebarList::accessibleElements() const {
    return elements_;
}

void SidebarList::pressAccessibleElement(const std::string& key) {
    for (const Row& row : rows_) {
        if (row.id == key && onActivate_) {
            onActivate_(key);
            return;
        }
    }
}

// --- Column -------------------------------------------------------------------------------

SidebarView::SidebarView(OverlayModel& model, Scheduler& scheduler, PointerIntent& pointer,
                         ActivateHandler onActivate, QWidget* parent)
    : QWidget(parent),
      model_(model),
      scheduler_(scheduler),
      header_(new SidebarHeader(model, scheduler, this)),
      scroll_(new QScrollArea(this)),
      list_(new SidebarList(model, pointer, std::move(onActivate), nullptr)) {
    setAccessibleName(qs(OvraText::t("Actions on this page")));
    setFocusPolicy(Qt::NoFocus);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setFocusPolicy(Qt::NoFocus);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->viewport()->setAutoFillBackground(false);
    scroll_->setWidget(list_);
    list_->setAutoFillBackground(false);
    connect(scroll_->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { Q_EMIT selectedRowMoved(); });
}

SidebarView::~SidebarView() {
    scheduler_.cancel(scrollTimer_);
}

void SidebarView::setReduceTransparency(bool on) {
    reduceTransparency_ = on;
    update();
}

void SidebarView::sync() {
    header_->sync();
    layoutChildren();
    const int selection = model_.selection();
    if (shownSelection_ != selection) {
        centreSelection(shownSelection_.has_value() && isVisible());
        shownSelection_ = selection;
    }
    Q_EMIT selectedRowMoved();
}

void SidebarView::layoutChildren() {
    const int headerHeight = header_->preferredHeight();
    header_->setGeometry(0, 0, width() - 1, headerHeight);
    scroll_->setGeometry(0, headerHeight, width() - 1, std::max(0, height() - headerHeight));
    // The scroll bar shows only once the list has grown: lay the list out for the width it
    // leaves, once.
    const QRect room = scroll_->contentsRect();
    list_->relayout(room.width(), room.height(), scroll_->verticalScrollBar()->sizeHint().width());
}

void SidebarView::centreSelection(bool animated) {
    scheduler_.cancel(scrollTimer_);
    scrollTimer_ = 0;
    const std::optional<QRect> row = list_->selectedRow();
    if (!row || !model_.selectedItem()) {
        return;
    }
    QScrollBar* bar = scroll_->verticalScrollBar();
    const int target = std::clamp(row->center().y() - scroll_->viewport()->height() / 2,
                                  bar->minimum(), bar->maximum());
    if (!animated) {
        bar->setValue(target);
        return;
    }
    const int from = bar->value();
    const double start = scheduler_.now();
    scrollTimer_ = scheduler_.every(1.0 / 60, [this, bar, from, target, start] {
        const double t = std::min(1.0, (scheduler_.now() - start) / kScrollSeconds);
        bar->setValue(from + static_cast<int>(std::lround((target - from) * Motion::easeOut(t))));
        if (t >= 1) {
            scheduler_.cancel(scrollTimer_);
            scrollTimer_ = 0;
        }
    });
}

std::optional<QRect> SidebarView::selectedRowFrame(const QWidget* space) const {
    const std::optional<QRect> row = list_->selectedRow();
    if (!row || !isVisible()) {
        return std::nullopt;
    }
    return QRect(list_->mapTo(space, row->topLeft()), row->size());
}

void SidebarView::resizeEvent(QResizeEvent*) {
    layoutChildren();
}

void SidebarView::showEvent(QShowEvent*) {
    // The first sight of the list centres the selection at once.
    shownSelection_.reset();
    sync();
}

void SidebarView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const float opacity = reduceTransparency_ ? 1.0f : 0.97f;
    painter.fillRect(rect(), QColor::fromRgbF(0.09f, 0.09f, 0.09f, opacity));
    painter.fillRect(QRectF(width() - 1, 0, 1, height()), QColor::fromRgbF(1, 1, 1, 0.13f));
}

}  // namespace ovra
