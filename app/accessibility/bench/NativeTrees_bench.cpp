// Readings of native windows whose trees have no end in sight, over the real accessibility bus:
// the scripted app of testing/desktop/FakePanelsApp.h in this process (unnamed panels 60 wide
// and six deep, a panel that declares one child and lists 50,000, panels 500 wide, and a small
// tree of the same app). Each reading starts cold. What a reading may cost on a machine of the
// smallest size these machines come in (2 cores), and what the counters give:
//
// - time: a reading ends within its 3 s deadline ("cutShort" is the share of readings that ran
//   into it; 0 is the aim, and the window is then told "too large" only for what no budget
//   reads), and no request runs out of the app's 0.25 s time-out ("timeouts" a reading: 0);
// - "peakMiB": this process's peak over what it held before the readings, fake app included:
//   within 100 MiB;
// - "keptMiB": what it still holds once the backend's time to keep a reading (1 s here) is over:
//   within 12 MiB.
//
// Run it in a private desktop:
//
//   scripts/with-desktop build/ci/app/accessibility/NativeTrees_bench

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/accessibility/AXExtractor.h"
#include "platform/atspi/AtspiBackend.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/FakePanelsApp.h"
#include "testing/desktop/ProcessStatus.h"

namespace {

using namespace ovra;

constexpr double kMiB = 1024.0;  // in the kB of /proc
constexpr double kReadingKeptSeconds = 1.0;

double loadAverage() {
    double load = 0;
    if (std::FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(file, "%lf", &load) != 1) {
            load = 0;
        }
        std::fclose(file);
    }
    return load;
}

long statusKb(const char* key) {
    return testing::statusKb(getpid(), key);
}

void BM_NativeTree(benchmark::State& state, testing::PanelShape shape) {
    testing::FakePanelsApp fake(shape);
    atspi::AtspiBackend backend({.readingKeptSeconds = kReadingKeptSeconds});
    testing::RealClock clock;
    const AXExtractor extractor{6, 14, 48, 4000};
    const ax::RunningApp app{getpid(), std::string("Panels")};
    // The app is on the bus once its element is the fake's.
    for (int tries = 0;
         tries < 100 &&
         !(fake.ready() && backend.applicationElement(app).key().starts_with(fake.busName()));
         ++tries) {
        clock.sleep(0.1);
    }
    if (!fake.ready()) {
        state.SkipWithError("the scripted app never joined the accessibility bus");
        return;
    }
    const long idle = statusKb("VmRSS");
    testing::resetPeak();
    int cutShort = 0;
    int timeouts = 0;
    int candidates = 0;
    std::size_t requests = 0;
    for (auto _ : state) {
        state.PauseTiming();
        backend.forgetReadings();
        state.ResumeTiming();
        const std::size_t sent = backend.requestsSent();
        const ax::Element appElement = backend.applicationElement(app);
        backend.setMessagingTimeout(appElement, AXExtractor::kMessagingTimeout);
        BoundedReader reader(backend, clock);
        const auto read = extractor.read(reader, app, appElement);
        cutShort += reader.timeUp() ? 1 : 0;
        timeouts += reader.timeouts();
        candidates = read ? static_cast<int>(read.value().candidates.size()) : -1;
        requests = backend.requestsSent() - sent;
        benchmark::DoNotOptimize(read);
    }
    const long peak = statusKb("VmHWM") - idle;
    // What the last reading kept goes back once its time is over (the backend looks between
    // readings, about every 50 ms).
    clock.sleep(kReadingKeptSeconds + 0.5);
    const long kept = statusKb("VmRSS") - idle;
    state.counters["cutShort"] = benchmark::Counter(cutShort, benchmark::Counter::kAvgIterations);
    state.counters["timeouts"] = benchmark::Counter(timeouts, benchmark::Counter::kAvgIterations);
    state.counters["candidates"] = candidates;
    state.counters["requests"] = static_cast<double>(requests);
    state.counters["peakMiB"] = static_cast<double>(peak) / kMiB;
    state.counters["keptMiB"] = static_cast<double>(kept) / kMiB;
    state.counters["load"] = loadAverage();
}
BENCHMARK_CAPTURE(BM_NativeTree, SixtyWideSixDeep, testing::PanelShape{.wide = 60, .deep = 6})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_NativeTree, OneChildDeclaredFiftyThousandListed,
                  testing::PanelShape{.wide = 2, .deep = 1, .liar = 50'000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_NativeTree, FiveHundredWide,
                  testing::PanelShape{.wide = 500, .deep = 6, .button = false})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_NativeTree, SmallAndWhole, testing::PanelShape{.wide = 3, .deep = 3})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
