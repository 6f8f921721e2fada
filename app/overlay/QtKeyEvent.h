#pragma once

// A Qt key press as the key adapter reads it, for every window of ours that takes keys.

#include <QKeyEvent>

#include "app/overlay/KeyAdapter.h"

namespace ovra {

RawKey rawKeyOf(const QKeyEvent& event);

}  // namespace ovra
