#pragma once

// One reading of another app's front window: its identity and frame, the visible area selection
// worked in, the chosen candidate controls with their live elements and where they stood, and
// the scroll area page scrolling drives. The extractor makes it; the model and the controller take
// it.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/accessibility/ElementSetting.h"
#include "app/accessibility/ScrollTarget.h"
#include "core/Candidate.h"
#include "core/Rect.h"
#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra {

struct WindowSnapshot {
    ax::RunningApp app;
    std::string appName;
    std::string windowTitle;
    ax::Element windowElement;
    Rect windowFrame;  // all zero when it could not be read
    Rect viewport;
    std::vector<UICandidate> candidates;
    std::map<std::string, ax::Element> elements;
    // Where each control stood as the reading saw it, by candidate id, for the readings a person
    // is shown (ElementIdentity::noteSettings); a control missing here was not noted.
    std::map<std::string, ElementSetting> settings;
    std::optional<ScrollTarget> scroll;
    // Pairs of controls laid one over the other that were both left out, since nothing told
    // which of the two a person sees (an invisible control over a visible one).
    int untoldOverlaps = 0;
};

}  // namespace ovra
