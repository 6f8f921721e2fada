#include "platform/accessibility/AccessibilityBackend.h"

#include <chrono>
#include <thread>

namespace ovra::ax {

std::string_view toString(AXError error) {
    switch (error) {
        case AXError::unsupportedAttribute:
            return "unsupported attribute";
        case AXError::noValue:
            return "no value";
        case AXError::timeout:
            return "time-out";
        case AXError::appGone:
            return "app gone";
        case AXError::wrongType:
            return "wrong type";
        case AXError::cannotComplete:
            return "cannot complete";
        case AXError::unconfirmed:
            return "unconfirmed";
    }
    return "cannot complete";
}

const std::string* asString(const Value& value) {
    return std::get_if<std::string>(&value);
}

std::optional<double> asNumber(const Value& value) {
    if (const auto* number = std::get_if<double>(&value)) {
        return *number;
    }
    return std::nullopt;
}

std::optional<bool> asBool(const Value& value) {
    if (const auto* flag = std::get_if<bool>(&value)) {
        return *flag;
    }
    return std::nullopt;
}

std::optional<Point> asPoint(const Value& value) {
    if (const auto* point = std::get_if<Point>(&value)) {
        return *point;
    }
    return std::nullopt;
}

std::optional<Size> asSize(const Value& value) {
    if (const auto* size = std::get_if<Size>(&value)) {
        return *size;
    }
    return std::nullopt;
}

std::optional<Rect> asRect(const Value& value) {
    if (const auto* rect = std::get_if<Rect>(&value)) {
        return *rect;
    }
    return std::nullopt;
}

std::optional<Element> asElement(const Value& value) {
    if (const auto* element = std::get_if<Element>(&value); element && !element->isNull()) {
        return *element;
    }
    return std::nullopt;
}

const ElementList* asElementList(const Value& value) {
    return std::get_if<ElementList>(&value);
}

namespace {

class SteadyClock final : public Clock {
  public:
    double now() const override {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void sleep(double seconds) override {
        if (seconds > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        }
    }
};

}  // namespace

Clock& systemClock() {
    static SteadyClock clock;
    return clock;
}

}  // namespace ovra::ax
