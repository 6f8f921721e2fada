#pragma once

// What the journeys over scaled screens and dialogs share: the app's numbered highlights with
// their frames, as a screen reader finds them; where each control of one flat colour shows on
// the screen; and a test run again inside a desktop of its own of the size and dots per inch it
// needs.

#include <atspi/atspi.h>
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/Rect.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/ObjectsOf.h"

namespace ovra::testing {

// One numbered highlight ("3, Help, Button", "7, More below") and its ring's frame in the overlay's
// own pixels (Qt's, the screen's divided by the app's device pixel ratio).
struct Highlight {
    std::string name;
    Rect frame;
    std::string label() const {
        const std::size_t start = name.find(", ");
        if (start == std::string::npos) {
            return name;
        }
        // A control's role follows its label; a scroll item has none.
        const std::string rest = name.substr(start + 2);
        const std::size_t role = rest.rfind(", ");
        return role == std::string::npos ? rest : rest.substr(0, role);
    }
    // The keys the user types to choose it, for xdotool: the number's digits ("1 2" for 12).
    std::string digits() const {
        std::string keys;
        for (const char c : name.substr(0, name.find(','))) {
            keys += (keys.empty() ? "" : " ") + std::string(1, c);
        }
        return keys;
    }
};

// The numbered buttons of the overlay of `pid`; with `role` a label, the overlay's sentence.
inline std::vector<Highlight> highlightsOf(pid_t pid, AtspiRole role = ATSPI_ROLE_PUSH_BUTTON) {
    const auto found = objectsOf(pid, [role](AtspiAccessible* node) -> std::optional<std::string> {
        gchar* name = atspi_accessible_get_name(node, nullptr);
        std::optional<std::string> picked;
        if (atspi_accessible_get_role(node, nullptr) == role && name && *name &&
            (role != ATSPI_ROLE_PUSH_BUTTON || std::isdigit(static_cast<unsigned char>(name[0])))) {
            AtspiComponent* component = atspi_accessible_get_component_iface(node);
            AtspiRect* r =
                component ? atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, nullptr)
                          : nullptr;
            if (r != nullptr) {
                picked = std::to_string(r->x) + " " + std::to_string(r->y) + " " +
                         std::to_string(r->width) + " " + std::to_string(r->height) + " " + name;
            }
            g_free(r);
            if (component) {
                g_object_unref(component);
            }
        }
        g_free(name);
        return picked;
    });
    std::vector<Highlight> out;
    for (const std::string& line : found) {
        std::istringstream in(line);
        double x = 0, y = 0, w = 0, h = 0;
        Highlight highlight;
        in >> x >> y >> w >> h;
        std::getline(in >> std::ws, highlight.name);
        highlight.frame = Rect(x, y, w, h);
        out.push_back(std::move(highlight));
    }
    return out;
}

inline const Highlight* highlightFor(const std::vector<Highlight>& all, const std::string& label) {
    for (const Highlight& h : all) {
        if (h.label() == label) {
            return &h;
        }
    }
    return nullptr;
}

inline bool near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) <=
           tolerance;
}

// Where each colour shows on the screen: the box around its pixels, for the colours shown.
inline std::map<std::string, Rect> colourBoxes(const QImage& screen,
                                               const std::map<std::string, QColor>& colours) {
    std::map<std::string, Rect> boxes;
    for (int y = 0; y < screen.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
        for (int x = 0; x < screen.width(); ++x) {
            const QColor pixel(line[x]);
            for (const auto& [label, colour] : colours) {
                if (near(pixel, colour, 24)) {
                    const Rect dot(x, y, 1, 1);
                    auto [it, fresh] = boxes.emplace(label, dot);
                    if (!fresh) {
                        it->second = it->second.unionWith(dot);
                    }
                    break;
                }
            }
        }
    }
    return boxes;
}

// Whether this test runs in a desktop of its own of `screen` ("1920x1200") at `dpi` (0: the
// X server's own); if not, runs it again in such a desktop and reports whether it passed there.
inline bool inOwnDesktop(const std::string& screen, int dpi) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(info->test_suite_name()) + "." + info->name();
    const char* own = std::getenv("OVRA_OWN_DESKTOP");
    if (own != nullptr && name == own) {
        return true;
    }
    const char* source = std::getenv("OVRA_SOURCE_DIR");
    EXPECT_NE(source, nullptr);
    std::string command =
        "env -u OVRA_DESKTOP_DPI OVRA_OWN_DESKTOP='" + name + "' OVRA_DESKTOP_SCREEN=" + screen;
    if (dpi > 0) {
        command += " OVRA_DESKTOP_DPI=" + std::to_string(dpi);
    }
    command += " '" + std::string(source ? source : ".") + "/scripts/with-desktop' '" +
               std::filesystem::read_symlink("/proc/self/exe").string() + "' --gtest_filter='" +
               name + "' 2>&1";
    const auto ran = run(command);
    EXPECT_EQ(ran.exitCode, 0) << ran.text;
    EXPECT_NE(ran.text.find("[  PASSED  ] 1 test."), std::string::npos) << ran.text;
    return false;
}

}  // namespace ovra::testing
