#include "platform/qt/MainThreadActivity.h"

#include <cxxabi.h>

#include <atomic>
#include <cstdlib>
#include <memory>

namespace ovra::activity {

namespace {

// The watchdog's one slot: see the header for why it is process-wide.
std::atomic<const std::type_info*> slot{nullptr};

}  // namespace

void running(const std::type_info& work) {
    slot.store(&work, std::memory_order_relaxed);
}

void clear() {
    slot.store(nullptr, std::memory_order_relaxed);
}

const std::type_info* current() {
    return slot.load(std::memory_order_relaxed);
}

std::string readableName(const std::type_info& type) {
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

}  // namespace ovra::activity
