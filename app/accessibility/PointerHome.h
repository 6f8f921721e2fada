#pragma once

// Where the pointer goes after a click or a wheel turn of ours: back where the user left it, but
// not while the screen magnifier is on. The magnifier follows the pointer, and putting it back
// would swing the user's view away from what was just pressed or scrolled.

#include <functional>

namespace ovra {

inline bool putsPointerBack(const std::function<bool()>& magnifierOn) {
    return !(magnifierOn && magnifierOn());
}

}  // namespace ovra
