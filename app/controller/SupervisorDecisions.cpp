#include "app/controller/SupervisorDecisions.h"

namespace ovra {

void SupervisorDecisions::decide(const WindowSnapshot& snapshot,
                                 std::function<void(std::optional<FocusPlanner::Decisions>)> done) {
    supervisor_.decide(snapshot, [done = std::move(done)](ModelSupervisor::DecideResult result) {
        if (!result) {
            done(std::nullopt);
            return;
        }
        FocusPlanner::Decisions decisions;
        for (auto& [id, decision] : result.value()) {
            decisions.emplace(id, decision);
        }
        done(std::move(decisions));
    });
}

}  // namespace ovra
