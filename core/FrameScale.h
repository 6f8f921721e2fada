#pragma once

// How the frames an app gives map to the screen's device pixels. Toolkits that scale their
// drawing may give frames in their own logical pixels: GTK 3 and 4, Gecko and Qt under a scale
// of k give every frame at 1/k of its size, while Chromium gives its window and its own
// controls so and its pages in device pixels. An app's window is compared with its X window,
// which is always in device pixels.

#include <optional>

#include "core/Rect.h"

namespace ovra {

struct FrameScale {
    // How the frames of what lies on a web page relate to the app's own.
    enum class Pages {
        likeWindow,      // scaled as the window is
        inDevicePixels,  // device pixels already (Chromium)
    };
    double factor = 1;  // the frames the app gives are multiplied by this
    Pages pages = Pages::likeWindow;
    friend bool operator==(const FrameScale&, const FrameScale&) = default;
};

// The whole number (2 to 4) by which the X window is larger than the window frame the app
// gives, less a border the toolkit may leave out; 1 when they agree; absent when they differ by
// no whole factor (a window being resized).
std::optional<int> wholeFactor(Size given, Size xWindow);

// The scale of an app from one of its windows as it gives it and its X window, less the shadow
// a toolkit draws around client-side decorations (`xContent`) and whole (`xWhole`): toolkits
// differ in which of the two they give as their window. Absent when the window tells nothing.
std::optional<FrameScale> frameScale(Size givenWindow, Size xContent, Size xWhole,
                                     FrameScale::Pages pages);

// A frame the app gave, in device pixels. `page`: the origin the app gave for the web page the
// frame lies on, when it lies on one.
Rect scaledFrame(const Rect& given, const FrameScale& scale, std::optional<Point> page);

// A point on screen in the app's own pixels, to ask the app what lies there.
Point appPoint(Point screen, const FrameScale& scale, std::optional<Point> page);

}  // namespace ovra
