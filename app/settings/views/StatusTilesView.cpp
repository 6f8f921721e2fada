#include "app/settings/views/StatusTilesView.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "app/overlay/StyleKit.h"
#include "app/settings/views/HomeHeaderView.h"
#include "app/settings/views/SettingsPaint.h"
#include "platform/qt/QtText.h"

namespace ovra {

namespace {

QFont titleFont(double s) {
    return styleFont(13 * s, QFont::DemiBold);
}
QFont valueFont(double s) {
    return styleFont(17 * s, QFont::DemiBold);
}

class TileView final : public PaintedBlock {
  public:
    TileView(HomeHeaderModel::Tile tile, double scale, bool dark, std::function<void()> open,
             QWidget* parent)
        : PaintedBlock(parent),
          tile_(std::move(tile)),
          scale_(scale),
          dark_(dark),
          open_(std::move(open)) {
        setAccessibleName(qs(tile_.accessibleLabel()));
        if (open_) {
            setCursor(Qt::PointingHandCursor);
        }
    }

    // The width the tile needs for its longest words: its padding, the symbol before the title
    // and the state mark before the value.
    qreal narrowest() const {
        const double s = scale_;
        return 32 * s + std::max(20 * s + SettingsPaint::widestWord(qs(tile_.title), titleFont(s)),
                                 24 * s + SettingsPaint::widestWord(qs(tile_.value), valueFont(s)));
    }

  protected:
    qreal contentHeight(qreal width) const override {
        const double s = scale_;
        const qreal inner = width - 32 * s;
        const qreal title =
            SettingsPaint::wrappedHeight(qs(tile_.title), titleFont(s), inner - 20 * s);
        const qreal value =
            SettingsPaint::wrappedHeight(qs(tile_.value), valueFont(s), inner - 24 * s);
        return std::max(104 * s, 32 * s + title + 8 + std::max<qreal>(value, 20 * s));
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const double s = scale_;
        const Tone tone{dark_};
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(QPen(tone.hairline(), 1));
        painter.setBrush(dark_ ? QColor(0, 0, 0, 77) : QColor(Qt::white));
        painter.drawRoundedRect(box, 14, 14);
        const qreal x = 16 * s;
        const qreal inner = width() - 32 * s;
        qreal y = 16 * s;
        SettingsPaint::symbol(painter, tile_.symbol, QRectF(x, y, 16 * s, 16 * s), tone.secondary(),
                              15 * s);
        const qreal titleH =
            SettingsPaint::wrappedHeight(qs(tile_.title), titleFont(s), inner - 20 * s);
        SettingsPaint::drawWrapped(painter, QRectF(x + 20 * s, y, inner - 20 * s, titleH),
                                   qs(tile_.title), titleFont(s), tone.secondary());
        y += std::max(titleH, 16 * s) + 8;
        const QColor state = tile_.ok ? StatusColor::ok() : StatusColor::error(dark_);
        const qreal valueH =
            SettingsPaint::wrappedHeight(qs(tile_.value), valueFont(s), inner - 24 * s);
        SettingsPaint::symbol(painter,
                              tile_.ok ? "checkmark.circle.fill" : "exclamationmark.triangle.fill",
                              QRectF(x, y, 18 * s, std::max(valueH, 18 * s)), state, 18 * s);
        SettingsPaint::drawWrapped(painter, QRectF(x + 24 * s, y, inner - 24 * s, valueH),
                                   qs(tile_.value), valueFont(s), tone.ink());
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (open_ && event->button() == Qt::LeftButton && rect().contains(event->pos())) {
            open_();
        }
    }

  private:
    HomeHeaderModel::Tile tile_;
    double scale_;
    bool dark_;
    std::function<void()> open_;
};

}  // namespace

StatusTilesView::StatusTilesView(const std::array<HomeHeaderModel::Tile, 3>& tiles, double scale,
                                 bool dark, QWidget* parent)
    : QWidget(parent), gap_(static_cast<int>(14 * scale)) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    qreal narrowest = 0;
    for (const auto& tile : tiles) {
        std::function<void()> open;
        if (tile.opens) {
            open = [this, index = static_cast<int>(*tile.opens)] { Q_EMIT paneRequested(index); };
        }
        auto* view = new TileView(tile, scale, dark, std::move(open), this);
        narrowest = std::max(narrowest, view->narrowest());
        tiles_.push_back(view);
    }
    narrowest_ = static_cast<int>(std::ceil(narrowest));
}

int StatusTilesView::columns(int width) const {
    const int n = static_cast<int>(tiles_.size());
    for (int across = n; across > 1; --across) {
        if ((width - (across - 1) * gap_) / across >= narrowest_) {
            return across;
        }
    }
    return 1;
}

std::vector<QRect> StatusTilesView::places(int width, int* height) const {
    const int across = columns(width);
    const int tileWidth = std::max(1, (width - (across - 1) * gap_) / across);
    std::vector<QRect> out;
    int y = 0;
    for (std::size_t first = 0; first < tiles_.size(); first += static_cast<std::size_t>(across)) {
        const std::size_t end = std::min(tiles_.size(), first + static_cast<std::size_t>(across));
        int rowHeight = 0;
        for (std::size_t i = first; i < end; ++i) {
            rowHeight = std::max(rowHeight, tiles_[i]->heightForWidth(tileWidth));
        }
        for (std::size_t i = first; i < end; ++i) {
            const int column = static_cast<int>(i - first);
            out.emplace_back(column * (tileWidth + gap_), y, tileWidth,
                             tiles_[i]->heightForWidth(tileWidth));
        }
        y += rowHeight + (end < tiles_.size() ? gap_ : 0);
    }
    if (height != nullptr) {
        *height = y;
    }
    return out;
}

int StatusTilesView::heightForWidth(int width) const {
    int height = 0;
    places(width, &height);
    return height;
}

QSize StatusTilesView::sizeHint() const {
    const int w = std::max(width(), 320);
    return {w, heightForWidth(w)};
}

QSize StatusTilesView::minimumSizeHint() const {
    return {100, 0};  // the height follows the width
}

void StatusTilesView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const std::vector<QRect> at = places(width());
    for (std::size_t i = 0; i < tiles_.size(); ++i) {
        tiles_[i]->setGeometry(at[i]);
    }
}

}  // namespace ovra
