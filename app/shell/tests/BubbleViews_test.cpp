// What the on-screen button, the flight trail and the permission guide draw, and what a click
// and a screen reader find in them (offscreen Qt).

#include <gtest/gtest.h>

#include <QLabel>
#include <QPainter>
#include <QTest>

#include "app/overlay/StyleKit.h"
#include "app/overlay/Suite.h"
#include "app/shell/BubbleWindow.h"
#include "app/shell/FlightTrailWindow.h"
#include "app/shell/PermissionGuideView.h"
#include "platform/scheduler/ManualScheduler.h"

namespace ovra {
namespace {

// Whether the bird (white) shows inside `box`.
bool whiteIn(const QImage& image, QRect box) {
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 200 && c.red() > 220 && c.green() > 220 && c.blue() > 220) {
                return true;
            }
        }
    }
    return false;
}

bool dark(QColor c) {
    return c.alpha() > 200 && c.red() < 60 && c.green() < 60 && c.blue() < 60;
}

TEST(BubbleWindow, DrawsTheButtonAgainstItsEdgeAndTakesClicksOnItsPadding) {
    int clicks = 0;
    BubbleWindow window([&clicks] { ++clicks; });
    for (const bool onLeft : {false, true}) {
        SCOPED_TRACE(onLeft);
        window.present(Rect(0, 0, 96, 96), 80, onLeft);
        const QImage image = window.render();
        const int centre = onLeft ? 40 : 56;
        EXPECT_TRUE(dark(image.pixelColor(centre, 14)));     // the disc
        EXPECT_GT(image.pixelColor(centre, 8).blue(), 200);  // the light ring
        EXPECT_TRUE(whiteIn(image, QRect(centre - 20, 30, 40, 40)));
        EXPECT_EQ(image.pixelColor(onLeft ? 92 : 4, 48).alpha(), 0);  // see-through padding
        QTest::mouseClick(&window.button(), Qt::LeftButton, {}, QPoint(onLeft ? 92 : 4, 48));
    }
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(window.accessibleName(), "Murmlark Ovra button");
    EXPECT_EQ(window.button().accessibleName(), "Murmlark Ovra");
    EXPECT_EQ(window.button().accessibleDescription(), "Shows or hides the ovras");
    EXPECT_TRUE(window.testAttribute(Qt::WA_ShowWithoutActivating));
}

TEST(FlightTrailWindow, DrawsTheLineUpToItsProgressWithTheBirdAtItsTip) {
    QImage image(400, 600, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const Point from{100, 550}, to{300, 50};
    {
        QPainter painter(&image);
        FlightTrailWindow::paintTrail(painter, from, to, {0.5, 1, 1}, qColor(Suite::ember));
    }
    const auto drawn = FlightTrail::trimmed(from, to, 0.25).back();
    const QColor line = image.pixelColor(int(drawn.x), int(drawn.y));
    EXPECT_GT(line.red(), 150);
    EXPECT_LT(line.blue(), 120);
    const auto tip = FlightTrail::point(from, to, 0.5);
    EXPECT_TRUE(whiteIn(image, QRect(int(tip.x) - 8, int(tip.y) - 8, 16, 16)));
    EXPECT_EQ(image.pixelColor(int(to.x), int(to.y)).alpha(), 0);  // not drawn yet
}

TEST(PermissionGuideView, FollowsTheScaleAndShowsWhatTheButtonDid) {
    ManualScheduler clock;
    desktop::RecordingAccessibilitySwitch accessibility;
    desktop::RecordingSettingsOpener settings;
    settings.failure = "nothing installed";
    PermissionGuide guide({clock, [] { return false; }, accessibility, settings, {}, {}, {}, {}});
    for (const bool isDark : {false, true}) {
        PermissionGuideView view(guide, 2, isDark);
        view.resize(1600, 1400);
        view.show();
        EXPECT_EQ(view.maximumWidth(), 1640);
        const auto labels = view.findChildren<QLabel*>();
        ASSERT_GE(labels.size(), 6);
        EXPECT_EQ(labels[0]->font().pixelSize(), 56);  // the title
        const QColor subtitle = labels[1]->palette().color(QPalette::WindowText);
        EXPECT_EQ(subtitle, PermissionGuideView::secondaryColor(isDark));
        // The three steps read as one element each, number first; their badges are 64 high.
        std::vector<QString> steps;
        for (QLabel* label : labels) {
            if (label->accessibleName().size() > 2 && label->accessibleName()[1] == '.') {
                steps.push_back(label->accessibleName().left(2));
                EXPECT_GE(label->height(), 64);
            }
        }
        EXPECT_EQ(steps, (std::vector<QString>{"1.", "2.", "3."}));
        EXPECT_EQ(view.statusLine().isVisible(), guide.status().has_value());
        view.button().click();
        EXPECT_TRUE(view.statusLine().isVisible());
        EXPECT_TRUE(view.statusLine().text().contains("nothing installed"));
    }
    EXPECT_EQ(PermissionGuideView::secondaryColor(false), qColor(Suite::ink, 0.62));
    EXPECT_EQ(PermissionGuideView::secondaryColor(true), qColor(Suite::slateMist));
}

}  // namespace
}  // namespace ovra
