#include "app/overlay/StyleKit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAccessible>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <limits>

#include "app/overlay/Suite.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(RuledPaper, RulesStandAtWholeMultiplesOfTheLineHeight) {
    EXPECT_THAT(RuledPaperRules::positions(100, 24), ElementsAre(24, 48, 72, 96));
    EXPECT_THAT(RuledPaperRules::positions(20, 24), IsEmpty());
    EXPECT_THAT(RuledPaperRules::positions(96, 24), ElementsAre(24, 48, 72));
    // Adding 0.1 ten times stays below 1 and would add a tenth rule.
    EXPECT_EQ(RuledPaperRules::positions(1, 0.1).size(), 9u);
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {0.0, -24.0, std::nan(""), inf}) {
        EXPECT_THAT(RuledPaperRules::positions(100, bad), IsEmpty()) << bad;
    }
    EXPECT_EQ(RuledPaperRules::positions(1e9, 1e-9).size(),
              static_cast<std::size_t>(RuledPaperRules::maxRules));
}

TEST(RuledPaper, RendersRulesAndTheMarginOnce) {
    for (bool dark : {false, true}) {
        RuledPaper paper(dark, 24, 30);
        QImage image(200, 100, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        paper.paint(painter, QSizeF(200, 100), 1);
        painter.end();
        EXPECT_NEAR(image.pixelColor(100, 48).alphaF(), paper.ruleColor().alphaF(), 0.01);
        EXPECT_EQ(image.pixelColor(100, 40).alpha(), 0);  // between rules
        EXPECT_GT(image.pixelColor(30, 10).alpha(), 0);   // the margin
        // The cached drawing is reused for the same size and look.
        const qint64 first = paper.pixmap(QSizeF(200, 100), 1).cacheKey();
        EXPECT_EQ(paper.pixmap(QSizeF(200, 100), 1).cacheKey(), first);
        EXPECT_NE(paper.pixmap(QSizeF(200, 100), 2).cacheKey(), first);
    }
}

TEST(Kicker, UpperCasesByTheLocaleAndIsAHeading) {
    EXPECT_EQ(Kicker::upperCased("find", QLocale(QLocale::English)), "FIND");
    EXPECT_EQ(Kicker::upperCased("find", QLocale(QLocale::Turkish)), QString::fromUtf8("FİND"));
    Kicker kicker("on this page", true, 1);
    EXPECT_EQ(kicker.text(), "ON THIS PAGE");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&kicker)->role(), QAccessible::Heading);
}

}  // namespace
}  // namespace ovra
