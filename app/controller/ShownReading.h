#pragma once

// The window reading the open overlay shows, with what the model decided for it. Every reading
// of a request gets the next serial number; a later one (find's wider reading) takes the place
// of the one shown only when it is newer.

#include <cstdint>
#include <optional>

#include "app/accessibility/WindowSnapshot.h"
#include "app/controller/ControllerServices.h"
#include "core/FocusPlanner.h"

namespace ovra {

// A window reading with the app it was read from.
struct TargetSnapshot {
    TargetApp app;
    WindowSnapshot window;

    // The app's corrections are kept under its process name, as the dumps name apps.
    const std::string& correctionsKey() const {
        return app.processName.empty() ? window.appName : app.processName;
    }
};

struct ShownReading {
    std::optional<TargetSnapshot> snapshot;
    double at = 0;  // when its reading arrived (scheduler time)
    std::optional<FocusPlanner::Decisions> decisions;
    std::uint64_t serial = 0;      // of the reading shown
    std::uint64_t lastSerial = 0;  // the last handed out
    int budget = 0;                // the candidates the last request asked for

    std::uint64_t nextSerial() { return ++lastSerial; }
    const FocusPlanner::Decisions* decided() const { return decisions ? &*decisions : nullptr; }
};

}  // namespace ovra
