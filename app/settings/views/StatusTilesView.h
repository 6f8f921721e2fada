#pragma once

// The Home pane's status tiles (access, smart highlighting, the shortcut): three across where
// each tile has room for its longest word, else two, else one under the other, so that large
// text on a small screen wraps whole words and never cuts one.

#include <QWidget>
#include <array>
#include <functional>
#include <vector>

#include "app/settings/HomeHeaderModel.h"

namespace ovra {

class StatusTilesView final : public QWidget {
    Q_OBJECT

  public:
    StatusTilesView(const std::array<HomeHeaderModel::Tile, 3>& tiles, double scale, bool dark,
                    QWidget* parent = nullptr);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // How many tiles stand side by side at this width.
    int columns(int width) const;

  Q_SIGNALS:
    // A tile asks to show a pane.
    void paneRequested(int paneIndex);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Each tile's place at this width, and the height they take together.
    std::vector<QRect> places(int width, int* height = nullptr) const;

    std::vector<QWidget*> tiles_;
    // The narrowest a tile may be without cutting a word.
    int narrowest_ = 0;
    int gap_ = 0;
};

}  // namespace ovra
