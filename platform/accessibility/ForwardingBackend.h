#pragma once

// A backend that passes every call on to another: the base of a view of a backend that changes
// a call or two and leaves the rest as they are.

#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra::ax {

class ForwardingBackend : public AccessibilityBackend {
  public:
    explicit ForwardingBackend(AccessibilityBackend& inner) : inner_(inner) {}

    bool isProcessTrusted() override { return inner_.isProcessTrusted(); }
    std::optional<RunningApp> frontmostApp() override { return inner_.frontmostApp(); }
    Element applicationElement(const RunningApp& app) override {
        return inner_.applicationElement(app);
    }
    std::vector<Rect> screenFrames() override { return inner_.screenFrames(); }
    void setMessagingTimeout(const Element& appElement, double seconds) override {
        inner_.setMessagingTimeout(appElement, seconds);
    }
    std::optional<AXError> wakeUp(const Element& appElement) override {
        return inner_.wakeUp(appElement);
    }
    double wakeUpSettleSeconds() const override { return inner_.wakeUpSettleSeconds(); }
    Read attribute(const Element& element, std::string_view name) override {
        return inner_.attribute(element, name);
    }
    Result<std::vector<Read>, AXError> attributes(
        const Element& element, std::span<const std::string_view> names) override {
        return inner_.attributes(element, names);
    }
    Result<ElementList, AXError> children(const Element& element, std::size_t limit) override {
        return inner_.children(element, limit);
    }
    Result<std::vector<std::string>, AXError> actionNames(const Element& element) override {
        return inner_.actionNames(element);
    }
    Result<bool, AXError> isAttributeSettable(const Element& element,
                                              std::string_view name) override {
        return inner_.isAttributeSettable(element, name);
    }
    Result<Element, AXError> elementAtPoint(const Element& root, Point point) override {
        return inner_.elementAtPoint(root, point);
    }
    double hitTestSettleSeconds(const Element& root) override {
        return inner_.hitTestSettleSeconds(root);
    }
    void prefetch(std::span<const Element> elements, std::span<const std::string_view> names,
                  std::size_t nodeBudget) override {
        inner_.prefetch(elements, names, nodeBudget);
    }
    std::optional<AXError> performAction(const Element& element, std::string_view action) override {
        return inner_.performAction(element, action);
    }
    std::optional<AXError> setAttribute(const Element& element, std::string_view name,
                                        const Value& value) override {
        return inner_.setAttribute(element, name, value);
    }
    std::optional<std::vector<Change>> changesSince(const Element& element, double since) override {
        return inner_.changesSince(element, since);
    }
    std::optional<double> changesHeardSince(const Element& element) override {
        return inner_.changesHeardSince(element);
    }
    double scaleOf(const Element& element) override { return inner_.scaleOf(element); }
    std::size_t requestsSent() const override { return inner_.requestsSent(); }

  protected:
    AccessibilityBackend& inner() { return inner_; }

  private:
    AccessibilityBackend& inner_;
};

}  // namespace ovra::ax
