// The painted overlay on Qt's offscreen platform: pixels of the dim layer, holes and rings; clicks;
// keys sent to the panel's window; the find field; the sidebar's rows; what screen readers see.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>

#include "PlanFixture.h"
#include "app/overlay/FindField.h"
#include "app/overlay/OverlayPanel.h"
#include "platform/scheduler/ManualScheduler.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;

class OverlayViewTest : public ::testing::Test {
  protected:
    OverlayViewTest() {
        FocusPlan plan = testing::plan(
            {"B c1 Accept all", "B c2 Reject all", "A c3 Help", "S c4 Subscribe to Premium"});
        plan.items[3].reason = "Upsell";
        model_.setPhase(OverlayPhase::ready(plan));
        model_.theme = BeaconTheme::cyan;
        model_.setIslandOpen(true);
        panel_.setKeyHandler([this](const KeyInput& key) {
            keys_.push_back(key.keyCode);
            return key.keyCode == 53;  // Escape is the overlay's; letters go to the field
        });
        panel_.resize(1280, 1024);
        panel_.show();
        settle();
    }
    // Lets the model's changes arrive and the animations run their course.
    void settle() {
        QApplication::processEvents();
        scheduler_.advance(1);
        QApplication::processEvents();
    }
    QImage paint(const QImage* backdrop = nullptr, const OverlayMotionState& motion = {},
                 OverlayPaintCache* cache = nullptr) {
        QImage image(1280, 1024, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        OverlayPainter::paint(painter, panel_.view().scene(), motion, backdrop, cache);
        return image;
    }
    void click(QWidget* widget, QPoint at) { QTest::mouseClick(widget, Qt::LeftButton, {}, at); }

    OverlayModel model_;
    ManualScheduler scheduler_;
    PointerIntent pointer_;
    std::vector<std::string> activated_;
    int dismissed_ = 0;
    std::vector<int> keys_;
    OverlayPanel panel_{model_, scheduler_, pointer_,
                        [this](const std::string& id) { activated_.push_back(id); },
                        [this] { ++dismissed_; }};
};

TEST_F(OverlayViewTest, HolesAreClearTheRestDimmedAndRingsInTheThemeColour) {
    QImage image = paint();
    EXPECT_EQ(qAlpha(image.pixel(180, 120)), 0);  // inside the first control's hole
    const QRgb dimmed = image.pixel(1200, 600);
    EXPECT_NEAR(qAlpha(dimmed), 0.78 * 255, 1);
    EXPECT_EQ(qRed(dimmed), 0);
    const QRgb ring = image.pixel(94, 120);  // on the selected ring's left side: cyan
    EXPECT_EQ(QColor(ring), QColor(51, 230, 255));

    // Without a compositing manager the grabbed screen shows through the hole, dimmed elsewhere.
    QImage backdrop(1280, 1024, QImage::Format_RGB32);
    backdrop.fill(QColor(200, 100, 50));
    image = paint(&backdrop);
    EXPECT_EQ(QColor(image.pixel(180, 120)), QColor(200, 100, 50));
    EXPECT_NEAR(qRed(image.pixel(1200, 600)), 200 * 0.22, 1);
    EXPECT_EQ(qAlpha(image.pixel(1200, 600)), 255);
}

// How far two frames differ: the largest difference of a channel, and how many pixels are off
// by more than a rounding step.
struct Difference {
    int most = 0;
    int pixels = 0;
};

Difference difference(const QImage& a, const QImage& b) {
    Difference d;
    for (int y = 0; y < a.height() && y < b.height(); ++y) {
        for (int x = 0; x < a.width() && x < b.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const int off =
                std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            d.most = std::max(d.most, off);
            d.pixels += off > 2 ? 1 : 0;
        }
    }
    return d;
}

TEST_F(OverlayViewTest, KeptDrawingsPaintTheFramesTheSceneDrawnAnewWould) {
    QImage backdrop(1280, 1024, QImage::Format_RGB32);
    backdrop.fill(QColor(200, 100, 50));
    const QImage* const backdrops[] = {nullptr, &backdrop};
    for (const QImage* under : backdrops) {
        OverlayPaintCache cache;
        for (const double openness : {0.4, 1.0, 1.0, 1.0}) {
            const OverlayMotionState motion{.openness = openness};
            // Drawn anew, then kept as layers, then from the layers.
            // A layer blends the plan's strokes as one: their soft edges come out a little
            // lighter or darker, never a shape missing or cut off.
            const Difference d = difference(paint(under, motion, &cache), paint(under, motion));
            EXPECT_LE(d.most, 32) << "openness " << openness << (under ? ", over a backdrop" : "");
            EXPECT_LT(d.pixels, 5000);
        }
        EXPECT_FALSE(cache.plan.isNull());
    }
}

TEST_F(OverlayViewTest, ClicksPressRingsDismissOnTheDimAndVeilsWaitForShowAll) {
    click(&panel_.view(), {180, 120});
    click(&panel_.view(), {180, 305});  // the veil
    click(&panel_.view(), {1200, 600});
    EXPECT_THAT(activated_, ElementsAre("c1"));
    EXPECT_EQ(dismissed_, 1);
    model_.toggleShowAll();
    settle();
    click(&panel_.view(), {180, 305});
    EXPECT_THAT(activated_, ElementsAre("c1", "c4"));

    // Screen readers see the drawn controls as named buttons.
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(&panel_.view());
    ASSERT_GE(view->childCount(), 4);
    EXPECT_EQ(view->child(1)->text(QAccessible::Name), "2, Reject all, Button");
    EXPECT_EQ(view->child(1)->role(), QAccessible::Button);
    QAccessibleActionInterface* press = view->child(1)->actionInterface();
    ASSERT_NE(press, nullptr);
    press->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(activated_.back(), "c2");
}

TEST_F(OverlayViewTest, KeysReachTheHandlerFirstAndEscapeNeverReachesTheFindField) {
    model_.setSidebar(true);
    model_.startFind();
    settle();
    FindField* field = panel_.view().findField();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(panel_.focusWidget(), field);  // it took the keyboard on coming into the panel
    int fieldKeys = 0;
    struct Counter : QObject {
        int& n;
        explicit Counter(int& count) : n(count) {}
        bool eventFilter(QObject*, QEvent* e) override {
            return n += e->type() == QEvent::KeyPress, false;
        }
    } counter(fieldKeys);
    field->installEventFilter(&counter);
    QTest::keyClick(panel_.windowHandle(), Qt::Key_Escape);
    for (char letter : {'R', 'e', 'j'}) {
        QTest::keyClick(panel_.windowHandle(), letter);
    }
    QTest::keyClick(panel_.windowHandle(), Qt::Key_Shift);  // a modifier alone is never offered
    EXPECT_THAT(keys_,
                ElementsAre(53, KeyInput::unknownKey, KeyInput::unknownKey, KeyInput::unknownKey));
    EXPECT_EQ(fieldKeys, 4);  // the letters and Shift, never Escape
    EXPECT_EQ(model_.query(), "Rej");
    settle();
    EXPECT_EQ(model_.navigationOrder(), std::vector<std::string>{"c2"});

    // A query written elsewhere replaces the text; an equal one leaves the caret alone.
    field->setCursorPosition(1);
    model_.setQuery("Rej");
    settle();
    EXPECT_EQ(field->cursorPosition(), 1);
    EXPECT_TRUE(panel_.sendEditAction(EditAction::selectAll));
    EXPECT_TRUE(panel_.sendEditAction(EditAction::cut));
    EXPECT_EQ(model_.query(), "");
    model_.setQuery("Acc");
    settle();
    EXPECT_EQ(field->text(), "Acc");

    // The focus handshake: only a new request takes the keyboard back.
    panel_.focusContent();
    settle();
    EXPECT_NE(panel_.focusWidget(), field);
    model_.setFindFocusRequest(model_.findFocusRequest() + 1);
    settle();
    EXPECT_EQ(panel_.focusWidget(), field);
}

TEST_F(OverlayViewTest, SidebarRowsSelectOnRealPointerMotionAndPressOnClick) {
    model_.setSidebar(true);
    model_.toggleShowAll();
    settle();
    SidebarList* list = panel_.view().sidebar()->list();
    const std::vector<AccessibleElement> rows = list->accessibleElements();
    ASSERT_EQ(rows.size(), 6u);  // two headings, four rows
    EXPECT_EQ(rows[1].name, "1, Accept all, Button");
    EXPECT_TRUE(rows[1].selected);
    EXPECT_EQ(rows[5].name, "4, Subscribe to Premium, Button");
    const auto move = [&](QPoint local, QPoint global) {
        QMouseEvent event(QEvent::MouseMove, local, global, Qt::NoButton, {}, {});
        QApplication::sendEvent(list, &event);
    };
    const QPoint second = rows[2].rect.center();
    pointer_.record({500, 500});  // a key press with the pointer resting there
    move(second, {500, 500});     // the list moved under the resting pointer
    EXPECT_EQ(model_.selection(), 0);
    move(rows[3].rect.center(), {510, 540});
    EXPECT_EQ(model_.selection(), 2);
    click(list, second);
    EXPECT_EQ(activated_.back(), "c2");
    EXPECT_EQ(model_.selection(), 2);  // a click presses, it does not select
    settle();
    ASSERT_TRUE(panel_.view().scene().connector);
    // From the row to the right edge of a control left of it.
    EXPECT_EQ(panel_.view().scene().connector->end.x, 260);
}

TEST_F(OverlayViewTest, SelectedRingBreathesUnlessMotionIsReduced) {
    model_.pulseEnabled = true;
    panel_.view().relayout();
    EXPECT_TRUE(panel_.view().scene().rings[0].pulses);
    double low = 1;
    double high = 0;
    for (int i = 0; i < 32; ++i) {
        scheduler_.advance(0.1);
        low = std::min(low, panel_.view().motionState().pulse);
        high = std::max(high, panel_.view().motionState().pulse);
    }
    EXPECT_NEAR(low, 0.55, 0.02);
    EXPECT_NEAR(high, 1.0, 0.02);
    panel_.view().setEnvironment({.reduceMotion = true});
    EXPECT_FALSE(panel_.view().scene().rings[0].pulses);
}

}  // namespace
}  // namespace ovra
