#include "app/settings/instructions/InstructionsPaneView.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "app/settings/instructions/FeatureSketch.h"
#include "app/settings/instructions/InstructionsPane.h"
#include "app/settings/instructions/KeyChips.h"
#include "app/settings/views/AccessibleStop.h"
#include "app/settings/views/SettingsPaint.h"
#include "core/OvraText.h"
#include "platform/qt/QtText.h"

namespace ovra {

// Text or a picture as screen readers see it, laid over what the pane paints.
class AccessibleBlock final : public QWidget, public AccessibleStop {
  public:
    AccessibleBlock(QAccessible::Role role, QWidget* parent) : QWidget(parent), role_(role) {
        installStopAccessibility();
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }
    void setName(const std::string& name) { name_ = qs(name); }
    QAccessible::Role stopRole() const override { return role_; }
    QString stopName() const override { return name_; }
    bool stopIsStatic() const override { return true; }
    void stopPress() override {}

  private:
    QAccessible::Role role_;
    QString name_;
};

// The feature list as a keyboard stop: one container that holds the keyboard focus while the
// list has the settings focus; the feature shown changes in place and is announced.
class FeatureListStop final : public QWidget, public AccessibleStop {
  public:
    explicit FeatureListStop(QWidget* parent) : QWidget(parent) {
        installStopAccessibility();
        // The window gives it the focus; a click in its margin does not.
        setFocusPolicy(Qt::NoFocus);
    }
    void setShown(OvraFeature feature) {
        const auto& all = OvraFeature::allCases();
        const auto at = std::find(all.begin(), all.end(), feature) - all.begin() + 1;
        description_ =
            qs(OvraText::f("%@, %lld of %lld", {feature.title(), static_cast<std::int64_t>(at),
                                                static_cast<std::int64_t>(all.size())}));
    }
    QAccessible::Role stopRole() const override { return QAccessible::List; }
    QString stopName() const override { return qs(OvraText::t("Features")); }
    QString stopDescription() const override { return description_; }
    void stopPress() override {}

  private:
    QString description_;
};

// One entry of the list: a click chooses it and focuses the list; a screen reader's press
// chooses it and leaves the keyboard focus where it is.
class FeatureRowButton final : public QWidget, public AccessibleStop {
  public:
    FeatureRowButton(OvraFeature feature, const InstructionsPaneView::Actions& actions,
                     QWidget* parent)
        : QWidget(parent), feature_(feature), actions_(actions) {
        installStopAccessibility();
        setFocusPolicy(Qt::NoFocus);
    }
    void setSelected(bool selected) { selected_ = selected; }
    QAccessible::Role stopRole() const override { return QAccessible::Button; }
    QString stopName() const override { return qs(feature_.title()); }
    std::optional<bool> stopSelected() const override { return selected_; }
    void stopPress() override { actions_.choose(feature_, false); }

  protected:
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            actions_.choose(feature_, true);
        }
    }

  private:
    OvraFeature feature_;
    const InstructionsPaneView::Actions& actions_;
    bool selected_ = false;
};

namespace {

QFont paneFont(double size, QFont::Weight weight = QFont::Normal) {
    return styleFont(size, weight);
}

qreal textHeight(const std::string& text, const QFont& f, qreal width) {
    return std::ceil(SettingsPaint::wrappedHeight(qs(text), f, width));
}

// Items of the given sizes laid in lines of at most `width`, each line centred vertically;
// returns the items' top-left corners and the height used.
qreal flow(const std::vector<QSizeF>& sizes, QPointF origin, qreal width, qreal spacing,
           qreal lineGap, std::vector<QPointF>& places) {
    places.assign(sizes.size(), origin);
    qreal y = origin.y();
    std::size_t first = 0;
    while (first < sizes.size()) {
        std::size_t last = first;
        qreal used = sizes[first].width();
        qreal line = sizes[first].height();
        while (last + 1 < sizes.size() && used + spacing + sizes[last + 1].width() <= width) {
            ++last;
            used += spacing + sizes[last].width();
            line = std::max(line, sizes[last].height());
        }
        qreal x = origin.x();
        for (std::size_t i = first; i <= last; ++i) {
            places[i] = QPointF(x, y + (line - sizes[i].height()) / 2);
            x += sizes[i].width() + spacing;
        }
        y += line + (last + 1 < sizes.size() ? lineGap : 0);
        first = last + 1;
    }
    return y - origin.y();
}

QColor tint(bool dark) {
    return dark ? qColor(Suite::signal, 0.13) : qColor(Suite::ember, 0.1);
}
QColor accentHalf(bool dark) {
    return dark ? qColor(Suite::signal, 0.5) : qColor(Suite::ember, 0.5);
}

void roundedBox(QPainter& painter, const QRectF& r, qreal radius, const QBrush& fill,
                const QColor& stroke) {
    painter.setPen(stroke == Qt::transparent ? QPen(Qt::NoPen) : QPen(stroke, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

}  // namespace

struct InstructionsPaneView::Layout {
    qreal height = 0;
    // The basics bar and its pairs: chip texts, words, where each goes.
    QRectF bar;
    std::vector<std::pair<std::string, std::string>> pairs;
    std::vector<QPointF> pairPlaces;
    // The list and its rows.
    QRectF list;
    std::array<QRectF, 9> rows;
    std::array<qreal, 9> rowTitleHeights{};
    // The card and its parts.
    QRectF card, icon, title, chips, sentence, sketch, note, button;
    std::vector<InstructionsPane::Chip> chipList;
    std::vector<QPointF> chipPlaces;
    std::array<QRectF, 3> stepCircles, stepTexts;
    std::array<std::string, 3> steps;
    std::optional<std::string> noteText;
    std::string sentenceText;
};

InstructionsPaneView::InstructionsPaneView(HoverIntent& hover, Actions actions, QWidget* parent)
    : QWidget(parent), actions_(std::move(actions)) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    // Screen readers meet the children in reading order.
    basics_ = new AccessibleBlock(QAccessible::StaticText, this);
    list_ = new FeatureListStop(this);
    for (const OvraFeature feature : OvraFeature::allCases()) {
        rows_.push_back(new FeatureRowButton(feature, actions_, list_));
    }
    title_ = new AccessibleBlock(QAccessible::Heading, this);
    chips_ = new AccessibleBlock(QAccessible::StaticText, this);
    sentence_ = new AccessibleBlock(QAccessible::StaticText, this);
    sketch_ = new AccessibleBlock(QAccessible::Graphic, this);
    for (auto& step : steps_) {
        step = new AccessibleBlock(QAccessible::StaticText, this);
    }
    note_ = new AccessibleBlock(QAccessible::StaticText, this);
    button_ = new CardButton(
        hover, [this] { actions_.focus("instr.read"); }, [this] { actions_.read(state_.feature); },
        this);
    setState(state_);  // every element has its name before the first showing
}

InstructionsPaneView::~InstructionsPaneView() = default;

void InstructionsPaneView::setState(State state) {
    const bool reshaped = state.feature != state_.feature || state.scale != state_.scale ||
                          state.hotkey != state_.hotkey || !(state.dictation == state_.dictation);
    state_ = std::move(state);
    const State& s = state_;
    const OvraFeature f = s.feature;
    basics_->setName(InstructionsPane::basicsLabel(s.hotkey));
    list_->setShown(f);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        rows_[i]->setSelected(OvraFeature::allCases()[i] == f);
    }
    title_->setName(f.title());
    chips_->setName(InstructionsPane::chipsLabel(f, s.hotkey, s.dictation));
    sentence_->setName(f.sentence(s.dictation));
    sketch_->setName(FeatureSketch::label(f));
    const auto steps = f.steps(s.hotkey, s.dictation);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        steps_[i]->setName(std::to_string(i + 1) + ". " + steps[i]);
    }
    note_->setName(f.tryNote().value_or(""));
    note_->setVisible(f.tryNote().has_value());
    const auto read = InstructionsPane::readButton(f, s.reading);
    button_->setLook(
        {read.title, read.symbol, read.primary, s.focusID == "instr.read", s.dark, s.scale});
    if (reshaped) {
        updateGeometry();
    }
    place();
    update();
}

QWidget* InstructionsPaneView::stopWidget(const std::string& id) const {
    if (id == "instr.list") {
        return list_;
    }
    if (id == "instr.read") {
        return button_;
    }
    return nullptr;
}

InstructionsPaneView::Layout InstructionsPaneView::layout(qreal width) const {
    Layout g;
    const State& st = state_;
    const double s = st.scale;
    const OvraFeature f = st.feature;

    // The basics bar: its pairs in lines across the whole width.
    g.pairs = InstructionsPane::basics(st.hotkey);
    std::vector<QSizeF> sizes;
    const QFontMetricsF words(paneFont(14 * s, QFont::Medium));
    for (const auto& [chip, word] : g.pairs) {
        const QSizeF cap = KeyChip(chip, std::nullopt, st.dark, s).size();
        sizes.emplace_back(cap.width() + 6 * s + std::ceil(words.horizontalAdvance(qs(word))),
                           std::max(cap.height(), words.height()));
    }
    const qreal barInner = std::max<qreal>(1, width - 24 * s);
    const qreal barHeight =
        flow(sizes, QPointF(12 * s, 12 * s), barInner, 14 * s, 8 * s, g.pairPlaces);
    g.bar = QRectF(0, 0, width, barHeight + 24 * s);
    const qreal top = g.bar.bottom() + 20 * s;

    // The list: nine rows, each at least 40 high; the card beside it where both have room,
    // else the list across the whole width and the card under it.
    const bool beside = width >= 480 * s;
    const qreal listWidth = beside ? 230 * s : width;
    const QFontMetricsF number(paneFont(10 * s, QFont::DemiBold));
    const qreal numberWidth = std::ceil(number.horizontalAdvance(QStringLiteral("9")));
    const qreal titleWidth = listWidth - 16 * s - 20 * s - 24 * s - 10 * s - 10 * s - numberWidth;
    qreal y = top + 8 * s;
    for (std::size_t i = 0; i < g.rows.size(); ++i) {
        const OvraFeature row = OvraFeature::allCases()[i];
        const QFont titleFont = paneFont(14.5 * s, row == f ? QFont::DemiBold : QFont::Normal);
        g.rowTitleHeights[i] = textHeight(row.title(), titleFont, titleWidth);
        const qreal h = std::max(40 * s, g.rowTitleHeights[i] + 18 * s);
        g.rows[i] = QRectF(8 * s, y, listWidth - 16 * s, h);
        y += h + (i + 1 < g.rows.size() ? 4 * s : 0);
    }
    g.list = QRectF(0, top, listWidth, y + 8 * s - top);

    // The card.
    const qreal cardX = beside ? listWidth + 20 * s : 0;
    const qreal cardTop = beside ? top : g.list.bottom() + 20 * s;
    const qreal inner = std::max<qreal>(60, width - cardX - 40 * s);
    const qreal x = cardX + 20 * s;
    y = cardTop + 20 * s;
    const qreal gap = 14 * s;
    const qreal titleHeight =
        textHeight(f.title(), paneFont(22 * s, QFont::Bold), inner - 38 * s - 12 * s);
    const qreal headerHeight = std::max(38 * s, titleHeight);
    g.icon = QRectF(x, y + (headerHeight - 38 * s) / 2, 38 * s, 38 * s);
    g.title = QRectF(x + 50 * s, y + (headerHeight - titleHeight) / 2, inner - 50 * s, titleHeight);
    y += headerHeight + gap;

    g.chipList = InstructionsPane::chips(f, st.hotkey, st.dictation);
    const QFontMetricsF plus(paneFont(14 * s, QFont::DemiBold));
    sizes.clear();
    for (const auto& chip : g.chipList) {
        QSizeF size = KeyChip(chip.label, chip.symbol, st.dark, s).size();
        if (chip.plusBefore) {
            size.setWidth(size.width() + plus.horizontalAdvance(QStringLiteral("+")) + 8 * s);
        }
        sizes.push_back(size);
    }
    const qreal chipsHeight = flow(sizes, QPointF(x, y), inner, 8 * s, 6 * s, g.chipPlaces);
    g.chips = QRectF(x, y, inner, chipsHeight);
    y += chipsHeight + gap;

    g.sentenceText = f.sentence(st.dictation);
    const qreal sentenceHeight = textHeight(g.sentenceText, paneFont(16 * s), inner);
    g.sentence = QRectF(x, y, inner, sentenceHeight);
    y += sentenceHeight + gap;

    const qreal sketchWidth = std::min(inner, 440 * s);
    g.sketch = FeatureSketch::frame(sketchWidth).translated(x + (inner - sketchWidth) / 2, y);
    y += g.sketch.height() + gap;

    g.steps = f.steps(st.hotkey, st.dictation);
    const QFont stepFont = paneFont(15 * s);
    const qreal firstLine = QFontMetricsF(stepFont).height();
    for (std::size_t i = 0; i < g.steps.size(); ++i) {
        const qreal h = textHeight(g.steps[i], stepFont, inner - 36 * s);
        // The number's circle sits on the step's first line.
        const qreal textTop = y + std::max<qreal>(0, (26 * s - firstLine) / 2);
        g.stepCircles[i] = QRectF(x, textTop + firstLine / 2 - 13 * s, 26 * s, 26 * s);
        g.stepTexts[i] = QRectF(x + 36 * s, textTop, inner - 36 * s, h);
        y = std::max(g.stepCircles[i].bottom(), g.stepTexts[i].bottom()) +
            (i + 1 < g.steps.size() ? 10 * s : 0);
    }
    y += gap;

    g.noteText = f.tryNote();
    if (g.noteText) {
        const qreal h = textHeight(*g.noteText, paneFont(13.5 * s), inner);
        g.note = QRectF(x, y, inner, h);
        y += h + gap;
    }

    const QSize button = button_->sizeHint();
    const qreal reach = SettingsPaint::kRingReach;
    g.button = QRectF(x - reach, y - reach, button.width(), button.height());
    y += button.height() - 2 * reach + 20 * s;
    g.card = QRectF(cardX, cardTop, width - cardX, y - cardTop);
    g.height = std::ceil(std::max(g.card.bottom(), g.list.bottom()));
    return g;
}

int InstructionsPaneView::heightForWidth(int width) const {
    return static_cast<int>(layout(width).height);
}

QSize InstructionsPaneView::sizeHint() const {
    const int w = std::max(width(), 600);
    return {w, heightForWidth(w)};
}

QSize InstructionsPaneView::minimumSizeHint() const {
    return {static_cast<int>(280 * state_.scale), 0};
}

void InstructionsPaneView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place();
}

void InstructionsPaneView::place() {
    const Layout g = layout(width());
    basics_->setGeometry(g.bar.toRect());
    list_->setGeometry(g.list.toRect());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        rows_[i]->setGeometry(g.rows[i].translated(-g.list.topLeft()).toRect());
    }
    title_->setGeometry(g.title.toAlignedRect());
    chips_->setGeometry(g.chips.toAlignedRect());
    sentence_->setGeometry(g.sentence.toAlignedRect());
    sketch_->setGeometry(g.sketch.toAlignedRect());
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        steps_[i]->setGeometry(g.stepCircles[i].united(g.stepTexts[i]).toAlignedRect());
    }
    note_->setGeometry(g.note.toAlignedRect());
    button_->setGeometry(g.button.toRect());
}

void InstructionsPaneView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const State& st = state_;
    const double s = st.scale;
    const bool dark = st.dark;
    const Tone tone{dark};
    const Layout g = layout(width());

    // The basics.
    roundedBox(painter, g.bar, 14, tint(dark), accentHalf(dark));
    const QFont wordFont = paneFont(14 * s, QFont::Medium);
    for (std::size_t i = 0; i < g.pairs.size(); ++i) {
        const KeyChip cap(g.pairs[i].first, std::nullopt, dark, s);
        const QSizeF size = cap.size();
        const QPointF at = g.pairPlaces[i];
        cap.paint(painter, at);
        SettingsPaint::drawWrapped(
            painter, QRectF(at.x() + size.width() + 6 * s, at.y(), 400 * s, size.height()),
            qs(g.pairs[i].second), wordFont, tone.ink(), Qt::AlignLeft | Qt::AlignVCenter);
    }

    // The list.
    roundedBox(painter, g.list, 14, dark ? qColor(Suite::slateNight) : qColor(Suite::paperNight),
               tone.hairline());
    const bool listFocused = st.focusID == "instr.list";
    const QFont numberFont = paneFont(10 * s, QFont::DemiBold);
    for (std::size_t i = 0; i < g.rows.size(); ++i) {
        const OvraFeature row = OvraFeature::allCases()[i];
        const bool selected = row == st.feature;
        const QRectF r = g.rows[i];
        if (selected) {
            roundedBox(painter, r, 10, tint(dark), accentHalf(dark));
        }
        const QColor ink = selected ? tone.accentInk() : tone.ink();
        const QRectF icon(r.left() + 10 * s, r.center().y() - 12 * s, 24 * s, 24 * s);
        SettingsPaint::symbol(painter, row.symbol(), icon,
                              selected ? tone.accentInk() : tone.secondary(), 14 * s * 1.25);
        const QRectF number(r.right() - 10 * s - 20 * s, r.top(), 20 * s, r.height());
        SettingsPaint::drawWrapped(painter, number, QString::number(i + 1), numberFont,
                                   tone.secondary(), Qt::AlignRight | Qt::AlignVCenter);
        const qreal titleLeft = icon.right() + 10 * s;
        const qreal titleWidth = r.right() - 10 * s - titleLeft - 4 * s -
                                 QFontMetricsF(numberFont).horizontalAdvance(QStringLiteral("9"));
        SettingsPaint::drawWrapped(
            painter,
            QRectF(titleLeft, r.center().y() - g.rowTitleHeights[i] / 2, titleWidth,
                   g.rowTitleHeights[i]),
            qs(row.title()), paneFont(14.5 * s, selected ? QFont::DemiBold : QFont::Normal), ink);
        SettingsPaint::focusRing(painter, r, 10, listFocused && selected, dark);
    }

    // The card.
    roundedBox(painter, g.card, 16, dark ? QColor::fromRgbF(0, 0, 0, 0.3F) : QColor(Qt::white),
               tone.hairline());
    painter.setPen(Qt::NoPen);
    painter.setBrush(tint(dark));
    painter.drawEllipse(g.icon);
    SettingsPaint::symbol(painter, st.feature.symbol(), g.icon, tone.accentInk(), 18 * s * 1.25);
    SettingsPaint::drawWrapped(painter, g.title, qs(st.feature.title()),
                               paneFont(22 * s, QFont::Bold), tone.ink());
    const QFont plusFont = paneFont(14 * s, QFont::DemiBold);
    for (std::size_t i = 0; i < g.chipList.size(); ++i) {
        const auto& chip = g.chipList[i];
        QPointF at = g.chipPlaces[i];
        const KeyChip cap(chip.label, chip.symbol, dark, s);
        if (chip.plusBefore) {
            const qreal plus = QFontMetricsF(plusFont).horizontalAdvance(QStringLiteral("+"));
            SettingsPaint::drawWrapped(painter, QRectF(at.x(), at.y(), plus, cap.size().height()),
                                       QStringLiteral("+"), plusFont, tone.secondary(),
                                       Qt::AlignLeft | Qt::AlignVCenter);
            at.rx() += plus + 8 * s;
        }
        cap.paint(painter, at);
    }
    SettingsPaint::drawWrapped(painter, g.sentence, qs(g.sentenceText), paneFont(16 * s),
                               tone.ink());
    FeatureSketch::paint(painter, g.sketch, st.feature, dark);
    for (std::size_t i = 0; i < g.steps.size(); ++i) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(tint(dark));
        painter.drawEllipse(g.stepCircles[i]);
        SettingsPaint::drawWrapped(painter, g.stepCircles[i], QString::number(i + 1),
                                   paneFont(14 * s, QFont::Bold), tone.accentInk(),
                                   Qt::AlignCenter);
        SettingsPaint::drawWrapped(painter, g.stepTexts[i], qs(g.steps[i]), paneFont(15 * s),
                                   tone.ink());
    }
    if (g.noteText) {
        SettingsPaint::drawWrapped(painter, g.note, qs(*g.noteText), paneFont(13.5 * s),
                                   tone.secondary());
    }
}

}  // namespace ovra
