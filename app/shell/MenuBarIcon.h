#pragma once

// The bird: the tray item's icon, the on-screen button's white bird and the app's icon. The
// artwork is drawn here; the build renders it into the resource files the app and the desktop
// load (share/murmlark-ovra/icons/menubar-ovra.png and murmlark-ovra.png). Without the tray
// resource the icon is a dashed circle.

#include <QColor>
#include <QImage>
#include <QRectF>
#include <filesystem>

class QPainter;

namespace ovra::MenuBarIcon {

// The tray icon: the resource at 18 × 18 logical pixels, else the dashed circle. Made once.
const QImage& image();
// The same drawing painted solid white at 36 × 36 logical pixels, for dark backgrounds.
const QImage& whiteImage();

// The images from an explicit resource file (tests, and the two above with the app's folder).
QImage image(const std::filesystem::path& resource);
QImage whiteImage(const std::filesystem::path& resource);

// The bird filling `box`, in `fill` with a thin `edge` round it.
void paintBird(QPainter& painter, const QRectF& box, const QColor& fill, const QColor& edge);
// The tray resource as the build renders it: the bird in the signal colour, `pixels` square.
QImage renderTrayResource(int pixels);
// The app's icon: the bird on the dark island tile, `pixels` square.
QImage renderAppIcon(int pixels);

}  // namespace ovra::MenuBarIcon
