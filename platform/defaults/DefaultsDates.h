#pragma once

// Dates in a defaults domain ("firstLaunch", "lastUpdateCheck"): stored as ISO 8601 text in UTC,
// such as "2026-12-06T19:26:18Z".

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/defaults/DefaultsDomain.h"

namespace ovra::DefaultsDates {

using Time = std::chrono::system_clock::time_point;

// "YYYY-MM-DDTHH:MM:SSZ", whole seconds, UTC.
std::string format(Time time);
// A date and time with seconds, optional fraction, and "Z" or an offset ("+02:00", "-0530");
// none for anything else, including impossible dates such as February 30.
std::optional<Time> parse(std::string_view text);

// The date stored under `key`; none when it is missing or not a date.
std::optional<Time> read(const DefaultsDomain& domain, std::string_view key);
void write(DefaultsDomain& domain, std::string_view key, Time time);

}  // namespace ovra::DefaultsDates
