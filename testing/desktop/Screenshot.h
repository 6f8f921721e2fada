#pragma once

// The whole screen as it shows now, read from the X server over a connection of the test's own;
// kept as /tmp/ovra-<name>.png when given a name, for a look after a failure.

#include <xcb/xcb.h>

#include <QImage>
#include <QString>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace ovra::testing {

inline QImage screenshot(const std::string& keepAs = {}) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_get_image_reply_t* reply =
        xcb_get_image_reply(c,
                            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0,
                                          screen->width_in_pixels, screen->height_in_pixels, ~0u),
                            nullptr);
    QImage image;
    if (reply) {
        image = QImage(xcb_get_image_data(reply), screen->width_in_pixels, screen->height_in_pixels,
                       QImage::Format_RGB32)
                    .copy();
    }
    std::free(reply);
    xcb_disconnect(c);
    if (!keepAs.empty()) {
        image.save(QString::fromStdString(
            (std::filesystem::temp_directory_path() / ("ovra-" + keepAs + ".png")).string()));
    }
    return image;
}

}  // namespace ovra::testing
