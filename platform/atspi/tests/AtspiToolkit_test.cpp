#include "platform/atspi/AtspiToolkit.h"

#include <gtest/gtest.h>

namespace ovra::atspi {
namespace {

TEST(Toolkit, QuirksFollowTheNameAndTheMajorVersion) {
    const Toolkit gtk3 = toolkitOf("gtk", "3.24.38");
    const Toolkit gtk4 = toolkitOf("GTK", "4.8.3");
    EXPECT_TRUE(gtk3.answersGetAll && gtk4.answersGetAll);
    EXPECT_FALSE(gtk3.windowRelativeExtents || gtk3.typeNamesAsNames || gtk3.labelsCountTwice);
    EXPECT_TRUE(gtk4.windowRelativeExtents && gtk4.typeNamesAsNames && gtk4.labelsCountTwice);
    EXPECT_EQ(gtk4.minor, 8);
    for (const Toolkit& browser : {toolkitOf("Gecko", "153.8.0"), toolkitOf("Chromium", "1.0")}) {
        EXPECT_TRUE(browser.answersGetAll && browser.isBrowser && !browser.pagesUnderTabs);
    }
    // Qt ends on the bulk read, and anything unknown is treated like it.
    for (const Toolkit& safe :
         {toolkitOf("Qt", "6.4.2"), toolkitOf("", ""), toolkitOf("VCL", "")}) {
        EXPECT_FALSE(safe.answersGetAll || safe.isBrowser || safe.windowRelativeExtents);
    }
}

TEST(Toolkit, TellsTypeNamesFromWordsAndUndoublesNames) {
    for (const char* type : {"GtkButton", "AdwGizmo", "GtkSourceView", "HistoryView"}) {
        EXPECT_TRUE(isTypeName(type, false)) << type;
    }
    for (const char* words : {"Undo", "OK", "Save As", "x2", "iPhone", "Pi [Ctrl+P]", "9"}) {
        EXPECT_FALSE(isTypeName(words, false)) << words;
    }
    // A label's name is its text: only the toolkit's own types count there.
    EXPECT_TRUE(isTypeName("GtkLabel", true));
    EXPECT_FALSE(isTypeName("HistoryView", true));

    EXPECT_EQ(undoubled("9 9"), "9");
    EXPECT_EQ(undoubled("÷ ÷"), "÷");
    EXPECT_EQ(undoubled("Save As Save As"), "Save As");
    for (const char* once : {"9", "9 8", "Save", "ab ab ", ""}) {
        EXPECT_EQ(undoubled(once), std::nullopt) << once;
    }
}

TEST(Toolkit, AWindowDrawnSmallerThanItsXWindowIsCentredInIt) {
    EXPECT_EQ(windowOrigin(Rect(300, 200, 365, 496), Size{355, 486}), (Point{305, 205}));
    EXPECT_EQ(windowOrigin(Rect(300, 200, 355, 486), Size{355, 486}), (Point{300, 200}));
    // A window that reports itself larger than its X window is not moved left or up.
    EXPECT_EQ(windowOrigin(Rect(10, 20, 100, 100), Size{120, 130}), (Point{10, 20}));
}

}  // namespace
}  // namespace ovra::atspi
