#pragma once

// The accessibility backend for Linux desktops: reads other apps' trees over AT-SPI2 on the
// accessibility bus and answers in the AX vocabulary. Requests are pipelined: reading a node's
// children queues the next level's reads at once, so the app answers many requests per round
// trip instead of one. All calls must come from one thread at a time (the accessibility worker);
// a mutex guards against misuse. What was read is kept between readings of an app for as long
// as the app reports no change.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra::atspi {

struct AtspiOptions {
    double callTimeoutSeconds = 0.25;  // per call, until the app's own messaging time-out is set
    std::size_t maxInFlight = 96;      // requests queued in the app at once
    std::size_t prefetchChildLimit = 512;  // larger child lists are fetched only when asked
    // The longest a wake-up waits for the app to expose its tree.
    double wakeUpPollSeconds = 1.0;
    // How long what was read of an app is kept for its next reading to start from; then it is
    // forgotten and its memory handed back.
    double readingKeptSeconds = 30.0;
};

class AtspiBackend final : public ax::AccessibilityBackend {
  public:
    explicit AtspiBackend(AtspiOptions options = {});
    ~AtspiBackend() override;
    AtspiBackend(const AtspiBackend&) = delete;
    AtspiBackend& operator=(const AtspiBackend&) = delete;

    // Why the accessibility bus cannot be used, for the permission guide; nothing when it can.
    std::optional<std::string> trustProblem();

    bool isProcessTrusted() override;
    std::optional<ax::RunningApp> frontmostApp() override;
    ax::Element applicationElement(const ax::RunningApp& app) override;
    std::vector<Rect> screenFrames() override;

    void setMessagingTimeout(const ax::Element& appElement, double seconds) override;
    std::optional<ax::AXError> wakeUp(const ax::Element& appElement) override;
    double wakeUpSettleSeconds() const override { return 0.1; }

    ax::Read attribute(const ax::Element& element, std::string_view name) override;
    Result<std::vector<ax::Read>, ax::AXError> attributes(
        const ax::Element& element, std::span<const std::string_view> names) override;
    Result<ax::ElementList, ax::AXError> children(const ax::Element& element,
                                                  std::size_t limit) override;
    Result<std::vector<std::string>, ax::AXError> actionNames(const ax::Element& element) override;
    Result<bool, ax::AXError> isAttributeSettable(const ax::Element& element,
                                                  std::string_view name) override;
    Result<ax::Element, ax::AXError> elementAtPoint(const ax::Element& root, Point point) override;
    std::vector<Result<ax::Element, ax::AXError>> elementsAtPoints(
        const ax::Element& root, std::span<const Point> points) override;
    double hitTestSettleSeconds(const ax::Element& root) override;
    void prefetch(std::span<const ax::Element> elements, std::span<const std::string_view> names,
                  std::size_t nodeBudget) override;

    std::optional<ax::AXError> performAction(const ax::Element& element,
                                             std::string_view action) override;
    std::optional<ax::AXError> setAttribute(const ax::Element& element, std::string_view name,
                                            const ax::Value& value) override;

    std::optional<double> changesHeardSince(const ax::Element& element) override;
    std::optional<std::vector<ax::Change>> changesSince(const ax::Element& element,
                                                        double since) override;
    double scaleOf(const ax::Element& element) override;

    // Drops everything read so far: the next reading of any app starts cold.
    void forgetReadings();

    // Requests sent to apps since the backend was made.
    std::size_t requestsSent() const override;

  private:
    struct Impl;
    // The start of every call on one element: the lock, whether the element can be reached at
    // all (else `body` does not run and its answer is the error), and, when asked, its app's
    // toolkit. `body` gets the session and the element's reference.
    template <class Body>
    auto onElement(const ax::Element& element, bool learnToolkit, Body body);

    std::unique_ptr<Impl> impl_;
    mutable std::mutex mutex_;
    // Between readings, takes in the apps' change events so they never pile up on the bus.
    std::condition_variable_any wake_;
    std::jthread drainer_;
};

}  // namespace ovra::atspi
