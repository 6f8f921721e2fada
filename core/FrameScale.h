#pragma once

// How the frames an app gives map to the screen's device pixels. Toolkits that scale their
// drawing may give frames in their own logical pixels: GTK 3 and 4, Gecko and Qt under a scale
// of k give every frame at 1/k of its size, while Chromium gives its window and its own
// controls so and its pages in device pixels. An app's window is compared with its X window,
// which is always in device pixels: the ratio of the two is the app's scale.

#include <optional>

#include "core/Rect.h"

namespace ovra {

struct FrameScale {
    // How the frames of what lies on a web page relate to the app's own.
    enum class Pages {
        likeWindow,      // scaled as the window is
        inDevicePixels,  // device pixels already (Chromium)
    };
    // The scales a toolkit draws at.
    enum class Steps {
        whole,     // GTK, Gecko: whole factors only; GTK 4 leaves its resize border out
        anyRatio,  // Qt, Chromium: any factor (1.25, 1.5, 1.75 ...), the window exact
    };
    double factor = 1;  // the frames the app gives are multiplied by this
    Pages pages = Pages::likeWindow;
    friend bool operator==(const FrameScale&, const FrameScale&) = default;
};

// The sizes of an app's X window: less the shadow a toolkit draws around client-side
// decorations (`content`), whole, and with the window manager's decorations around it
// (`decorated`). Toolkits differ in which of them they give as their window. A size not known
// is empty.
struct XWindowSizes {
    Size content;
    Size whole;
    Size decorated;
};

// The scale of an app from one of its windows as it gives it and its X window: the factor (1 to
// 4) by which one of the X window's sizes is larger than the window the app gives. Of
// `Steps::whole`, the whole factor that fits less a border the toolkit may leave out; of
// `Steps::anyRatio`, the ratio of the two sizes rounded to the coarsest of the steps toolkits
// scale by (whole, quarters, eighths, twentieths) that fits both sides to a pixel, else to a
// hundredth. The coarsest factor that fits any of the sizes wins. Absent when none fits (a
// window being resized).
std::optional<FrameScale> frameScale(Size givenWindow, const XWindowSizes& xWindow,
                                     FrameScale::Pages pages, FrameScale::Steps steps);

// A frame the app gave, in device pixels. `page`: the origin the app gave for the web page the
// frame lies on, when it lies on one.
Rect scaledFrame(const Rect& given, const FrameScale& scale, std::optional<Point> page);

// A point on screen in the app's own pixels, to ask an app that finds points in them (GTK, Qt)
// what lies there.
Point appPoint(Point screen, const FrameScale& scale, std::optional<Point> page);

}  // namespace ovra
