#pragma once

// The text forms the command-line dumps print: pure functions of their values, so that every
// column and quote can be checked without a desktop.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/FocusPlan.h"
#include "core/Rect.h"
#include "core/StepCount.h"

namespace ovra::DumpFormat {

// A floating-point number in its shortest exact form, always with a fraction ("12.0", "0.5",
// "-3.25"); "nan", "inf" and "-inf" for the values that have no digits.
std::string number(double value);
// "(x, y, width, height)", each as `number`.
std::string rect(const Rect& rect);
// The value truncated toward zero to a whole number; 0 for NaN, and saturated at the limits of
// the type for values out of its range.
long long truncated(double value);
// Text from another app made safe for one output line: control characters (line breaks, tabs,
// escapes) become blanks. Everything else is kept as it is.
std::string oneLine(std::string_view text);

// "app=… window=\"…\" frame=(…) candidates=N ax=Mms".
std::string windowLine(std::string_view appName, std::string_view windowTitle, const Rect& frame,
                       std::size_t candidates, long long readingMilliseconds);
// "viewport=(…) (the page's area …)".
std::string viewportLine(const Rect& viewport);
// "model: <id> <ms> ms".
std::string modelLine(std::string_view modelID, long long milliseconds);
inline constexpr std::string_view kModelMissing = "model: not installed, built-in rules";

// The mark column: "#" and the 1-based number when `id` is numbered, else two blanks.
std::string mark(const FocusPlan& plan, std::string_view id);
// One planned control: mark, verdict (padded to 10), category (padded to 22), priority with two
// decimals, two blanks, role, quoted label, reason (empty when none).
std::string itemLine(std::string_view mark, const FocusItem& item);
// Every line of the plan, in plan order.
std::vector<std::string> itemLines(const FocusPlan& plan);
// The steps section: a blank line, the heading, one line per count and the total; no lines for
// no counts.
std::vector<std::string> stepLines(const std::vector<StepCount>& counts);

// One line of the tree dump: indentation of two blanks per level (at most 20 levels), role,
// depth, number of children, position and size as whole numbers.
std::string treeLine(int depth, std::string_view role, std::size_t children, const Rect& frame);

// The press test's report.
std::string pressReport(std::string_view label, std::string_view role,
                        const std::vector<std::string>& actions, bool web,
                        std::string_view titleBefore, std::string_view titleAfter);
// The press test's line when no control has the label.
std::string noControl(std::string_view label);
// The press test's line when the press did not reach the control, and why.
std::string notPressed(std::string_view label, std::string_view why);
// The press test's line when the page changed the control as it was pressed, so that whether
// the press reached it cannot be told: what told it, and the label it took, if any.
std::string pressUnsure(std::string_view label, std::string_view why, std::string_view relabelled);

}  // namespace ovra::DumpFormat
