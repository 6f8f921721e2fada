#include "app/diagnostics/selftest/SelfTestRunner.h"

#include <memory>

namespace ovra::selftest {

namespace {

struct Run {
    std::vector<Step> steps;
    double gap = 0;
    Scheduler* scheduler = nullptr;
    RunnerOutput output;
    bool quiet = false;
};

void runFrom(const std::shared_ptr<Run>& run, std::size_t index) {
    if (index >= run->steps.size()) {
        run->output.print("done");
        run->output.exit(0);
        return;
    }
    Step& step = run->steps[index];
    if (step.action) {
        step.action();
    }
    run->scheduler->after(run->gap, [run, index] {
        if (!run->quiet) {
            run->output.print("[" + run->steps[index].name + "] " + run->output.state());
        }
        runFrom(run, index + 1);
    });
}

void start(std::vector<Step> steps, double gap, Scheduler& scheduler, RunnerOutput output,
           bool quiet) {
    auto run =
        std::make_shared<Run>(Run{std::move(steps), gap, &scheduler, std::move(output), quiet});
    runFrom(run, 0);
}

}  // namespace

void run(std::vector<Step> steps, double gap, Scheduler& scheduler, RunnerOutput output) {
    start(std::move(steps), gap, scheduler, std::move(output), false);
}

void runQuiet(std::vector<Step> steps, double gap, Scheduler& scheduler, RunnerOutput output) {
    start(std::move(steps), gap, scheduler, std::move(output), true);
}

}  // namespace ovra::selftest
