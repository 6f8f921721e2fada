// From the hotkey to the first numbered plan painted: the app's controller over the desktop's own
// services (the accessibility worker, the overlay panel, the global hotkey) in this process,
// Chromium showing a page of small blocks (a section, a link and two texts each, in a grid of
// 40 columns), its own settings page, an API's documentation in Swagger UI (installed from the
// npm registry), or a page of 200 cards laid partly over each other. Each page is measured in one
// stretch, shown alone:
//
// - HotkeyToPlan: the hotkey typed through XTest until the overlay painted a plan with numbered
//   highlights and the paint reached the X server; the overlay is then closed outside the
//   timing. Cold: the accessibility backend forgot every earlier reading (an app read for the
//   first time, or after it changed). Warm: the page is unchanged since the last reading.
//   Counters: the UI thread's CPU time for the whole open and close, and the first frame's
//   paint until flushed.
// - Reading: the reading alone, cold, on this thread (what the worker does), with no answers of
//   the toolkit's hit test kept from earlier readings (the controller keeps them while a page
//   tells of no change, so its cold hotkey above asks again only what changed).
// - SequentialLibatspi: what a plain libatspi client does over as many nodes as the reading
//   reads: one blocking round trip per attribute, node by node.
// - PausedBrowser (the largest page only): the hotkey typed, cold, and the browser paused a
//   moment later (at once, up to a second and a half), until the overlay shows a plan or says
//   the browser does not respond; the overlay is closed and the browser resumed. Counters: the
//   readings that gave the browser up and the plans. Run it in the sanitizer build as well
//   (configured with OVRA_BENCHMARKS on), where it must end without a report:
//
//   scripts/with-desktop build/sanitize/app/main/HotkeyToPlan_bench --benchmark_filter=Paused
//
// - SlowedBrowser (the largest page only): as PausedBrowser, but the browser is stopped and let
//   run in turn (a few tenths of a second each) instead of paused, so that requests time out,
//   others are answered late after their readings gave them up, and readings start over while
//   late answers still come in. No message may call the window too large. Run it in the
//   sanitizer build as well (--benchmark_filter='Paused|Slowed').
//
// Every benchmark gives the load average it ran under. Run it in a private desktop:
//
//   scripts/with-desktop build/ci/app/main/HotkeyToPlan_bench

#include <atspi/atspi.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <utility>

#include "app/accessibility/AXWalk.h"
#include "app/controller/AccessibilityWorkerThread.h"
#include "app/controller/AppSettings.h"
#include "app/main/DesktopController.h"
#include "app/overlay/OverlayPanel.h"
#include "app/overlay/OverlayView.h"
#include "core/Candidate.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/atspi/AtspiMapping.h"
#include "platform/input/XTestInputSynthesizer.h"
#include "platform/keyboard/X11Keyboard.h"
#include "platform/scheduler/QtScheduler.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/LaunchedApp.h"

namespace {

using namespace ovra;

// Pages by their cells; Chromium's own window adds 137 nodes to the four of each cell.
constexpr int kSizes[] = {250, 750, 2500, 7522};
constexpr int kNodesOutsideThePage = 137;
// Two pages that are not grids of cells: Chromium's own settings, opened through its address
// bar, and 200 cards laid partly over each other (a link over the whole card and a button in its
// corner each), as a shop's or a gallery's page lays them.
constexpr int kSettingsPage = -1;
constexpr int kCardsPage = -2;
// An API's documentation page as Swagger UI draws it (from the npm registry, at a pinned
// version): ten operations under three tags.
constexpr int kSwaggerPage = -3;

std::string writePage(int cells) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("ovra-hotkey-bench-" + std::to_string(cells) + ".html");
    std::ofstream page(path);
    page << "<!DOCTYPE html><html><head><meta charset=utf-8><title>Bench " << cells
         << "</title><style>"
            "body{margin:0;font:7px sans-serif;display:grid;grid-template-columns:repeat(40,1fr)}"
            "div{height:14px;overflow:hidden}</style></head><body>\n";
    for (int i = 0; i < cells; ++i) {
        page << "<div><a href=\"#c" << i << "\">L" << i << "</a><b>t" << i << "</b></div>\n";
    }
    page << "</body></html>\n";
    return "file://" + path.string();
}

std::string writeCards(int cards) {
    const auto path = std::filesystem::temp_directory_path() / "ovra-hotkey-bench-cards.html";
    std::ofstream page(path);
    page << "<!DOCTYPE html><html><head><meta charset=utf-8><title>Cards</title><style>"
            "body{margin:0;font:12px sans-serif;display:flex;flex-wrap:wrap}"
            ".card{position:relative;width:130px;height:90px;margin:0 -14px -14px 0;"
            "background:#fff;border:1px solid #888;box-shadow:0 1px 4px #0004}"
            ".card a{display:block;height:100%;padding:6px;box-sizing:border-box}"
            ".card button{position:absolute;right:4px;top:4px;width:28px;height:24px}"
            "</style></head><body>\n";
    for (int i = 0; i < cards; ++i) {
        page << "<div class=card><a href=\"#c" << i << "\">Card " << i << "<br><small>Detail " << i
             << "</small></a><button aria-label=\"Save card " << i << "\">&#9825;</button></div>\n";
    }
    page << "</body></html>\n";
    return "file://" + path.string();
}

// Swagger UI's page, its library installed beside it; empty when npm could not install it.
std::string writeSwagger() {
    const auto folder = std::filesystem::temp_directory_path() / "ovra-hotkey-bench-swagger";
    const std::string install = "npm install --no-save --no-audit --no-fund --silent --prefix '" +
                                folder.string() + "' swagger-ui-dist@5.36.0 >&2";
    if (std::system(install.c_str()) != 0) {
        return "";
    }
    std::ofstream page(folder / "index.html");
    page << "<!DOCTYPE html><html lang=en><head><meta charset=utf-8><title>Swagger</title>"
            "<link rel=stylesheet href='node_modules/swagger-ui-dist/swagger-ui.css'></head>"
            "<body><div id=swagger-ui></div>"
            "<script src='node_modules/swagger-ui-dist/swagger-ui-bundle.js'></script><script>"
            "const spec = {openapi: '3.0.0', info: {title: 'Pet shop', version: '1.0.0'},"
            " tags: [{name: 'pet'}, {name: 'store'}, {name: 'user'}], paths: {}};"
            "for (const [tag, path, method, summary] of ["
            " ['pet', '/pet', 'post', 'Add a new pet'], ['pet', '/pet', 'put', 'Update a pet'],"
            " ['pet', '/pet/findByStatus', 'get', 'Find pets by status'],"
            " ['pet', '/pet/{petId}', 'get', 'Find pet by ID'],"
            " ['pet', '/pet/{petId}', 'delete', 'Delete a pet'],"
            " ['store', '/store/inventory', 'get', 'Returns inventory'],"
            " ['store', '/store/order', 'post', 'Place an order'],"
            " ['user', '/user', 'post', 'Create user'], ['user', '/user/login', 'get', 'Log in'],"
            " ['user', '/user/logout', 'get', 'Log out']]) {"
            " spec.paths[path] = spec.paths[path] || {};"
            " spec.paths[path][method] = {tags: [tag], summary,"
            " responses: {'200': {description: 'OK'}}}; }"
            "SwaggerUIBundle({spec, dom_id: '#swagger-ui'});</script></body></html>\n";
    return "file://" + (folder / "index.html").string();
}

std::string pageName(int cells) {
    return cells == kSettingsPage  ? "settings"
           : cells == kCardsPage   ? "cards200"
           : cells == kSwaggerPage ? "swagger"
                                   : std::to_string(cells * 4 + kNodesOutsideThePage);
}

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

// CPU time of the calling thread, in nanoseconds.
qint64 threadCpu() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    auto nanos = [](const timeval& t) {
        return static_cast<qint64>(t.tv_sec) * 1'000'000'000 +
               static_cast<qint64>(t.tv_usec) * 1000;
    };
    return nanos(usage.ru_utime) + nanos(usage.ru_stime);
}

// The event loop that waits, so that what it waits for can end it at once.
QEventLoop* waiting = nullptr;

// Runs the event loop, sleeping between events, until `done` holds or `seconds` passed. What
// makes `done` hold ends the wait through `waiting`; the slow poll is only a safety net, so the
// wait costs the UI thread next to nothing.
bool spinUntil(const std::function<bool()>& done, double seconds) {
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QTimer poll;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done()) {
            loop.quit();
        }
    });
    poll.start(50);
    QEventLoop* outer = std::exchange(waiting, &loop);
    loop.exec();
    waiting = outer;
    return done();
}

void endWait() {
    if (waiting) {
        waiting->quit();
    }
}

const AXExtractor kReader{6, 24, 48, 4000};

// The nodes one reading takes off its work list (the same walk the snapshot runs).
int nodesRead(ax::AccessibilityBackend& backend, const ax::RunningApp& app) {
    testing::RealClock clock;
    auto read = kReader.snapshot(app, backend, clock);
    if (!read) {
        return 0;
    }
    BoundedReader reader(backend, clock);
    return walk(reader, read.value().windowElement, read.value().windowFrame,
                WalkLimits{6, 48, 4000})
        .nodesRead;
}

// The desktop with the app's controller and the hotkey typist, made once; Chromium on one page
// at a time.
struct Desk : QObject {
    QtScheduler scheduler;
    desktop::MemorySettings desktopSettings;
    std::unique_ptr<AppSettings> settings;
    testing::LaunchedApp chromium;
    int cells = 0;
    int nodes = 0;
    std::unique_ptr<DesktopController> desktop;
    std::unique_ptr<keyboard::X11Keyboard> keyboard;
    std::unique_ptr<input::XTestInputSynthesizer> typist;
    // Set at the first paint of a numbered plan while `watching`: of a scene laid out with it, as
    // the model's change reaches the view only at the event loop's next turn.
    bool watching = false;
    bool painted = false;
    // Set at the first paint of a plan or a message while `settling`.
    bool settling = false;
    bool settled = false;
    bool gaveUp = false;
    // Messages that called a stalled browser's window too large.
    int toldTooLarge = 0;
    qint64 paintStart = 0;
    qint64 paintedAt = 0;
    QElapsedTimer clock;

    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto* view = qobject_cast<OverlayView*>(watched);
        if (settling && event->type() == QEvent::Paint && view &&
            view->scene().hud.kind != HudContent::Kind::loading) {
            settling = false;
            settled = true;
            gaveUp = view->scene().hud.kind == HudContent::Kind::message;
            if (gaveUp && view->scene().hud.headline == description(AXExtractorError::tooLarge)) {
                ++toldTooLarge;
            }
            QTimer::singleShot(0, this, [] { endWait(); });
        }
        if (watching && event->type() == QEvent::Paint && view && view->scene().planVisible &&
            !view->scene().rings.empty()) {
            watching = false;
            paintStart = clock.nsecsElapsed();
            // After this paint and its flush to the server.
            QTimer::singleShot(0, this, [this] {
                paintedAt = clock.nsecsElapsed();
                painted = true;
                endWait();
            });
        }
        return QObject::eventFilter(watched, event);
    }

    void typeHotkey() {
        const auto& layout = keyboard->layout();
        const std::uint16_t keys[] = {59, 58, 49};  // Ctrl, Alt, Space
        std::vector<input::KeyCode> chord;
        for (const std::uint16_t key : keys) {
            chord.push_back(static_cast<input::KeyCode>(layout.xKeycode(key).value_or(0)));
        }
        typist->typeChord(chord);
    }

    void watchPanel() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* panel = qobject_cast<OverlayPanel*>(widget)) {
                panel->view().installEventFilter(this);
            }
        }
    }

    void forget() {
        // Shared, not on the stack: a worker busy with a reading of a hung app answers after
        // this wait has given up, and must then write into something that still exists.
        // Nor may it then end a later wait.
        struct Forgetting {
            bool done = false;
            bool abandoned = false;
        };
        auto forgot = std::make_shared<Forgetting>();
        desktop->worker().post([this, forgot] {
            desktop->backend().forgetReadings();
            QMetaObject::invokeMethod(this, [forgot] {
                forgot->done = true;
                if (!forgot->abandoned) {
                    endWait();
                }
            });
        });
        forgot->abandoned = !spinUntil([&] { return forgot->done; }, 5);
    }

    struct Open {
        qint64 toPlan = -1;  // hotkey to the plan painted; negative when no plan came
        qint64 uiCpu = 0;    // the UI thread's CPU for the open and the close
        qint64 firstFrame = 0;
    };

    // One hotkey-to-plan; the overlay is closed again afterwards.
    Open once(bool cold) {
        if (cold) {
            forget();
        }
        painted = false;
        watching = true;
        const qint64 cpu = threadCpu();
        const qint64 start = clock.nsecsElapsed();
        typeHotkey();
        const bool done = spinUntil([&] { return painted; }, 10);
        watching = false;
        desktop->controller().dismiss();
        spinUntil([] { return false; }, 0.4);
        Open open;
        open.uiCpu = threadCpu() - cpu;
        if (done) {
            open.toPlan = paintedAt - start;
            open.firstFrame = paintedAt - paintStart;
        }
        return open;
    }

    // One hotkey, cold, with the browser paused `pauseAfter` seconds later until the overlay
    // shows a plan or a message; the overlay is then closed and the browser resumed. The time
    // to that plan or message; negative when neither came.
    qint64 paused(double pauseAfter) {
        forget();
        settled = false;
        gaveUp = false;
        settling = true;
        const qint64 start = clock.nsecsElapsed();
        typeHotkey();
        spinUntil([&] { return settled; }, pauseAfter);
        chromium.signal(SIGSTOP);
        const bool done = spinUntil([&] { return settled; }, 15);
        const qint64 took = clock.nsecsElapsed() - start;
        settling = false;
        desktop->controller().dismiss();
        chromium.signal(SIGCONT);
        spinUntil([] { return false; }, 0.4);
        return done ? took : -1;
    }

    // As `paused`, but the browser is slowed, not stopped: paused for `stalled` seconds and
    // let run for `running`, over and over, so that some requests time out and others are
    // answered late, after their readings gave them up.
    qint64 slowed(double slowAfter, double stalled, double running) {
        forget();
        settled = false;
        gaveUp = false;
        settling = true;
        const qint64 start = clock.nsecsElapsed();
        typeHotkey();
        spinUntil([&] { return settled; }, slowAfter);
        bool stopped = false;
        QTimer duty;
        duty.setSingleShot(true);
        QObject::connect(&duty, &QTimer::timeout, [&] {
            stopped = !stopped;
            chromium.signal(stopped ? SIGSTOP : SIGCONT);
            duty.start(static_cast<int>((stopped ? stalled : running) * 1000));
        });
        duty.start(0);
        const bool done = spinUntil([&] { return settled; }, 15);
        duty.stop();
        const qint64 took = clock.nsecsElapsed() - start;
        settling = false;
        desktop->controller().dismiss();
        chromium.signal(SIGCONT);
        spinUntil([] { return false; }, 0.4);
        return done ? took : -1;
    }

    // Chromium on a page of `count` cells, alone, read until its reading stops growing.
    bool show(int count) {
        if (cells == count) {
            return true;
        }
        chromium.stop();
        cells = 0;
        if (count == kSettingsPage) {
            chromium = testing::LaunchedApp::chromium("about:blank");
            spinUntil([] { return false; }, 2);
            testing::xdotool("key --clearmodifiers ctrl+l");
            testing::xdotool("type --delay 20 chrome://settings");
            testing::xdotool("key --clearmodifiers Return");
        } else if (count == kSwaggerPage) {
            const std::string page = writeSwagger();
            if (page.empty()) {
                return false;
            }
            chromium = testing::LaunchedApp::chromium(page);
        } else {
            chromium = testing::LaunchedApp::chromium(count == kCardsPage ? writeCards(200)
                                                                          : writePage(count));
        }
        atspi::AtspiBackend backend;
        const ax::RunningApp running{chromium.pid(), std::nullopt};
        int last = -1;
        const bool ready = testing::eventually(
            [&] {
                backend.forgetReadings();
                const int read = nodesRead(backend, running);
                const bool steady = read > (count > 0 ? 900 : 100) && read == last;
                last = read;
                return steady;
            },
            90);
        if (!ready) {
            return false;
        }
        nodes = last;
        cells = count;
        spinUntil([] { return false; }, 0.5);
        return true;
    }
};

std::unique_ptr<Desk> made;

Desk* desk(int cells) {
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (!testing::onDesktop()) {
            return nullptr;
        }
        auto d = std::make_unique<Desk>();
        d->clock.start();
        auto keyboard = keyboard::X11Keyboard::open();
        d->settings = std::make_unique<AppSettings>(d->scheduler, d->desktopSettings,
                                                    AppSettings::standardErrorReport());
        auto desktop = DesktopController::open(
            {d->settings->preferences(), d->settings->defaults(), d->scheduler}, {});
        if (!keyboard || !desktop || !d->show(cells)) {
            return nullptr;
        }
        // The built-in rules, as before the model ever loads: nothing is fetched.
        d->settings->preferences().set(keys::useModel, false);
        desktop.value()->start({.noDashboard = true});
        if (desktop.value()->hotkeyError()) {
            return nullptr;
        }
        d->keyboard = std::move(keyboard).value();
        d->desktop = std::move(desktop).value();
        auto typist = input::XTestInputSynthesizer::open();
        if (!typist) {
            return nullptr;
        }
        d->typist = std::move(typist).value();
        // The first request makes the overlay panel; it is not timed.
        d->once(false);
        d->watchPanel();
        made = std::move(d);
    }
    if (made && !made->show(cells)) {
        return nullptr;
    }
    return made.get();
}

void countLoad(benchmark::State& state, Desk* d) {
    state.counters["load"] = loadAverage();
    state.counters["page_nodes"] = d->cells > 0 ? d->cells * 4 + kNodesOutsideThePage : d->nodes;
    state.counters["nodes"] = d->nodes;
}

void hotkeyToPlan(benchmark::State& state, int cells, bool cold) {
    Desk* d = desk(cells);
    if (d == nullptr) {
        state.SkipWithError("needs a desktop with Chromium: run under scripts/with-desktop");
        return;
    }
    qint64 uiCpu = 0;
    qint64 firstFrame = 0;
    for (auto _ : state) {
        const Desk::Open open = d->once(cold);
        if (open.toPlan < 0) {
            state.SkipWithError("no plan was painted");
            return;
        }
        uiCpu += open.uiCpu;
        firstFrame += open.firstFrame;
        state.SetIterationTime(static_cast<double>(open.toPlan) / 1e9);
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["ui_cpu_ms"] = static_cast<double>(uiCpu) / 1e6 / runs;
    state.counters["first_frame_ms"] = static_cast<double>(firstFrame) / 1e6 / runs;
    countLoad(state, d);
}

// The reading alone, cold, with a backend of its own (connected, and listened to for a while
// as happens once when the app starts).
void reading(benchmark::State& state, int cells) {
    Desk* d = desk(cells);
    if (d == nullptr) {
        state.SkipWithError("needs a desktop with Chromium: run under scripts/with-desktop");
        return;
    }
    testing::RealClock clock;
    atspi::AtspiBackend backend;
    (void)backend.isProcessTrusted();
    spinUntil([] { return false; }, 1.2);
    const ax::RunningApp running{d->chromium.pid(), std::nullopt};
    std::size_t candidates = 0;
    std::size_t requests = 0;
    for (auto _ : state) {
        state.PauseTiming();
        backend.forgetReadings();
        const std::size_t before = backend.requestsSent();
        state.ResumeTiming();
        auto read = kReader.snapshot(running, backend, clock);
        requests = backend.requestsSent() - before;
        if (!read) {
            state.SkipWithError(
                ("the page could not be read: " + description(read.error())).c_str());
            return;
        }
        candidates = read.value().candidates.size();
    }
    state.counters["requests"] = static_cast<double>(requests);
    state.counters["candidates"] = static_cast<double>(candidates);
    countLoad(state, d);
}

// What a plain libatspi client does: one blocking round trip per attribute, node by node,
// breadth first, over `budget` nodes, asking what the reading asks: role, name, description,
// states, frame, children, the actions of pressable containers and whether a text input holds
// text. libatspi's own cache is cleared first: a cold read.
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
            atspi::StateSet states;
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
            atspi::RoleFacts facts;
            facts.role = static_cast<std::uint32_t>(role);
            facts.states = states;
            const std::string axRole = atspi::mapRole(facts).role;
            if (CandidateRoles::pressableContainers().contains(axRole)) {
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
            if (atspi::isTextInputRole(facts.role)) {
                if (AtspiText* text = atspi_accessible_get_text_iface(node)) {
                    atspi_text_get_character_count(text, &error);
                    g_clear_error(&error);
                    g_object_unref(text);
                }
            }
            const bool leaf = axRole == "AXStaticText" || axRole == "AXImage" ||
                              (CandidateRoles::interactive().contains(axRole) &&
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

// The one window of a Chromium process (each page has a browser of its own).
AtspiAccessible* windowOf(pid_t pid) {
    AtspiAccessible* desktop = atspi_get_desktop(0);
    AtspiAccessible* found = nullptr;
    const gint apps = atspi_accessible_get_child_count(desktop, nullptr);
    for (gint i = 0; i < apps && found == nullptr; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
        if (app == nullptr) {
            continue;
        }
        if (static_cast<pid_t>(atspi_accessible_get_process_id(app, nullptr)) == pid &&
            atspi_accessible_get_child_count(app, nullptr) > 0) {
            found = atspi_accessible_get_child_at_index(app, 0, nullptr);
        }
        g_object_unref(app);
    }
    g_object_unref(desktop);
    return found;
}

void sequentialLibatspi(benchmark::State& state, int cells) {
    Desk* d = desk(cells);
    if (d == nullptr) {
        state.SkipWithError("needs a desktop with Chromium: run under scripts/with-desktop");
        return;
    }
    static const bool initialised = atspi_init() >= 0;
    (void)initialised;
    AtspiAccessible* window = windowOf(d->chromium.pid());
    if (window == nullptr) {
        state.SkipWithError("libatspi found no Chromium window");
        return;
    }
    int read = 0;
    for (auto _ : state) {
        read = sequentialWalk(window, d->nodes);
    }
    g_object_unref(window);
    countLoad(state, d);
    state.counters["nodes"] = read;
}

// Readings of a browser that stops answering partway, given up and started again.
void pausedBrowser(benchmark::State& state, int cells) {
    Desk* d = desk(cells);
    if (d == nullptr) {
        state.SkipWithError("needs a desktop with Chromium: run under scripts/with-desktop");
        return;
    }
    constexpr double kPauses[] = {0, 0.1, 0.25, 0.5, 0.9, 1.5};
    std::size_t run = 0;
    int gaveUp = 0;
    int plans = 0;
    for (auto _ : state) {
        const qint64 took = d->paused(kPauses[run++ % std::size(kPauses)]);
        if (took < 0) {
            state.SkipWithError("the overlay showed neither a plan nor a message");
            return;
        }
        (d->gaveUp ? gaveUp : plans) += 1;
        state.SetIterationTime(static_cast<double>(took) / 1e9);
    }
    state.counters["gave_up"] = gaveUp;
    state.counters["plans"] = plans;
    countLoad(state, d);
}

// Readings of a browser that answers in fits and starts: stopped and let run in turn, at once
// or a moment after the hotkey.
void slowedBrowser(benchmark::State& state, int cells) {
    Desk* d = desk(cells);
    if (d == nullptr) {
        state.SkipWithError("needs a desktop with Chromium: run under scripts/with-desktop");
        return;
    }
    struct Slowing {
        double after, stalled, running;
    };
    constexpr Slowing kSlowings[] = {{0, 0.3, 0.1},   {0.1, 0.5, 0.05}, {0.25, 0.2, 0.2},
                                     {0.5, 1.0, 0.1}, {0.9, 0.3, 0.3},  {0, 2.0, 0.05}};
    std::size_t run = 0;
    int gaveUp = 0;
    int plans = 0;
    d->toldTooLarge = 0;
    for (auto _ : state) {
        const Slowing& slowing = kSlowings[run++ % std::size(kSlowings)];
        const qint64 took = d->slowed(slowing.after, slowing.stalled, slowing.running);
        if (took < 0) {
            state.SkipWithError("the overlay showed neither a plan nor a message");
            return;
        }
        (d->gaveUp ? gaveUp : plans) += 1;
        state.SetIterationTime(static_cast<double>(took) / 1e9);
    }
    if (d->toldTooLarge > 0) {
        state.SkipWithError("a slowed browser's window was called too large");
        return;
    }
    state.counters["gave_up"] = gaveUp;
    state.counters["plans"] = plans;
    countLoad(state, d);
}

// Each size in one stretch: the page is shown once for all of its benchmarks.
void registerAll() {
    for (const int page : {kSettingsPage, kSwaggerPage, kCardsPage}) {
        for (const bool cold : {true, false}) {
            benchmark::RegisterBenchmark(
                ((cold ? "HotkeyToPlanCold/" : "HotkeyToPlanWarm/") + pageName(page)).c_str(),
                hotkeyToPlan, page, cold)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(10);
        }
        benchmark::RegisterBenchmark(("ReadingCold/" + pageName(page)).c_str(), reading, page)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(10);
    }
    for (const int cells : kSizes) {
        const std::string size = pageName(cells);
        const bool huge = cells == kSizes[std::size(kSizes) - 1];
        benchmark::RegisterBenchmark(("HotkeyToPlanCold/" + size).c_str(), hotkeyToPlan, cells,
                                     true)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(huge ? 5 : 10);
        if (!huge) {
            benchmark::RegisterBenchmark(("HotkeyToPlanWarm/" + size).c_str(), hotkeyToPlan, cells,
                                         false)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(10);
        }
        benchmark::RegisterBenchmark(("ReadingCold/" + size).c_str(), reading, cells)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(5);
        benchmark::RegisterBenchmark(("SequentialLibatspi/" + size).c_str(), sequentialLibatspi,
                                     cells)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(huge ? 1 : 3);
    }
    const int huge = kSizes[std::size(kSizes) - 1];
    benchmark::RegisterBenchmark(
        ("PausedBrowser/" + std::to_string(huge * 4 + kNodesOutsideThePage)).c_str(), pausedBrowser,
        huge)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(8);
    benchmark::RegisterBenchmark(
        ("SlowedBrowser/" + std::to_string(huge * 4 + kNodesOutsideThePage)).c_str(), slowedBrowser,
        huge)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(12);
}

}  // namespace

int main(int argc, char** argv) {
    // Settings of its own: the hotkey the window manager leaves free.
    char pattern[] = "/tmp/ovra-hotkey-bench.XXXXXX";
    const std::filesystem::path config = mkdtemp(pattern);
    std::filesystem::create_directories(config / "murmlark-ovra");
    std::ofstream(config / "murmlark-ovra/ai.qeld.murmlark-ovra.json")
        << R"({"hotkey": "ctrl-opt-space"})";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    QApplication app(argc, argv);
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    made.reset();  // while the application object still lives
    std::filesystem::remove_all(config);
    return 0;
}
