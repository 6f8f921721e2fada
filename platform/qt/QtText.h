#pragma once

// The one conversion of the app's UTF-8 text to Qt's.

#include <QString>
#include <string_view>

namespace ovra {

inline QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace ovra
