#include "app/diagnostics/DumpFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/FocusCategory.h"

namespace ovra::DumpFormat {
namespace {

std::string padded(std::string_view text, std::size_t width) {
    std::string out(text);
    if (out.size() < width) {
        out.append(width - out.size(), ' ');
    }
    return out;
}

std::string priority(double value) {
    char buffer[64];
    const int written = std::snprintf(buffer, sizeof buffer, "%.2f", value);
    return written > 0 ? std::string(buffer, static_cast<std::size_t>(written)) : std::string();
}

}  // namespace

std::string number(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (error != std::errc()) {
        return "nan";
    }
    std::string out(buffer, end);
    if (out.find_first_of(".e") == std::string::npos) {
        out += ".0";
    }
    return out;
}

std::string rect(const Rect& r) {
    return "(" + number(r.origin.x) + ", " + number(r.origin.y) + ", " + number(r.size.width) +
           ", " + number(r.size.height) + ")";
}

long long truncated(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (value >= limit) {
        return std::numeric_limits<long long>::max();
    }
    if (value < -limit) {
        return std::numeric_limits<long long>::min();
    }
    return static_cast<long long>(value);
}

std::string oneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            c = ' ';
        }
    }
    return out;
}

std::string windowLine(std::string_view appName, std::string_view windowTitle, const Rect& frame,
                       std::size_t candidates, long long readingMilliseconds) {
    return "app=" + oneLine(appName) + " window=\"" + oneLine(windowTitle) +
           "\" frame=" + rect(frame) + " candidates=" + std::to_string(candidates) +
           " ax=" + std::to_string(readingMilliseconds) + "ms";
}

std::string viewportLine(const Rect& viewport) {
    return "viewport=" + rect(viewport) +
           " (the page's area when a web page was found, else the window on screen)";
}

std::string modelLine(std::string_view modelID, long long milliseconds) {
    return "model: " + std::string(modelID) + " " + std::to_string(milliseconds) + " ms";
}

std::string mark(const FocusPlan& plan, std::string_view id) {
    for (std::size_t i = 0; i < plan.beaconOrder.size(); ++i) {
        if (plan.beaconOrder[i] == id) {
            return "#" + std::to_string(i + 1);
        }
    }
    return "  ";
}

std::string itemLine(std::string_view markText, const FocusItem& item) {
    return std::string(markText) + " " + padded(rawValue(item.verdict), 10) + " " +
           padded(rawValue(item.category), 22) + " pri=" + priority(item.priority) + "  " +
           oneLine(item.candidate.role) + " \"" + oneLine(item.candidate.label()) + "\" " +
           oneLine(item.reason.value_or(""));
}

std::vector<std::string> itemLines(const FocusPlan& plan) {
    std::vector<std::string> lines;
    lines.reserve(plan.items.size());
    for (const auto& item : plan.items) {
        lines.push_back(itemLine(mark(plan, item.candidate.id), item));
    }
    return lines;
}

std::vector<std::string> stepLines(const std::vector<StepCount>& counts) {
    if (counts.empty()) {
        return {};
    }
    std::vector<std::string> lines{"", "steps (keyboard only \u2192 with Ovra):"};
    long long keyboard = 0;
    long long withFocus = 0;
    for (const auto& count : counts) {
        lines.push_back("  " + oneLine(count.label) + ": " + std::to_string(count.keyboardOnly) +
                        " \u2192 " + std::to_string(count.withFocus));
        keyboard += count.keyboardOnly;
        withFocus += count.withFocus;
    }
    lines.push_back("  total: " + std::to_string(keyboard) + " \u2192 " +
                    std::to_string(withFocus));
    return lines;
}

std::string treeLine(int depth, std::string_view role, std::size_t children, const Rect& frame) {
    const int levels = std::clamp(depth, 0, 20);
    std::string line(static_cast<std::size_t>(levels) * 2, ' ');
    line += oneLine(role);
    line += " d=" + std::to_string(depth) + " kids=" + std::to_string(children);
    line += " " + std::to_string(truncated(frame.minX())) + "," +
            std::to_string(truncated(frame.minY()));
    line += " " + std::to_string(truncated(frame.width())) + "x" +
            std::to_string(truncated(frame.height()));
    return line;
}

std::string pressReport(std::string_view label, std::string_view role,
                        const std::vector<std::string>& actions, bool web,
                        std::string_view titleBefore, std::string_view titleAfter) {
    std::string list = "[";
    for (std::size_t i = 0; i < actions.size(); ++i) {
        list += (i == 0 ? "\"" : ", \"") + oneLine(actions[i]) + "\"";
    }
    list += "]";
    return "press-test \"" + oneLine(label) + "\" role=" + oneLine(role) + " actions=" + list +
           " web=" + (web ? "true" : "false") + " title: \"" + oneLine(titleBefore) + "\" -> \"" +
           oneLine(titleAfter) + "\"";
}

std::string noControl(std::string_view label) {
    return "press-test: no control labeled \"" + oneLine(label) + "\"";
}

std::string notPressed(std::string_view label, std::string_view why) {
    return "press-test \"" + oneLine(label) + "\" not pressed: " + oneLine(why);
}

std::string pressUnsure(std::string_view label, std::string_view why, std::string_view relabelled) {
    return "press-test \"" + oneLine(label) +
           "\" perhaps not pressed: the page changed it as it was pressed, " + oneLine(why) +
           (relabelled.empty() ? "" : " \"" + oneLine(relabelled) + "\"");
}

}  // namespace ovra::DumpFormat
