#pragma once

// Reading a feature's instructions aloud from the Instructions pane, in the app's own voice with
// the saved voice and rate (whether or not spoken feedback is on). The same call starts and
// stops a feature's reading; starting another feature cuts the last one off. Showing another
// feature or another pane queues a stop for the next turn, which acts only if a reading is still
// going and it is not of the feature the pane now shows, so a reading started in the same turn
// as the change is never cut off by it. Every start and stop moves a token on: the late end of an
// utterance that was cut off never clears the state of a newer reading. Main thread only.

#include <functional>
#include <memory>

#include "app/settings/DashboardModel.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class FocusVoice;
class Preferences;

class InstructionReader final {
  public:
    struct Services {
        DashboardModel& dashboard;
        FocusVoice& voice;
        const Preferences& prefs;
        Scheduler& scheduler;
        std::function<DictationSource()> dictation;
    };

    explicit InstructionReader(Services services);
    ~InstructionReader();
    InstructionReader(const InstructionReader&) = delete;
    InstructionReader& operator=(const InstructionReader&) = delete;

    // Reads the feature's card aloud; stops instead when that feature is being read.
    void read(OvraFeature feature);
    // Stops any reading at once (the settings window closed); nothing when none is going.
    void stop();
    // Moves on at every start and stop.
    int token() const { return token_; }

  private:
    void dashboardChanged(DashboardField field);

    Services services_;
    int token_ = 0;
    OvraPane seenPane_;
    OvraFeature seenFeature_;
    Scheduler::Token queuedStop_ = 0;
    DashboardModel::ListenerId listener_;
    // Completions that outlive the reader find it gone.
    std::shared_ptr<InstructionReader*> self_;
};

}  // namespace ovra
