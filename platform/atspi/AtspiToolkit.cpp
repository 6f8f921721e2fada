#include "platform/atspi/AtspiToolkit.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

namespace ovra::atspi {

namespace {

bool sameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

int leadingNumber(std::string_view text) {
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

bool upper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool lower(char c) {
    return c >= 'a' && c <= 'z';
}

}  // namespace

Toolkit toolkitOf(std::string_view name, std::string_view version) {
    Toolkit toolkit;
    toolkit.name = std::string(name);
    toolkit.major = leadingNumber(version);
    const bool gtk = sameLetters(name, "gtk") || sameLetters(name, "gail");
    const bool gecko = sameLetters(name, "gecko");
    const bool chromium = sameLetters(name, "chromium");
    toolkit.answersGetAll = gtk || gecko || chromium;
    toolkit.isBrowser = gecko || chromium;
    toolkit.hitTestsInDevicePixels = gecko || chromium;
    toolkit.pagesUnderTabs = !toolkit.isBrowser;
    toolkit.actionsComeLate = gecko;
    toolkit.pagesComeLate = gecko;
    toolkit.opacityInStates = gecko;
    toolkit.showingLagsPaint = gecko;
    toolkit.hidesContentWhenCovered = gecko;
    toolkit.foldsTextIntoBoxes = gecko;
    toolkit.textActsThroughAncestor = chromium;
    toolkit.ownActionFirst = chromium;
    toolkit.documentOutsideScrollPane = chromium;
    if (chromium) {
        toolkit.pages = FrameScale::Pages::inDevicePixels;
        toolkit.hitTestSettleSeconds = 0.02;
    }
    if (gtk || gecko) {
        toolkit.scaleSteps = FrameScale::Steps::whole;
    }
    if (gtk && toolkit.major >= 4) {
        toolkit.windowRelativeExtents = true;
        toolkit.typeNamesAsNames = true;
        toolkit.labelsCountTwice = true;
    }
    return toolkit;
}

bool isTypeName(std::string_view name, bool isLabel) {
    if (name.size() < 4 || !upper(name.front())) {
        return false;
    }
    bool hump = false;  // an upper-case letter right after a lower-case one
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (!upper(c) && !lower(c) && !(c >= '0' && c <= '9')) {
            return false;
        }
        hump = hump || (i > 0 && upper(c) && lower(name[i - 1]));
    }
    if (!hump) {
        return false;
    }
    if (!isLabel) {
        return true;
    }
    static constexpr std::array<std::string_view, 5> prefixes{"Gtk", "Adw", "Gdk", "Vte", "WebKit"};
    return std::any_of(prefixes.begin(), prefixes.end(), [&](std::string_view prefix) {
        return name.size() > prefix.size() && name.starts_with(prefix) &&
               upper(name[prefix.size()]);
    });
}

std::optional<std::string> undoubled(std::string_view name) {
    if (name.size() < 3 || name.size() % 2 == 0) {
        return std::nullopt;
    }
    const std::size_t half = name.size() / 2;
    if (name[half] != ' ' || name.substr(0, half) != name.substr(half + 1)) {
        return std::nullopt;
    }
    return std::string(name.substr(0, half));
}

std::optional<std::size_t> windowTitled(const std::vector<std::string>& xTitles,
                                        std::string_view name) {
    if (name.empty()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < xTitles.size(); ++i) {
        if (xTitles[i] == name) {
            return i;
        }
    }
    for (std::size_t i = 0; i < xTitles.size(); ++i) {
        const std::string_view title = xTitles[i];
        if (title.starts_with(name)) {
            const std::string_view rest = title.substr(name.size());
            // Qt joins them with an em dash.
            if (rest.starts_with(" \xe2\x80\x94 ") || rest.starts_with(" - ")) {
                return i;
            }
        }
    }
    return std::nullopt;
}

Point windowOrigin(const Rect& xWindow, const Size& window) {
    const double dx = std::max(0.0, (xWindow.width() - window.width) / 2);
    const double dy = std::max(0.0, (xWindow.height() - window.height) / 2);
    return Point{xWindow.minX() + std::floor(dx), xWindow.minY() + std::floor(dy)};
}

}  // namespace ovra::atspi
