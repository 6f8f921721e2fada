#pragma once

// How the frames an app gives map to the screen's device pixels. Toolkits that scale their
// drawing may give frames in their own logical pixels: GTK 3 and 4 under a window scale of 2
// give every frame at half size, while Chromium gives its window in device-independent pixels
// and the controls inside it in device pixels. An app's window is compared with its X window,
// which is always in device pixels.

#include "core/Rect.h"

namespace ovra {

struct FrameScale {
    double factor = 1;  // the frames the app gives are multiplied by this
    // Except those of its web pages, which are in device pixels already.
    bool pagesInDevicePixels = false;
    friend bool operator==(const FrameScale&, const FrameScale&) = default;
};

// The whole number (2 to 4) by which the X window is larger than the window frame the app
// gives; 1 when they agree, or differ by no whole factor (a window being resized, a frame
// with shadows drawn outside it).
int wholeFactor(Size given, Size xWindow);

// The scale of an app from one of its windows as it gives it and its X window, less the shadow
// a toolkit draws around client-side decorations (`xContent`) and whole (`xWhole`): toolkits
// differ in which of the two they give as their window.
// `pagesInDevicePixels`: the toolkit gives its web pages in device pixels whatever it gives for
// its window and its own controls (Chromium), so the window's scale is not theirs.
FrameScale frameScale(Size givenWindow, Size xContent, Size xWhole, bool pagesInDevicePixels);

// A frame the app gave, in device pixels; `inPage`: of a web page or something on it.
Rect scaledFrame(const Rect& given, const FrameScale& scale, bool inPage);

// A point on screen in the app's own pixels, to ask the app what lies there.
Point appPoint(Point screen, const FrameScale& scale, bool inPage);

}  // namespace ovra
