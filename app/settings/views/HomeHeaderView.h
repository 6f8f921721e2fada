#pragma once

// The painted blocks above a pane's rows: the Home pane's header (greeting, the hero card with
// its ring, the three status tiles), the banner, the theme preview of the Look pane, and the
// block every painted piece of the window is made of (its height follows its width, so long
// translations wrap and the block grows instead of cutting them off).

#include <QWidget>
#include <array>
#include <functional>

#include "app/settings/HomeHeaderModel.h"
#include "core/SettingsTypes.h"

namespace ovra {

// A painted widget whose height follows its width.
class PaintedBlock : public QWidget {
  public:
    explicit PaintedBlock(QWidget* parent = nullptr);
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    virtual qreal contentHeight(qreal width) const = 0;
};

// The drawn ring glyph of the hero card: a flattened ellipse with two glows.
void paintOvraRing(class QPainter& painter, const QRectF& box, qreal size, bool dark);

class HomeHeaderView final : public QWidget {
    Q_OBJECT

  public:
    struct Content {
        std::string greeting;
        HomeHeaderModel::Hero hero;
        std::array<HomeHeaderModel::Tile, 3> tiles;
    };

    HomeHeaderView(const Content& content, double scale, bool dark, QWidget* parent = nullptr);

  Q_SIGNALS:
    // A tile asks to show a pane.
    void paneRequested(int paneIndex);
};

// A status sentence across the top of the window, with a check mark or a warning symbol.
class BannerView final : public PaintedBlock {
  public:
    BannerView(QString text, bool problem, double scale, bool dark, QWidget* parent = nullptr);

  protected:
    qreal contentHeight(qreal width) const override;
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
    bool problem_;
    double scale_;
    bool dark_;
};

// The chosen ring colour on a light and a dark sample button.
class ThemePreview final : public PaintedBlock {
  public:
    ThemePreview(BeaconTheme theme, QWidget* parent = nullptr);

  protected:
    qreal contentHeight(qreal width) const override;
    void paintEvent(QPaintEvent* event) override;

  private:
    BeaconTheme theme_;
};

}  // namespace ovra
