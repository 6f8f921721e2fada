#pragma once

// Reads the front window of another app into one WindowSnapshot.

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "app/accessibility/AXWalk.h"
#include "app/accessibility/BoundedReader.h"
#include "app/accessibility/HitMemory.h"
#include "app/accessibility/WindowSnapshot.h"
#include "core/Candidate.h"
#include "core/Rect.h"
#include "core/Result.h"
#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra {

enum class AXExtractorError {
    notTrusted,
    noFrontmostApp,
    noWindow,
    notResponding,   // the app stopped answering before its window or anything in it was read
    cancelled,       // the caller stopped the reading; nothing to show
    tooLarge,        // the reading ran out of time or nodes before it found anything to show
    appLost,         // the app, or the accessibility bus, went away during the reading
    notOnBus,        // the app is not on the accessibility bus at all
    windowNotShown,  // the window in front (a dialog) is not on the accessibility bus
    // A modal dialog of the app keeps the window from being used.
    blockedByDialog,
    // Several of the app's windows lie alike in its place, and nothing told which is in front.
    frontUnknown,
};

// The localized sentence shown for an error.
std::string description(AXExtractorError error);

struct AXExtractor {
    int maxDepth = 0;
    int maxCandidates = 0;
    int maxRawDepth = 0;
    int nodeBudget = 0;
    // Hit tests' answers kept between readings by whoever reads a window again, and outlives
    // the reading; none: each reading asks afresh.
    HitMemory* hitMemory = nullptr;

    // Messaging time-out set on the app element for every call of a reading.
    static constexpr double kMessagingTimeout = 0.25;

    // Reads the app's focused (else main) window. Blocks while the other app answers: run it
    // off the main thread. The walk ends after `limits.deadlineSeconds` (3 s), after three
    // time-outs in a row, or when `stop` is requested between two nodes; what it found by then
    // is kept. A reading cut short by its deadline is not tried again.
    Result<WindowSnapshot, AXExtractorError> snapshot(const ax::RunningApp& app,
                                                      ax::AccessibilityBackend& backend,
                                                      ax::Clock& clock, std::stop_token stop = {},
                                                      BoundedReader::Limits limits = {}) const;

    // One reading attempt on an app element.
    Result<WindowSnapshot, AXExtractorError> read(BoundedReader& reader, const ax::RunningApp& app,
                                                  const ax::Element& appElement) const;
};

// The frame, in accessibility space, of the screen holding the middle of `rect`; else the
// first screen; `rect` itself when there are none.
Rect screenFrameContaining(const Rect& rect, const std::vector<Rect>& screens);

// The text a candidate's value shows: never the content of a text input or secure field.
std::string sanitizedValue(const std::string& role, const std::string* subrole,
                           const ax::Value* raw);

}  // namespace ovra
