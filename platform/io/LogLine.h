#pragma once

// The app's one line on standard error, "murmlark-ovra: " first.

#include <iostream>
#include <string>

namespace ovra {

inline void logLine(const std::string& line) {
    std::cerr << "murmlark-ovra: " << line << std::endl;
}

}  // namespace ovra
