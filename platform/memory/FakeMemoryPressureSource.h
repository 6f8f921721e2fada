#pragma once

// A memory-pressure source that tests drive by hand.

#include <utility>

#include "platform/memory/MemoryPressureSource.h"

namespace ovra::memory {

class FakeMemoryPressureSource final : public MemoryPressureSource {
  public:
    void start(Handler handler) override {
        handler_ = std::move(handler);
        started_ = true;
    }
    void stop() override {
        handler_ = nullptr;
        started_ = false;
    }

    // Reports level as the system would; nothing happens while stopped.
    void emit(MemoryPressure level) {
        if (handler_)
            handler_(level);
    }
    bool started() const { return started_; }

  private:
    Handler handler_;
    bool started_ = false;
};

}  // namespace ovra::memory
