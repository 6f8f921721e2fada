// Reading real Chromium pages of about 1,000 and 3,000 accessible nodes: the pipelined AT-SPI
// backend (cold: a fresh connection; warm: the same backend again) against a straightforward
// sequential libatspi walk over the same number of nodes. Run it inside a private desktop:
//
//   scripts/with-desktop build/dev/app/accessibility/AtspiRead_bench

#include <atspi/atspi.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "app/accessibility/AXExtractor.h"
#include "app/accessibility/AXWalk.h"
#include "core/Candidate.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/atspi/AtspiMapping.h"
#include "platform/atspi/tests/desktop/DesktopReading.h"
#include "platform/atspi/tests/desktop/LaunchedApp.h"

namespace {

using ovra::AXExtractor;
using ovra::testing::LaunchedApp;

// A page of `cells` small blocks, each a section holding a link and a line of text, laid out
// in a grid that fits the window, so that off-screen pruning keeps every node in the reading.
std::string writePage(int cells) {
    const auto path =
        std::filesystem::temp_directory_path() / ("ovra-bench-" + std::to_string(cells) + ".html");
    std::ofstream page(path);
    page << "<!DOCTYPE html><html><head><meta charset=utf-8><title>Bench " << cells
         << "</title><style>body{margin:0;font:7px sans-serif;display:grid;"
            "grid-template-columns:repeat(40,1fr);} div{height:14px;overflow:hidden}"
            "</style></head><body>\n";
    for (int i = 0; i < cells; ++i) {
        page << "<div><a href=\"#c" << i << "\">L" << i << "</a><b>t" << i << "</b></div>\n";
    }
    page << "</body></html>\n";
    return "file://" + path.string();
}

struct Page {
    LaunchedApp app;
    ovra::ax::RunningApp running;
    int nodes = 0;  // what one reading reads
};

AXExtractor extractor() {
    return AXExtractor{6, 150, 48, 4000};
}

// Chromium on a generated page, started once per size and read until the page is in.
Page* page(int cells) {
    static std::map<int, std::unique_ptr<Page>> pages;
    auto& slot = pages[cells];
    if (slot) {
        return slot.get();
    }
    if (std::getenv("OVRA_DESKTOP") == nullptr) {
        return nullptr;
    }
    auto fresh = std::make_unique<Page>();
    fresh->app = LaunchedApp::chromium(writePage(cells));
    fresh->running = ovra::ax::RunningApp{fresh->app.pid(), std::nullopt};
    ovra::atspi::AtspiBackend backend;
    ovra::testing::RealClock clock;
    const std::string last = "L" + std::to_string(cells - 1);
    const bool ready = ovra::testing::eventually(
        [&] {
            auto read = extractor().snapshot(fresh->running, backend, clock);
            if (!read) {
                return false;
            }
            return ovra::testing::find(read.value(), last) != nullptr ||
                   read.value().candidates.size() >= 150;
        },
        60);
    if (!ready) {
        return nullptr;
    }
    slot = std::move(fresh);
    return slot.get();
}

// The nodes one reading takes off its work list (the same walk the snapshot runs).
int nodesRead(ovra::ax::AccessibilityBackend& backend, const ovra::ax::RunningApp& app) {
    ovra::testing::RealClock clock;
    auto read = extractor().snapshot(app, backend, clock);
    if (!read) {
        return 0;
    }
    ovra::BoundedReader reader(backend, clock);
    const auto& s = read.value();
    return ovra::walk(reader, s.windowElement, s.windowFrame, ovra::WalkLimits{6, 48, 4000})
        .nodesRead;
}

// Cold: the backend is connected but has read nothing (an app's first reading, or the first
// after it changed). Warm: the page is unchanged since the last reading.
void readPipelined(benchmark::State& state, bool warm) {
    Page* p = page(static_cast<int>(state.range(0)));
    if (p == nullptr) {
        state.SkipWithError("needs a desktop with Chromium: run under scripts/with-desktop");
        return;
    }
    ovra::testing::RealClock clock;
    ovra::atspi::AtspiBackend backend;
    // Connect, and give the apps a moment to learn that someone listens for their changes (as
    // happens once, when the app starts), then fill the cache.
    (void)backend.isProcessTrusted();
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    (void)extractor().snapshot(p->running, backend, clock);
    std::size_t candidates = 0;
    std::size_t requests = 0;
    for (auto _ : state) {
        if (!warm) {
            state.PauseTiming();
            backend.forgetReadings();
            state.ResumeTiming();
        }
        const std::size_t before = backend.requestsSent();
        auto read = extractor().snapshot(p->running, backend, clock);
        requests = backend.requestsSent() - before;
        if (!read) {
            state.SkipWithError("the page could not be read");
            return;
        }
        candidates = read.value().candidates.size();
        benchmark::DoNotOptimize(candidates);
    }
    state.counters["nodes"] = nodesRead(backend, p->running);
    state.counters["requests"] = static_cast<double>(requests);
    state.counters["candidates"] = static_cast<double>(candidates);
}

void BM_PipelinedCold(benchmark::State& state) {
    readPipelined(state, false);
}
void BM_PipelinedWarm(benchmark::State& state) {
    readPipelined(state, true);
}

// What a plain libatspi client does: one blocking round trip per attribute, node by node,
// breadth first, over as many nodes as the pipelined reading reads, asking what the reading
// asks: role, name, description, states, frame, children, the actions of pressable containers
// and whether a text input holds text. libatspi's own cache is cleared first: a cold read.
int sequentialWalk(AtspiAccessible* window, int budget) {
    atspi_accessible_clear_cache(window);
    std::deque<AtspiAccessible*> queue{static_cast<AtspiAccessible*>(g_object_ref(window))};
    int read = 0;
    while (!queue.empty()) {
        AtspiAccessible* node = queue.front();
        queue.pop_front();
        if (read < budget) {
            ++read;
            GError* error = nullptr;
            const AtspiRole role = atspi_accessible_get_role(node, &error);
            g_clear_error(&error);
            g_free(atspi_accessible_get_name(node, &error));
            g_clear_error(&error);
            g_free(atspi_accessible_get_description(node, &error));
            g_clear_error(&error);
            ovra::atspi::StateSet states;
            if (AtspiStateSet* set = atspi_accessible_get_state_set(node)) {
                for (int state : {ATSPI_STATE_EDITABLE, ATSPI_STATE_MULTI_LINE}) {
                    if (atspi_state_set_contains(set, static_cast<AtspiStateType>(state))) {
                        states = states.with(state);
                    }
                }
                g_object_unref(set);
            }
            if (AtspiComponent* component = atspi_accessible_get_component_iface(node)) {
                g_free(atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, &error));
                g_clear_error(&error);
                g_object_unref(component);
            }
            ovra::atspi::RoleFacts facts;
            facts.role = static_cast<std::uint32_t>(role);
            facts.states = states;
            const std::string axRole = ovra::atspi::mapRole(facts).role;
            if (ovra::CandidateRoles::pressableContainers().contains(axRole)) {
                if (AtspiAction* action = atspi_accessible_get_action_iface(node)) {
                    const gint count = atspi_action_get_n_actions(action, &error);
                    g_clear_error(&error);
                    for (gint i = 0; i < count; ++i) {
                        g_free(atspi_action_get_action_name(action, i, &error));
                        g_clear_error(&error);
                    }
                    g_object_unref(action);
                }
            }
            if (ovra::atspi::isTextInputRole(facts.role)) {
                if (AtspiText* text = atspi_accessible_get_text_iface(node)) {
                    atspi_text_get_character_count(text, &error);
                    g_clear_error(&error);
                    g_object_unref(text);
                }
            }
            const bool leaf = axRole == "AXStaticText" || axRole == "AXImage" ||
                              (ovra::CandidateRoles::interactive().contains(axRole) &&
                               axRole != "AXLink" && axRole != "AXComboBox");
            if (!leaf) {
                const gint count = atspi_accessible_get_child_count(node, &error);
                g_clear_error(&error);
                for (gint i = 0; i < count && read + static_cast<int>(queue.size()) < budget; ++i) {
                    if (AtspiAccessible* child =
                            atspi_accessible_get_child_at_index(node, i, &error)) {
                        queue.push_back(child);
                    }
                    g_clear_error(&error);
                }
            }
        }
        g_object_unref(node);
    }
    return read;
}

AtspiAccessible* activeWindowOf(pid_t pid) {
    AtspiAccessible* desktop = atspi_get_desktop(0);
    AtspiAccessible* found = nullptr;
    const gint apps = atspi_accessible_get_child_count(desktop, nullptr);
    for (gint i = 0; i < apps && found == nullptr; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
        if (app == nullptr) {
            continue;
        }
        if (static_cast<pid_t>(atspi_accessible_get_process_id(app, nullptr)) == pid) {
            const gint windows = atspi_accessible_get_child_count(app, nullptr);
            for (gint w = 0; w < windows && found == nullptr; ++w) {
                AtspiAccessible* window = atspi_accessible_get_child_at_index(app, w, nullptr);
                if (window == nullptr) {
                    continue;
                }
                // Each page has its own browser with one window: active or not, it is the one.
                found = window;
            }
        }
        g_object_unref(app);
    }
    g_object_unref(desktop);
    return found;
}

void BM_SequentialLibatspi(benchmark::State& state) {
    Page* p = page(static_cast<int>(state.range(0)));
    if (p == nullptr) {
        state.SkipWithError("needs a desktop with Chromium: run under scripts/with-desktop");
        return;
    }
    static const bool initialised = atspi_init() >= 0;
    (void)initialised;
    ovra::atspi::AtspiBackend counter;
    const int budget = nodesRead(counter, p->running);
    AtspiAccessible* window = activeWindowOf(p->app.pid());
    if (window == nullptr) {
        state.SkipWithError("libatspi found no active Chromium window");
        return;
    }
    int read = 0;
    for (auto _ : state) {
        read = sequentialWalk(window, budget);
    }
    g_object_unref(window);
    state.counters["nodes"] = read;
}

}  // namespace

BENCHMARK(BM_PipelinedCold)->Arg(250)->Arg(750)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PipelinedWarm)->Arg(250)->Arg(750)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SequentialLibatspi)->Arg(250)->Arg(750)->Unit(benchmark::kMillisecond)->Iterations(3);
