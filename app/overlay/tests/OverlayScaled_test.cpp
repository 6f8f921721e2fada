// The painted overlay where the screen's pixels are not the overlay's: at a device pixel ratio of
// 2 the holes show the grabbed screen at their own place and a scroll pill keeps the room of its
// label; on a small screen at a large text size the information panel stays on the screen and
// keeps off the chosen control; and labels of any length are cut before they are laid out.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>

#include "PlanFixture.h"
#include "app/overlay/OverlayLayout.h"
#include "app/overlay/OverlayPanel.h"
#include "app/overlay/TextBlock.h"
#include "platform/scheduler/ManualScheduler.h"

namespace ovra {
namespace {

class OverlayScaledTest : public ::testing::Test {
  protected:
    void show(const FocusPlan& plan, int width, int height) {
        model_.setPhase(OverlayPhase::ready(plan));
        model_.setIslandOpen(true);
        panel_.resize(width, height);
        panel_.show();
        settle();
    }
    void settle() {
        QApplication::processEvents();
        scheduler_.advance(1);
        QApplication::processEvents();
    }

    OverlayModel model_;
    ManualScheduler scheduler_;
    PointerIntent pointer_;
    OverlayPanel panel_{model_, scheduler_, pointer_, [](const std::string&) {}, [] {}};
};

// The screen as grabbed at a ratio of 2: one colour per 100 device pixels each way.
QColor tile(int x, int y) {
    return QColor(40 * (x / 100 % 6), 40 * (y / 100 % 6), 200);
}

TEST_F(OverlayScaledTest, AtRatioTwoHolesShowTheScreenWhereTheyAre) {
    // A control at device pixels 1000,1000 360x160 sits at 500,500 180x80 in the overlay.
    FocusPlan plan = testing::plan({"B c1 Print"});
    plan.items[0].candidate.frame = Rect(1000, 1000, 360, 160);
    model_.mapRect = OverlaySpace::mapping(Rect(0, 0, 2560, 2048), 2);
    show(plan, 1280, 1024);

    QImage backdrop(2560, 2048, QImage::Format_RGB32);
    for (int y = 0; y < backdrop.height(); ++y) {
        for (int x = 0; x < backdrop.width(); ++x) {
            backdrop.setPixelColor(x, y, tile(x, y));
        }
    }
    backdrop.setDevicePixelRatio(2);  // as a grab at that ratio comes
    for (const bool kept : {false, true}) {
        OverlayPaintCache cache;
        QImage image(2560, 2048, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            OverlayPainter::paint(painter, panel_.view().scene(), {}, &backdrop,
                                  kept ? &cache : nullptr);
        }
        for (const QPoint at : {QPoint(1040, 1040), QPoint(1180, 1080), QPoint(1320, 1120)}) {
            EXPECT_EQ(image.pixelColor(at), tile(at.x(), at.y()))
                << at.x() << "," << at.y() << (kept ? " kept" : "");
        }
        // Away from the hole the same screen, dimmed.
        EXPECT_NEAR(image.pixelColor(2000, 1300).red(), tile(2000, 1300).red() * 0.22, 2);
    }
}

TEST_F(OverlayScaledTest, AtRatioTwoAScrollPillKeepsTheRoomOfItsLabel) {
    // The reading makes "More below" 250x52 (text size 1) at the foot of a page that ends at
    // device pixel 1000.
    FocusPlan plan = testing::plan({"B c1 Send"});
    plan = plan.addingScrollItems({.moreBelow = true}, Rect(0, 100, 1280, 900), {250, 52});
    model_.mapRect = OverlaySpace::mapping(Rect(0, 0, 1280, 1024), 2);
    show(plan, 640, 512);

    ASSERT_EQ(panel_.view().scene().scrollPills.size(), 1u);
    const Rect pill = panel_.view().scene().scrollPills[0].rect;
    EXPECT_EQ(pill, Rect(195, 432, 250, 52));  // centred, 16 above the page's foot at 500

    model_.mapRect = OverlaySpace::mapping(Rect(0, 0, 1280, 1024), 1);
    show(plan, 1280, 1024);
    EXPECT_EQ(panel_.view().scene().scrollPills[0].rect, Rect(515, 932, 250, 52));
}

TEST_F(OverlayScaledTest, ThePanelStaysOnASmallScreenAtTheLargestTextSize) {
    FocusPlan plan = testing::plan(
        {"B c1 Accept all and continue to the article", "B c2 Reject all", "A c3 Help"});
    plan.items[0].explanation = std::string(600, 'x') + " why this one";
    model_.textScale = 2;
    model_.setSidebar(true);
    show(plan, 1024, 600);
    const auto onScreen = [&] {
        const Rect frame = panel_.view().scene().hudPlacement.frame;
        return frame.minX() >= 0 && frame.minY() >= 0 && frame.maxX() <= 1024 &&
               frame.maxY() <= 600;
    };
    EXPECT_TRUE(onScreen());
    model_.setExplainID("c1");  // the longest the panel gets: an explanation
    settle();
    EXPECT_TRUE(onScreen());
    model_.setPhase(OverlayPhase::message(std::string(3000, 'w') + " a message"));
    settle();
    EXPECT_TRUE(onScreen());
}

// On 1024x600 at text size 2, wherever the chosen control stands, the panel with a two-line
// notice moves or shrinks off it; without the notice too.
TEST_F(OverlayScaledTest, ThePanelNeverCoversTheChosenControlOnASmallScreen) {
    FocusPlan plan = testing::plan({"B c1 Save", "B c2 Send", "B c3 Share", "B c4 Print"});
    const double rows[] = {20, 130, 230, 280, 330, 430, 520};
    for (const double y : rows) {
        for (const bool notice : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "control at y " << y << " notice " << notice);
            plan.items[2].candidate.frame = Rect(420, y, 160, 44);
            model_.textScale = 2;
            show(plan, 1024, 600);
            model_.select(2);
            if (notice) {
                model_.setNotice(
                    "The control went away before it was pressed, so nothing was pressed. "
                    "Choose again.");
            }
            settle();
            const OverlayScene& scene = panel_.view().scene();
            const Ring* ring = nullptr;
            for (const Ring& each : scene.rings) {
                ring = each.id == "c3" ? &each : ring;
            }
            ASSERT_NE(ring, nullptr);
            EXPECT_FALSE(scene.hudPlacement.frame.intersects(ring->rect))
                << scene.hudPlacement.frame << " over " << ring->rect;
            EXPECT_GE(scene.hudPlacement.frame.minY(), 0);
            EXPECT_LE(scene.hudPlacement.frame.maxY(), 600);
        }
    }
}

TEST_F(OverlayScaledTest, HugeLabelsAreCutBeforeTheyAreLaidOut) {
    const std::string huge(1'000'000, 'a');
    std::vector<std::string> lines;
    for (int i = 1; i <= 20; ++i) {
        lines.push_back("B c" + std::to_string(i) + " " + huge + " " + std::to_string(i));
    }
    model_.setSidebar(true);
    show(testing::plan(lines), 1280, 1024);

    // The sidebar's rows, the overlay's controls and the panel: named, all, none whole.
    const std::vector<AccessibleElement>& rows =
        panel_.view().sidebar()->list()->accessibleElements();
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const auto& e) { return e.selectable; }),
              20);
    for (const AccessibleElement& row : rows) {
        EXPECT_LT(row.name.size(), 4000) << row.name.left(40).toStdString();
    }
    for (const AccessibleControl& control : panel_.view().scene().controls) {
        EXPECT_LT(control.name.size(), 4000u);
    }
    EXPECT_LT(panel_.view().scene().hud.label.size(), 4000u);

    // A block of two lines lays out only what two lines can hold, and shows it is cut.
    const QFont font("DejaVu Sans", 16);
    const TextBlock block = TextBlock::wrap(QString::fromStdString(huge), font, Qt::white, 300, 2);
    ASSERT_EQ(block.lines.size(), 2u);
    EXPECT_TRUE(block.lines.back().endsWith(QChar(0x2026)));
    EXPECT_LT(TextBlock::cut(QString::fromStdString(huge), font, 300, 2).size(), 1000);
    const QString face = QString::fromUtf8("😀").repeated(5000);
    const QString cut = TextBlock::cut(face, font, 300, 2);
    EXPECT_LT(cut.size(), face.size());
    EXPECT_FALSE(cut.at(cut.size() - 2).isHighSurrogate());  // never half a character
    EXPECT_EQ(TextBlock::cut("Send", font, 300, 2), "Send");
}

}  // namespace
}  // namespace ovra
