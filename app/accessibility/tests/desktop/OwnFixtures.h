#pragma once

// The pages and programs of this folder's desktop journeys, from the source tree CTest names, or
// beside this file when run by hand.

#include <cstdlib>
#include <filesystem>
#include <string>

namespace ovra::testing {

inline std::string ownFixture(const std::string& name) {
    const char* source = std::getenv("OVRA_SOURCE_DIR");
    const std::filesystem::path dir =
        source ? std::filesystem::path(source) / "app/accessibility/tests/desktop/fixtures"
               : std::filesystem::path(__FILE__).parent_path() / "fixtures";
    return std::filesystem::absolute(dir / name).string();
}

}  // namespace ovra::testing
