#pragma once

// The system's memory-pressure signal: the three levels, reported whenever the level changes.

#include <functional>

#include "core/MemoryPolicy.h"

namespace ovra::memory {

class MemoryPressureSource {
  public:
    // Called on the source's own thread; the receiver hops to its own thread itself.
    using Handler = std::function<void(MemoryPressure)>;

    virtual ~MemoryPressureSource() = default;
    // Starts reporting level changes to handler; a level other than normal at start is
    // reported as a change.
    virtual void start(Handler handler) = 0;
    // No handler call begins after stop returns.
    virtual void stop() = 0;
};

}  // namespace ovra::memory
