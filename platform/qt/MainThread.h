#pragma once

// Hands work from any thread to the Qt main thread's event loop. Work posted after the
// application object is gone is dropped.

#include <functional>

namespace ovra {

void postToMainThread(std::function<void()> work);

}  // namespace ovra
