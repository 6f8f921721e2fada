#pragma once

// What differs between the toolkits that speak AT-SPI, found from the name and version an
// application gives on its Application interface ("gtk" 3.24.38, "GTK" 4.8.3, "Qt" 5.15.8,
// "Gecko" 153.8.0, "Chromium" 1.0). Pure values and functions, so every quirk has a test.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/FrameScale.h"
#include "core/Rect.h"

namespace ovra::atspi {

struct Toolkit {
    std::string name;
    int major = 0;  // of the version

    // Properties.GetAll on the Accessible interface answers: GTK 3 and 4, Gecko and Chromium
    // were each tried. Qt's bridge dies on it, so any toolkit not known to answer is asked
    // property by property.
    bool answersGetAll = false;
    // A web browser: documents it keeps loaded but does not show (preloaded new tabs, tabs in
    // the background) are VISIBLE without being SHOWING.
    bool isBrowser = false;
    // GTK 4 gives every frame relative to its window, whatever coordinate type is asked.
    bool windowRelativeExtents = false;
    // GTK 4 names a widget that has no label by its type name ("GtkButton").
    bool typeNamesAsNames = false;
    // GTK 4 counts a label twice in a name: once as the element it is labelled by, once more as
    // its content, so a button labelled "9" is named "9 9".
    bool labelsCountTwice = false;
    // Gecko answers the first question about an element's actions with none, while it fetches
    // them (for every element from then on) from the page's process.
    bool actionsComeLate = false;
    // Gecko answers the first questions about a page (its frame, states and name) with blanks, a
    // frame of -1, for a moment, while it fetches them (for every page from then on) likewise.
    bool pagesComeLate = false;
    // Chromium's text leaves offer only their ancestor's press ("clickAncestor") and a context
    // menu: a text node cannot act on its own, so its actions are never asked.
    bool textActsThroughAncestor = false;
    // Chromium gives every element its own action first (its default: click, press, open, or
    // doDefault and clickAncestor, which press nothing of their own) and a context menu second,
    // and answers an element without actions with an error: its actions are read as that first
    // name alone, without asking first whether it has the Action interface.
    bool ownActionFirst = false;
    // Chromium's web document lies in no scroll pane (its frame is the viewport, its content
    // keeps page coordinates): it is presented inside one, as the walk expects of web content.
    bool documentOutsideScrollPane = false;
    // On a scaled screen Chromium gives its window and own controls in its scaled pixels (at a
    // scale of 2, a window of 1200x760 in an X window of 2400x1520) and its pages in device
    // pixels.
    FrameScale::Pages pages = FrameScale::Pages::likeWindow;
    // GTK scales by whole factors only (GDK_SCALE), and so do Gecko's windows (GTK's, whatever
    // it makes of its pages), and GTK 4 leaves its resize border out of its window; Qt
    // (QT_SCALE_FACTOR, Xft.dpi 144) and Chromium scale by any factor.
    FrameScale::Steps scaleSteps = FrameScale::Steps::anyRatio;
    // Chromium and Gecko find what lies at a point of the screen in device pixels, whatever
    // pixels they give frames in; GTK and Qt take it in their own.
    bool hitTestsInDevicePixels = false;
    // Pages of a tab group are the children of their tab (GTK 3 notebooks through ATK, and the
    // other non-browser toolkits that follow ATK's shape); browsers keep tab panels apart.
    bool pagesUnderTabs = true;
    // Gecko gives a page's element the OPAQUE state only when it is drawn at full opacity, so
    // an invisible (opacity 0) control laid over a visible one is told apart.
    bool opacityInStates = false;
    // Gecko takes everything in a window off its tree (nothing in it showing) while the window is
    // covered whole, tells no one, and puts it back a moment after any of it shows again.
    bool hidesContentWhenCovered = false;
    // Gecko gives a page's plain words no element of their own: they are the text of the box
    // around them (a <div>'s words are its section's text, with U+FFFC where each element inside
    // it stands), so a row of boxes reads as boxes without words.
    bool foldsTextIntoBoxes = false;
    // Gecko takes SHOWING from what it last painted and tells no one when that changes: a control
    // just added reads as not showing until the page changes again.
    bool showingLagsPaint = false;
    // Chromium answers a hit test first from its tree's bounds (a button under a cover answers
    // itself) while it asks the page, and the same question this much later with what the page
    // paints there (5 ms was once too soon); it keeps one such answer at a time.
    double hitTestSettleSeconds = 0;
};

// The quirks of a toolkit; an unknown one gets the safe defaults (no GetAll).
Toolkit toolkitOf(std::string_view name, std::string_view version);

// Whether a GTK 4 name is a widget's type name rather than words a person reads: one CamelCase
// identifier ("GtkButton", "AdwGizmo", "HistoryView"). For labels, whose name is their text,
// only the toolkit's own type names count.
bool isTypeName(std::string_view name, bool isLabel);

// The name said once when it is the same words twice ("9 9" gives "9"); absent otherwise.
std::optional<std::string> undoubled(std::string_view name);

// Which of an app's X windows (by their titles, oldest first) is its window named `name` on the
// bus: the one of that title, else one of that title and more (Qt adds the app's display name to
// what it gives the window manager: "New Form — Qt Designer"); absent when none is.
std::optional<std::size_t> windowTitled(const std::vector<std::string>& xTitles,
                                        std::string_view name);

// Where a window's own (0, 0) lies on screen, from the frame of its X window without any
// client-side shadow and the window's own size: a window drawn smaller than its X window is
// centred in it (the resize borders toolkits add around client-side decorations are even).
Point windowOrigin(const Rect& xWindow, const Size& window);

}  // namespace ovra::atspi
