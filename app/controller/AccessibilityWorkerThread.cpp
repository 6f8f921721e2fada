#include "app/controller/AccessibilityWorkerThread.h"

#include <future>
#include <iostream>

#include "app/controller/TargetWindowBackend.h"

namespace ovra {

namespace {

// A browser takes wheel turns over a while (a smooth scroll, a frame for each turn): the page
// counts as scrolled once a control on it has moved and then stayed put, or has not moved at
// all for a while, or after the longest wait.
constexpr double kSettlePoll = 0.05;
constexpr double kSettledAfter = 0.1;
constexpr double kUnmovedAfter = 0.5;
constexpr double kLongestSettle = 2.0;

std::optional<Point> positionOf(ax::AccessibilityBackend& backend, const ax::Element& element) {
    const auto position = backend.attribute(element, "AXPosition");
    return position ? ax::asPoint(*position) : std::nullopt;
}

void waitUntilSettled(ax::AccessibilityBackend& backend, ax::Clock& clock,
                      const ax::Element& probe) {
    const double start = clock.now();
    std::optional<Point> last = positionOf(backend, probe);
    bool moved = false;
    double stillSince = start;
    while (last && clock.now() - start < kLongestSettle) {
        clock.sleep(kSettlePoll);
        const std::optional<Point> now = positionOf(backend, probe);
        if (now != last) {
            moved = true;
            last = now;
            stillSince = clock.now();
        } else if (clock.now() - stillSince >= (moved ? kSettledAfter : kUnmovedAfter)) {
            return;
        }
    }
}

CapturedWindow capturedWindow(const TargetApp& target) {
    return {.title = target.title,
            .frame = target.frame,
            .dialog = target.dialog,
            .decorated = target.decoratedFrame,
            .twinIndex = target.twinIndex,
            .twinCount = target.twinCount,
            .aboveTwins = target.aboveTwins,
            .dialogOverIt = target.dialogOverIt};
}

}  // namespace

AccessibilityWorkerThread::AccessibilityWorkerThread(Services services)
    : services_(std::move(services)),
      actions_(services_.backend, services_.input,
               {.magnifierOn = services_.magnifierOn, .clock = &services_.clock}),
      scroller_(services_.backend, services_.input, timer_, services_.magnifierOn, std::cout) {}

AccessibilityWorkerThread::~AccessibilityWorkerThread() {
    timer_.stop();
}

std::optional<bool> AccessibilityWorkerThread::trustedWithin(std::chrono::milliseconds bound) {
    auto answer = std::make_shared<std::promise<bool>>();
    std::future<bool> trusted = answer->get_future();
    queue_.post([this, answer] { answer->set_value(services_.backend.isProcessTrusted()); });
    if (trusted.wait_for(bound) != std::future_status::ready) {
        return std::nullopt;
    }
    return trusted.get();
}

ReadResult AccessibilityWorkerThread::readWindow(const ReadRequest& request, std::stop_token stop) {
    const TargetApp& target = request.target;
    TargetWindowBackend backend(services_.backend, capturedWindow(target));
    ax::RunningApp app{target.pid, std::nullopt};
    // The app's own name for itself, else its process name.
    if (auto title = backend.attribute(backend.applicationElement(app), "AXTitle")) {
        if (const std::string* text = ax::asString(title.value()); text && !text->empty()) {
            app.localizedName = *text;
        }
    }
    if (!app.localizedName && !target.processName.empty()) {
        app.localizedName = target.processName;
    }
    const AXExtractor extractor{request.maxDepth, request.maxCandidates, request.maxRawDepth,
                                request.nodeBudget, &hitMemory_};
    ReadResult result = extractor.snapshot(app, backend, services_.clock, std::move(stop));
    // Whether the app the reading read can be reached now: its own element answers, whatever it
    // says. Asked of the element the reading used, not of one looked up before it (the registry
    // may have restarted in between, and an app it lists late is no app lost).
    const ax::Element appElement = backend.appElement();
    const auto reachable = [&] {
        const auto windows = services_.backend.children(appElement, 1);
        return windows || windows.error() != ax::AXError::appGone;
    };
    // No window read because a dialog keeps it from being used, or because several alike lie in
    // its place and nothing told which one is in front.
    if (!result && result.error() == AXExtractorError::noWindow && backend.blockedBy()) {
        return fail(AXExtractorError::blockedByDialog);
    }
    if (!result && result.error() == AXExtractorError::noWindow && backend.frontUnknown()) {
        return fail(AXExtractorError::frontUnknown);
    }
    // No window found because the app did not answer: say so, not that it has none.
    if (!result && result.error() == AXExtractorError::noWindow && backend.timeouts() > 0) {
        result = fail(AXExtractorError::notResponding);
    } else if (!result && result.error() == AXExtractorError::noWindow &&
               backend.dialogNotShown()) {
        result = fail(AXExtractorError::windowNotShown);
    }
    // Nor because the bus does not know the app (it joined an earlier bus, or never joins).
    if (!result && result.error() == AXExtractorError::noWindow && !reachable()) {
        result = fail(AXExtractorError::notOnBus);
    }
    // A reading that returned its window is shown, unless the app it read cannot be reached any
    // more: then what it holds is gone with the app. An element that went is no such loss.
    if (result && backend.sawGone() && !reachable()) {
        result = fail(AXExtractorError::appLost);
    } else if (result && backend.endedUnanswered(ReadLimits{}.maxConsecutiveTimeouts)) {
        result = fail(AXExtractorError::notResponding);
    }
    return result;
}

void AccessibilityWorkerThread::read(ReadRequest request, std::stop_token stop,
                                     std::function<void(ReadResult)> done) {
    queue_.post([this, request = std::move(request), stop = std::move(stop),
                 done = std::move(done)]() mutable {
        ReadResult result = stop.stop_requested() ? ReadResult(fail(AXExtractorError::cancelled))
                                                  : readWindow(request, stop);
        // A reading a person may be shown notes where its controls stand: a press tells by it
        // which control they chose, whatever the page redraws meanwhile.
        if (result) {
            ElementIdentity::noteSettings(services_.backend, result.value(), services_.clock);
        }
        services_.postToMain([done = std::move(done), result = std::move(result)]() mutable {
            done(std::move(result));
        });
    });
}

void AccessibilityWorkerThread::matchWindow(TargetApp window,
                                            std::function<void(std::optional<std::int64_t>)> done) {
    queue_.post([this, window = std::move(window), done = std::move(done)]() mutable {
        // The bus's app whose window is active (the window manager names no process for it),
        // taken only when that window is the one captured.
        std::optional<std::int64_t> pid;
        if (const auto app = services_.backend.frontmostApp()) {
            TargetWindowBackend backend(services_.backend, window.title, window.frame, false,
                                        window.decoratedFrame);
            if (backend.showsCapturedWindow(backend.applicationElement(*app))) {
                pid = app->pid;
            }
        }
        services_.postToMain([done = std::move(done), pid] { done(pid); });
    });
}

void AccessibilityWorkerThread::scroll(ScrollJob job, std::function<void(ScrollOutcome)> done) {
    queue_.post([this, job = std::move(job), done = std::move(done)]() mutable {
        scroller_.dryRun = job.dryRun;
        // The controller made the overlay let pointer input through before asking.
        const ScrollOutcome outcome = scroller_.scroll(job.direction, job.step, job.target,
                                                       job.fallback, job.window, job.count);
        if (outcome == Scroller::Method::wheel && job.probe) {
            waitUntilSettled(services_.backend, services_.clock, *job.probe);
        }
        services_.postToMain([done = std::move(done), outcome] { done(outcome); });
    });
}

PressOutcome AccessibilityWorkerThread::pressInFront(const PressJob& job) {
    // The window the reading read must still be the one in front: not one a dialog of its app
    // has come to keep from being used, nor one of several alike that the press cannot tell
    // apart from the one the user sees.
    TargetWindowBackend window(services_.backend, capturedWindow(job.reading.target));
    const auto front =
        window.frontAtPress(job.request.app, job.request.windowElement, services_.clock, [&] {
            if (job.request.window) {
                actions_.raise(job.request.window, {});
            }
        });
    if (front == TargetWindowBackend::Front::inFront) {
        return actions_.press(job.request);
    }
    PressOutcome refused;
    refused.failure = front == TargetWindowBackend::Front::blocked ? PressFailure::waitsForDialog
                                                                   : PressFailure::notInFront;
    return refused;
}

void AccessibilityWorkerThread::press(PressJob job, std::function<void(PressOutcome)> done) {
    queue_.post([this, job = std::move(job), done = std::move(done)]() mutable {
        job.request.readWindow = [this, &job]() -> std::optional<WindowSnapshot> {
            auto reading = readWindow(job.reading, {});
            return reading ? std::optional(std::move(reading).value()) : std::nullopt;
        };
        PressOutcome outcome = pressInFront(job);
        services_.postToMain([done = std::move(done), outcome = std::move(outcome)]() mutable {
            done(std::move(outcome));
        });
    });
}

}  // namespace ovra
