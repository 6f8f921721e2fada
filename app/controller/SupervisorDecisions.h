#pragma once

// The model supervisor as the request cycle asks it.

#include "app/controller/ControllerServices.h"
#include "app/model/ModelSupervisor.h"

namespace ovra {

class SupervisorDecisions final : public DecisionModel {
  public:
    explicit SupervisorDecisions(ModelSupervisor& supervisor) : supervisor_(supervisor) {}

    bool isReady() const override { return supervisor_.status().isReady(); }
    void resumeAfterMemoryPause(bool wanted) override {
        supervisor_.resumeAfterMemoryPause(wanted);
    }
    void decide(const WindowSnapshot& snapshot,
                std::function<void(std::optional<FocusPlanner::Decisions>)> done) override;
    void recoverLostWorker() override { supervisor_.recoverLostWorker(); }
    void start(const std::string& directory, const std::string& model) override {
        supervisor_.start(directory, model);
    }
    void stop() override { supervisor_.stop(); }

  private:
    ModelSupervisor& supervisor_;
};

}  // namespace ovra
