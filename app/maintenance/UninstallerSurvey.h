#pragma once

// What removing the app frees, found out away from the UI thread, since any of its folders may
// lie on a mount that stops answering: each place is looked at by a job of its own, so a hung
// folder holds up only its own job, and the answers come back on the main thread as they
// arrive, each one telling what is known again. A place still unanswered kBound after the start
// is named as not answering and the others are counted without it; should it answer later, it
// counts from then on. Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/maintenance/UninstallerFiles.h"
#include "app/maintenance/UninstallerText.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class UninstallerSurvey final {
  public:
    // How long a place may take before it is told as not answering.
    static constexpr double kBound = 2;

    // What a look at one place found.
    struct Found {
        UninstallerFiles::Usage usage;  // of what removing the app deletes there
        bool model = false;             // all of it is the on-device model's
        std::optional<bool> appMovesToTrash;
    };
    // One place: its name as people read it, and the look itself, which runs on a worker.
    struct Place {
        std::string shown;
        std::function<Found()> look;
    };
    // Runs `work` on a worker thread, then `then` on the main thread; none: both here, at once.
    using Offload = std::function<void(std::function<void()> work, std::function<void()> then)>;

    // Starts a look at every place. Without a scheduler no place is ever told as not answering.
    UninstallerSurvey(std::vector<Place> places, const Offload& offload, Scheduler* scheduler);
    // Later answers are dropped.
    ~UninstallerSurvey();
    UninstallerSurvey(const UninstallerSurvey&) = delete;
    UninstallerSurvey& operator=(const UninstallerSurvey&) = delete;

    // What is known now: the sizes once every place answered or the bound passed.
    UninstallerText::Known known() const;
    // Called with what is known each time an answer or the bound changes it.
    void onChange(std::function<void(const UninstallerText::Known&)> changed);

  private:
    struct State;
    std::shared_ptr<State> state_;
    Scheduler* scheduler_;
    Scheduler::Token bound_ = 0;
};

}  // namespace ovra
