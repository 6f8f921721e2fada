#include "app/settings/instructions/InstructionReader.h"

#include "app/controller/FocusVoice.h"
#include "app/controller/Preferences.h"

namespace ovra {

InstructionReader::InstructionReader(Services services)
    : services_(std::move(services)),
      seenPane_(services_.dashboard.pane()),
      seenFeature_(services_.dashboard.feature()),
      self_(std::make_shared<InstructionReader*>(this)) {
    listener_ =
        services_.dashboard.onChange([this](DashboardField field) { dashboardChanged(field); });
}

InstructionReader::~InstructionReader() {
    services_.dashboard.removeListener(listener_);
    services_.scheduler.cancel(queuedStop_);
}

void InstructionReader::read(OvraFeature feature) {
    DashboardModel& dashboard = services_.dashboard;
    if (dashboard.reading() == feature) {
        stop();
        return;
    }
    const int token = ++token_;
    dashboard.setReading(feature);
    const std::string text =
        feature.readAloud(services_.prefs.hotkey().label, services_.dictation());
    const std::string& voiceID = services_.prefs.get(keys::voiceID);
    // The voice cuts off what it was saying and tells the sibling apps before it speaks.
    services_.voice.speak(text,
                          voiceID.empty() ? std::nullopt : std::optional<std::string>(voiceID),
                          services_.prefs.get(keys::voiceRate),
                          [weak = std::weak_ptr<InstructionReader*>(self_), token] {
                              const auto self = weak.lock();
                              if (self && (*self)->token_ == token) {
                                  (*self)->services_.dashboard.setReading(std::nullopt);
                              }
                          });
}

void InstructionReader::stop() {
    if (!services_.dashboard.reading()) {
        return;
    }
    ++token_;
    services_.dashboard.setReading(std::nullopt);
    services_.voice.stop();
}

void InstructionReader::dashboardChanged(DashboardField field) {
    const DashboardModel& dashboard = services_.dashboard;
    bool moved = false;
    if (field == DashboardField::pane && dashboard.pane() != seenPane_) {
        seenPane_ = dashboard.pane();
        moved = true;
    } else if (field == DashboardField::feature && dashboard.feature() != seenFeature_) {
        seenFeature_ = dashboard.feature();
        moved = true;
    }
    if (!moved || queuedStop_ != 0) {
        return;
    }
    queuedStop_ = services_.scheduler.after(0, [this] {
        queuedStop_ = 0;
        const DashboardModel& now = services_.dashboard;
        const bool shownIsRead =
            now.pane() == OvraPane::instructions && now.reading() == now.feature();
        if (now.reading() && !shownIsRead) {
            stop();
        }
    });
}

}  // namespace ovra
