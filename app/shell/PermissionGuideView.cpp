#include "app/shell/PermissionGuideView.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>
#include <cmath>

#include "app/overlay/StyleKit.h"
#include "app/overlay/Suite.h"
#include "app/shell/MenuBarIcon.h"
#include "platform/qt/QtText.h"

namespace ovra {

namespace {

int px(double value) {
    return static_cast<int>(std::lround(value));
}

QColor primaryColor(bool dark) {
    return qColor(dark ? Suite::creamInk : Suite::ink);
}

QColor accentColor(bool dark) {
    return qColor(dark ? Suite::signal : Suite::ember);
}

QColor errorColor(bool dark) {
    return dark ? QColor(242, 184, 181) : QColor(179, 38, 30);
}

QLabel* label(const std::string& text, double pixelSize, QFont::Weight weight, const QColor& color,
              QWidget* parent) {
    auto* made = new QLabel(qs(text), parent);
    made->setFont(styleFont(pixelSize, weight));
    made->setWordWrap(true);
    made->setTextFormat(Qt::PlainText);
    QPalette palette = made->palette();
    palette.setColor(QPalette::WindowText, color);
    made->setPalette(palette);
    return made;
}

// The header's bird: decoration only, so nothing a screen reader stops at.
class Bird final : public QWidget {
  public:
    Bird(double side, QWidget* parent) : QWidget(parent) { setFixedSize(px(side), px(side)); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(rect()), MenuBarIcon::image());
    }
};

// One numbered step: the number in a tinted circle, the text wrapping beside it, read as one.
class Step final : public QLabel {
  public:
    Step(int number, const std::string& text, double scale, bool dark, QWidget* parent)
        : QLabel(qs(text), parent), number_(number), scale_(scale), dark_(dark) {
        setFont(styleFont(17 * scale));
        setWordWrap(true);
        setTextFormat(Qt::PlainText);
        setAlignment(Qt::AlignLeft | Qt::AlignTop);
        QPalette palette = this->palette();
        palette.setColor(QPalette::WindowText, primaryColor(dark));
        setPalette(palette);
        const double badge = 32 * scale;
        const int line = QFontMetrics(font()).height();
        // The text's first line sits level with the badge's middle.
        const int top = std::max(0, px((badge - line) / 2));
        setContentsMargins(px(badge + 12 * scale), top, 0, 0);
        setMinimumHeight(px(badge));
        setAccessibleName(QString::number(number) + ". " + qs(text));
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QLabel::paintEvent(event);
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF badge(0, 0, 32 * scale_, 32 * scale_);
        QColor fill = accentColor(dark_);
        fill.setAlphaF(0.2f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawEllipse(badge);
        painter.setPen(primaryColor(dark_));
        painter.setFont(styleFont(17 * scale_, QFont::Bold));
        painter.drawText(badge, Qt::AlignCenter, QString::number(number_));
    }

  private:
    int number_;
    double scale_;
    bool dark_;
};

}  // namespace

QColor PermissionGuideView::secondaryColor(bool dark) {
    return dark ? qColor(Suite::slateMist) : qColor(Suite::ink, 0.62);
}

PermissionGuideView::PermissionGuideView(PermissionGuide& guide, double scale, bool dark,
                                         QWidget* parent)
    : QWidget(parent), guide_(guide), dark_(dark) {
    const PermissionGuide::Texts texts = guide.texts();
    const QColor primary = primaryColor(dark);
    const QColor secondary = secondaryColor(dark);
    setMaximumWidth(px(820 * scale));

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(px(20 * scale));
    column->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* header = new QHBoxLayout;
    header->setSpacing(px(14 * scale));
    header->addWidget(new Bird(44 * scale, this), 0, Qt::AlignVCenter);
    auto* names = new QVBoxLayout;
    names->setSpacing(px(4 * scale));
    names->addWidget(label(texts.title, 28 * scale, QFont::Bold, primary, this));
    names->addWidget(label(texts.subtitle, 17 * scale, QFont::Normal, secondary, this));
    header->addLayout(names, 1);
    column->addLayout(header);

    column->addWidget(label(texts.reason, 17 * scale, QFont::Normal, primary, this));

    auto* steps = new QVBoxLayout;
    steps->setSpacing(px(12 * scale));
    for (std::size_t i = 0; i < texts.steps.size(); ++i) {
        steps->addWidget(new Step(static_cast<int>(i) + 1, texts.steps[i], scale, dark, this));
    }
    column->addLayout(steps);

    button_ = new QPushButton(qs(texts.button), this);
    button_->setFont(styleFont(15 * scale, QFont::DemiBold));
    button_->setMinimumHeight(px(36 * scale));
    button_->setMinimumWidth(button_->fontMetrics().horizontalAdvance(button_->text()) +
                             px(40 * scale));
    button_->setDefault(true);
    // Keys belong to the host window (its own stops lead to the same action).
    button_->setFocusPolicy(Qt::NoFocus);
    connect(button_, &QPushButton::clicked, this, [this] { guide_.turnOn(); });
    column->addWidget(button_, 0, Qt::AlignLeft);

    QLabel* byHand = label(texts.byHand, 13 * scale, QFont::Normal, secondary, this);
    byHand->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(byHand);

    status_ = label("", 15 * scale, QFont::Normal, primary, this);
    column->addWidget(status_);
    showStatus();
    listener_ = guide_.onChange([this] { showStatus(); });
}

PermissionGuideView::~PermissionGuideView() {
    guide_.removeListener(listener_);
}

void PermissionGuideView::showStatus() {
    const auto& status = guide_.status();
    status_->setVisible(status.has_value());
    status_->setText(status ? qs(*status) : QString());
    QPalette palette = status_->palette();
    palette.setColor(QPalette::WindowText,
                     guide_.statusIsProblem() ? errorColor(dark_) : secondaryColor(dark_));
    status_->setPalette(palette);
}

}  // namespace ovra
