#pragma once

// The accessibility worker of the app: one thread that owns every call to the accessibility
// backend, for window readings and presses alike, handing each result to the main thread.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "app/accessibility/ElementActions.h"
#include "app/accessibility/Scroller.h"
#include "app/controller/ControllerServices.h"
#include "app/controller/QueueScheduler.h"
#include "app/model/Executors.h"
#include "platform/accessibility/AccessibilityBackend.h"
#include "platform/input/InputSynthesizer.h"

namespace ovra {

class AccessibilityWorkerThread final : public AccessibilityWorker {
  public:
    struct Services {
        ax::AccessibilityBackend& backend;
        input::InputSynthesizer& input;
        ax::Clock& clock;
        // Runs work on a later turn of the main thread.
        std::function<void(std::function<void()>)> postToMain;
        // Whether the desktop's magnifier is on (asked on the worker): it follows the pointer,
        // which then stays where a click or a wheel turn put it.
        std::function<bool()> magnifierOn;
    };

    // The services must outlive the worker; destruction waits for the task that runs.
    explicit AccessibilityWorkerThread(Services services);
    ~AccessibilityWorkerThread() override;

    void read(ReadRequest request, std::stop_token stop,
              std::function<void(ReadResult)> done) override;
    void press(PressJob job, std::function<void(PressOutcome)> done) override;
    void matchWindow(TargetApp window,
                     std::function<void(std::optional<std::int64_t>)> done) override;
    void scroll(ScrollJob job, std::function<void(ScrollOutcome)> done) override;

    // Runs `work` on the worker thread (for benchmarks and diagnostics that share the backend).
    void post(std::function<void()> work) { queue_.post(std::move(work)); }
    // Whether other apps can be read, asked on the worker and waited for at most `bound`; none
    // when the answer is later (a slow accessibility bus), which the caller then does without.
    std::optional<bool> trustedWithin(std::chrono::milliseconds bound);

  private:
    // Reads the target's window as it is now.
    ReadResult readWindow(const ReadRequest& request, std::stop_token stop);
    // The press, once its window is known to be the app's window in front.
    PressOutcome pressInFront(const PressJob& job);

    Services services_;
    AXActions actions_;
    // Hit tests' answers kept from one reading to the next of an unchanged window.
    HitMemory hitMemory_;
    // The scroller's timer hands its work (putting the pointer back) to the worker; it stops
    // first of all, so nothing is handed to a queue that is gone.
    QueueScheduler timer_{[this](std::function<void()> work) { queue_.post(std::move(work)); }};
    Scroller scroller_;
    // Last: the thread ends before the members it uses.
    supervisor::SerialQueue queue_{"ovra-accessibility"};
};

}  // namespace ovra
