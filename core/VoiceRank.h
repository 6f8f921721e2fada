#pragma once

// Orders the installed speech voices best first, so that the first one is a sound default:
// by quality, then by voice family, then the system's default, then a Latin-American Spanish
// preference, then by name.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovra::VoiceRank {

struct Voice {
    std::string identifier;
    std::string name;
    std::string language;  // BCP 47, such as en-US
    int quality = 1;       // 1 default, 2 enhanced, 3 premium; higher is better

    friend bool operator==(const Voice&, const Voice&) = default;
};

// Ordered by raw value; a higher family is preferred.
enum class Family : int { eloquence = 0, legacy = 1, modern = 2 };

std::optional<Family> familyFromRawValue(int raw);

// From the identifier's prefix (case-sensitive).
Family family(std::string_view identifier);

// The voices in ranked order; a stable sort, so voices equal by every rule keep their order.
std::vector<Voice> sorted(std::vector<Voice> voices,
                          const std::optional<std::string>& systemDefault);

}  // namespace ovra::VoiceRank
