#include "app/settings/ConfirmDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEnterEvent>
#include <QEventLoop>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <cmath>

#include "app/settings/views/AccessibleStop.h"
#include "app/settings/views/SettingsPaint.h"
#include "core/Geometry.h"
#include "core/OvraText.h"
#include "platform/qt/QtText.h"

namespace ovra {

// One of the dialog's two buttons: its key letter on a chip, its title, the focus ring.
class ConfirmButtonView final : public QWidget, public AccessibleStop {
  public:
    ConfirmButtonView(int index, QString letter, QString title, bool destructive, bool dark,
                      HoverIntent& hover, std::function<void(int)> chosen,
                      std::function<void(int)> hovered, QWidget* parent)
        : QWidget(parent),
          index_(index),
          letter_(std::move(letter)),
          title_(std::move(title)),
          destructive_(destructive),
          dark_(dark),
          hover_(hover),
          chosen_(std::move(chosen)),
          hovered_(std::move(hovered)) {
        installStopAccessibility();
        setFocusPolicy(Qt::ClickFocus);
        setMouseTracking(true);
        const QSizeF text(QFontMetricsF(titleFont()).horizontalAdvance(title_),
                          QFontMetricsF(titleFont()).height());
        const qreal chip = QFontMetricsF(chipFont()).horizontalAdvance(letter_) + 10;
        const qreal reach = SettingsPaint::kRingReach;
        setFixedSize(
            static_cast<int>(std::ceil(18 + chip + 8 + text.width() + 18 + 2 * reach)),
            static_cast<int>(std::ceil(std::max<qreal>(44, text.height() + 22) + 2 * reach)));
    }
    void setFocused(bool focused) {
        focused_ = focused;
        update();
    }

    QAccessible::Role stopRole() const override { return QAccessible::Button; }
    QString stopName() const override { return title_; }
    std::optional<bool> stopSelected() const override { return focused_; }
    void stopPress() override { chosen_(index_); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const Tone tone{dark_};
        const qreal reach = SettingsPaint::kRingReach;
        const QRectF box = QRectF(rect()).adjusted(reach, reach, -reach, -reach);
        painter.setPen(QPen(tone.hairline(), 1));
        painter.setBrush(dark_ ? QColor(0, 0, 0, 77) : QColor(Qt::white));
        painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
        const QColor color = destructive_ ? StatusColor::error(dark_) : tone.ink();
        const qreal chipW = QFontMetricsF(chipFont()).horizontalAdvance(letter_) + 10;
        const qreal chipH = QFontMetricsF(chipFont()).height() + 2;
        const QRectF chip(box.left() + 18, box.center().y() - chipH / 2, chipW, chipH);
        painter.setPen(Qt::NoPen);
        painter.setBrush(dark_ ? qColor(Suite::creamInk, 0.1) : qColor(Suite::ink, 0.12));
        painter.drawRoundedRect(chip, 4, 4);
        painter.setPen(color);
        painter.setFont(chipFont());
        painter.drawText(chip, Qt::AlignCenter, letter_);
        painter.setFont(titleFont());
        painter.drawText(
            QRectF(chip.right() + 8, box.top(), box.right() - chip.right() - 8 - 18, box.height()),
            Qt::AlignLeft | Qt::AlignVCenter, title_);
        SettingsPaint::focusRing(painter, box, 14, focused_, dark_);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->pos())) {
            chosen_(index_);  // a click chooses without moving the focus first
        }
    }
    void enterEvent(QEnterEvent* event) override {
        if (hover_.movedTo(event->globalPosition().toPoint())) {
            hovered_(index_);
        }
    }

  private:
    static QFont chipFont() { return styleFont(11, QFont::DemiBold, FontDesign::monospaced); }
    static QFont titleFont() { return styleFont(15, QFont::DemiBold); }

    int index_;
    QString letter_;
    QString title_;
    bool destructive_;
    bool dark_;
    HoverIntent& hover_;
    std::function<void(int)> chosen_;
    std::function<void(int)> hovered_;
    bool focused_ = false;
};

namespace {

QLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
    auto* made = new QLabel(text, parent);
    made->setWordWrap(true);
    made->setFont(font);
    QPalette colors = made->palette();
    colors.setColor(QPalette::WindowText, color);
    made->setPalette(colors);
    return made;
}

}  // namespace

ConfirmDialog::ConfirmDialog(ConfirmModel model, bool dark, Services services)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      model_(std::move(model)),
      dark_(dark),
      services_(std::move(services)) {
    setWindowTitle(qs(model_.title));
    setAttribute(Qt::WA_DeleteOnClose, false);
    HoverIntent& hover = services_.hover != nullptr ? *services_.hover : ownHover_;
    const Tone tone{dark_};
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(28, 28, 28, 28);
    column->setSpacing(16);
    QLabel* title = label(qs(model_.title), styleFont(20, QFont::Bold), tone.ink(), this);
    title->setAccessibleName(qs(model_.title));
    column->addWidget(title);
    message_ = label(qs(model_.message), styleFont(14), tone.secondary(), this);
    column->addWidget(message_);
    auto* row = new QHBoxLayout;
    row->setSpacing(static_cast<int>(12 - 2 * SettingsPaint::kRingReach));
    row->addStretch(1);
    const auto chosen = [this](int index) {
        model_.confirmed = index == 0;
        choose(model_.confirmed);
    };
    const auto hovered = [this](int index) {
        model_.focus = index;
        showFocus();
    };
    buttons_[1] = new ConfirmButtonView(1, QStringLiteral("C"), qs(model_.cancelTitle), false,
                                        dark_, hover, chosen, hovered, this);
    buttons_[0] = new ConfirmButtonView(0, QStringLiteral("R"), qs(model_.confirmTitle),
                                        model_.destructive, dark_, hover, chosen, hovered, this);
    row->addWidget(buttons_[1]);
    row->addWidget(buttons_[0]);
    row->addStretch(1);
    column->addLayout(row);
    column->addWidget(
        label(qs(OvraText::t("Tab or arrows to move. Return to choose. Esc cancels.")),
              styleFont(12), tone.secondary(), this));
    setFixedWidth(560);
    setFixedHeight(column->heightForWidth(560));
    create();
    if (QWindow* window = windowHandle()) {
        window->installEventFilter(this);
    }
    showFocus();
}

ConfirmDialog::~ConfirmDialog() {
    if (loop_) {
        loop_->quit();
    }
}

void ConfirmDialog::open(QWidget* parent) {
    // The window manager keeps a dialog above the window it belongs to, whatever comes forward.
    if (QWindow* window = windowHandle()) {
        window->setTransientParent(parent != nullptr && parent->isVisible() ? parent->windowHandle()
                                                                            : nullptr);
    }
    if (parent != nullptr && parent->isVisible()) {
        const QRect over = parent->frameGeometry();
        // The placement rule is written with y up: flip about 0 and back.
        const Rect up{static_cast<double>(over.x()), -static_cast<double>(over.bottom() + 1),
                      static_cast<double>(over.width()), static_cast<double>(over.height())};
        const Point origin = ConfirmPlacement::origin(
            {static_cast<double>(width()), static_cast<double>(height())}, up);
        move(static_cast<int>(origin.x), static_cast<int>(-origin.y - height()));
        parent->raise();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    answered_ = false;
    show();
    raise();
    activateWindow();
    showFocus();
    trace("open");
}

bool ConfirmDialog::runModal(QWidget* parent) {
    setWindowModality(Qt::ApplicationModal);
    onChoose = nullptr;
    open(parent);
    QEventLoop loop;
    loop_ = &loop;
    if (!answered_) {
        loop.exec();
    }
    loop_ = nullptr;
    hide();
    return model_.confirmed;
}

void ConfirmDialog::dismiss() {
    answered_ = true;
    onChoose = nullptr;
    hide();
    if (loop_) {
        loop_->quit();
    }
}

void ConfirmDialog::setMessage(const std::string& message) {
    if (message == model_.message) {
        return;
    }
    model_.message = message;
    message_->setText(qs(message));
    layout()->invalidate();
    setFixedHeight(layout()->heightForWidth(width()));
}

void ConfirmDialog::choose(bool answer) {
    if (answered_) {
        return;
    }
    answered_ = true;
    model_.confirmed = answer;
    hide();
    if (loop_) {
        loop_->quit();
    }
    if (auto chosen = std::move(onChoose)) {
        onChoose = nullptr;
        chosen(answer);
    }
}

void ConfirmDialog::showFocus() {
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        buttons_[i]->setFocused(static_cast<int>(i) == model_.focus);
    }
    buttons_[static_cast<std::size_t>(model_.focus)]->setFocus(Qt::OtherFocusReason);
}

void ConfirmDialog::trace(const std::string& what) const {
    if (services_.trace) {
        services_.trace(ConfirmKeys::traceLine(model_, what));
    }
}

void ConfirmDialog::handleKey(const DashboardKey& key) {
    using Kind = ConfirmKeys::Outcome::Kind;
    const auto outcome = ConfirmKeys::handle(model_, key);
    switch (outcome.kind) {
        case Kind::moved:
            showFocus();
            break;
        case Kind::chose:
            choose(outcome.answer);
            break;
        case Kind::ignored:
            break;
        case Kind::beep:
            QApplication::beep();
            break;
    }
    trace("key " + std::to_string(key.keyCode));
}

bool ConfirmDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched != windowHandle() ||
        (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)) {
        return QWidget::eventFilter(watched, event);
    }
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    const auto key = SettingsKeyInput::from(
        *keyEvent, services_.keyboardLayout ? services_.keyboardLayout() : nullptr);
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();  // every key of the dialog is the dialog's
        return true;
    }
    if (key) {
        handleKey(*key);
    }
    return true;
}

void ConfirmDialog::closeEvent(QCloseEvent* event) {
    // The window manager's close counts as Cancel, and ends a modal loop.
    event->accept();
    choose(false);
}

void ConfirmDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), dark_ ? qColor(Suite::slate) : qColor(Suite::paper));
}

}  // namespace ovra
