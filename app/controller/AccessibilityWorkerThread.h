#pragma once

// The accessibility worker of the app: one thread that owns every call to the accessibility
// backend, for window readings and presses alike, handing each result to the main thread.

#include <functional>
#include <memory>

#include "app/accessibility/ElementActions.h"
#include "app/controller/ControllerServices.h"
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
    };

    // The services must outlive the worker; destruction waits for the task that runs.
    explicit AccessibilityWorkerThread(Services services);
    ~AccessibilityWorkerThread() override;

    void read(ReadRequest request, std::stop_token stop,
              std::function<void(ReadResult)> done) override;
    void press(PressJob job, std::function<void(PressReport)> done) override;

    // Runs `work` on the worker thread (for benchmarks and diagnostics that share the backend).
    void post(std::function<void()> work) { queue_.post(std::move(work)); }

  private:
    Services services_;
    AXActions actions_;
    // Last: the thread ends before the members it uses.
    supervisor::SerialQueue queue_{"ovra-accessibility"};
};

}  // namespace ovra
