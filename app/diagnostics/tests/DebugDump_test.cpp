#include "app/diagnostics/DebugDump.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "app/diagnostics/RunningApps.h"
#include "platform/accessibility/FakeAccessibilityBackend.h"
#include "platform/input/FakeInputSynthesizer.h"

namespace ovra {
namespace {

using ::testing::_;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

// A news page in a browser: two links, an upsell, a share button, a search field and a cookie
// banner, all inside one web area.
constexpr const char* kNewsPage = R"({
  "screens": [[0, 0, 1280, 1024]],
  "app": {"pid": 77, "name": "Browser"},
  "window": {"id": "win", "role": "AXWindow", "title": "Daily Ledger", "frame": [0, 0, 1200, 900],
    "actions": ["AXRaise"], "children": [
    {"id": "page", "role": "AXWebArea", "title": "Daily Ledger", "frame": [0, 100, 1200, 800],
     "children": [
      {"id": "home", "role": "AXLink", "title": "Home", "frame": [20, 110, 100, 30],
       "attrs": {"AXParent": {"ref": "page"}}},
      {"id": "premium", "role": "AXButton", "title": "Subscribe to Premium",
       "frame": [20, 340, 220, 40], "actions": ["AXPress"], "attrs": {"AXParent": {"ref": "page"}}},
      {"id": "search", "role": "AXTextField", "desc": "Search", "frame": [400, 110, 300, 30],
       "settable": ["AXFocused"], "attrs": {"AXParent": {"ref": "page"}}},
      {"id": "banner", "role": "AXGroup", "subrole": "AXApplicationDialog",
       "desc": "Cookie consent", "frame": [0, 600, 800, 100], "children": [
        {"id": "accept", "role": "AXButton", "title": "Accept all", "frame": [20, 650, 140, 40],
         "actions": ["AXPress"], "attrs": {"AXParent": {"ref": "banner"}}},
        {"id": "reject", "role": "AXButton", "title": "Reject all", "frame": [180, 650, 140, 40],
         "actions": ["AXPress", "AXShowMenu"], "attrs": {"AXParent": {"ref": "banner"}}}],
       "attrs": {"AXParent": {"ref": "page"}}}]}]}
})";

std::unique_ptr<ax::FakeAccessibilityBackend> fake(const std::string& fixture) {
    auto parsed = json::parse(fixture);
    EXPECT_TRUE(parsed.ok());
    auto made = ax::FakeAccessibilityBackend::fromJson(*parsed);
    EXPECT_TRUE(made.ok()) << (made.ok() ? "" : made.error());
    return std::move(made).value();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

// A classifier that answers from a table, or throws.
class TableClassifier final : public supervisor::Classifier {
  public:
    bool throws = false;
    supervisor::DecisionMap answers;
    std::size_t asked = 0;

    supervisor::DecisionMap decide(const std::vector<UICandidate>& candidates, const std::string&,
                                   const std::string&, const Rect&) override {
        asked = candidates.size();
        if (throws) {
            throw std::runtime_error("model failed");
        }
        return answers;
    }
};

class DumpTest : public ::testing::Test {
  protected:
    void use(const std::string& fixture) {
        backend_ = fake(fixture);
        out_.str("");
        services_.backend = backend_.get();
        services_.clock = &backend_->clock();
        services_.out = &out_;
        services_.processes = [this] { return processes_; };
    }

    // The model files are "there" and load into `classifier`.
    void installModel(std::shared_ptr<TableClassifier> classifier) {
        services_.locateModel = [](const std::string& id)
            -> std::optional<std::pair<std::filesystem::path, std::filesystem::path>> {
            return std::make_pair(std::filesystem::path(id), std::filesystem::path("tok.json"));
        };
        services_.loadClassifier = [classifier](const std::filesystem::path&,
                                                const std::filesystem::path&) {
            return classifier;
        };
    }

    std::vector<std::string> output() const { return lines(out_.str()); }
    // The plan line of the control with this label.
    std::string lineOf(const std::string& label) const {
        for (const auto& line : output()) {
            if (line.find(" \"" + label + "\" ") != std::string::npos) {
                return line;
            }
        }
        return "";
    }

    std::unique_ptr<ax::FakeAccessibilityBackend> backend_;
    std::ostringstream out_;
    std::vector<ProcessEntry> processes_{{12, "browser-helper", "browser"},
                                         {77, "browser", "browser"}};
    DumpServices services_;
};

TEST_F(DumpTest, PrintsThePlanOfTheNamedAppWithTheRulesAlone) {
    use(kNewsPage);
    EXPECT_EQ(DebugDump::run("browser", services_), DumpExit::done);
    const auto out = output();
    ASSERT_GE(out.size(), 4u);
    // The helper process of the same name answers on no bus and is skipped.
    EXPECT_EQ(out[0],
              "app=browser window=\"Daily Ledger\" frame=(0.0, 0.0, 1200.0, 900.0) "
              "candidates=5 ax=0ms");
    EXPECT_THAT(out[1], StartsWith("viewport=(0.0, 100.0, 1200.0, 800.0) (the page's area"));
    EXPECT_EQ(out[2], "model: not installed, built-in rules");
    EXPECT_THAT(lineOf("Reject all"), AllOf(StartsWith("#1 beacon     essential_form_action  pri="),
                                            HasSubstr("  AXButton \"Reject all\" Cookie choice")));
    EXPECT_THAT(lineOf("Subscribe to Premium"), StartsWith("   suppressed distraction_or_upsell"));
    EXPECT_THAT(out, Contains("steps (keyboard only \u2192 with Ovra):"));
    EXPECT_THAT(out.back(), StartsWith("  total: "));
}

// A native window across two side-by-side monitors, its middle on the right one, of an app
// that is not in front: it has no focused window, and, with `main` false, names no main window
// either.
std::string acrossMonitors(bool main) {
    return std::string(R"({
  "screens": [[0, 0, 1280, 1024], [1280, 0, 1280, 1024]],
  "app": {"pid": 77, "focusedWindow": false, "mainWindow": )") +
           (main ? "true" : "false") + R"(},
  "window": {"id": "win", "role": "AXWindow", "title": "Notes", "frame": [500, 0, 1600, 900],
    "children": [
    {"id": "open", "role": "AXButton", "title": "Open", "frame": [520, 20, 100, 30],
     "actions": ["AXPress"]},
    {"id": "save", "role": "AXButton", "title": "Save", "frame": [1900, 20, 100, 30],
     "actions": ["AXPress"]}]}
})";
}

// The dump reads the window as the overlay does: on every monitor it shows on, and the named
// app's window whether or not the app is in front.
TEST_F(DumpTest, ReadsTheNamedAppsWindowOnEveryMonitorItSpansWhereverItStands) {
    for (const bool main : {true, false}) {
        SCOPED_TRACE(main ? "a main window" : "no main window");
        use(acrossMonitors(main));
        EXPECT_EQ(DebugDump::run("browser", services_), DumpExit::done) << out_.str();
        EXPECT_THAT(output(), Contains(StartsWith("app=browser window=\"Notes\"")));
        EXPECT_THAT(lineOf("Open"), StartsWith("#")) << out_.str();
        EXPECT_THAT(lineOf("Save"), StartsWith("#")) << out_.str();
    }
}

TEST_F(DumpTest, WithoutAPlanItSaysWhyAndEndsWithItsCode) {
    const struct {
        const char* fixture;
        int exit;
        const char* line;
    } cases[] = {
        {R"({"frontmost": false, "app": {"pid": 77}, "window": null})", DumpExit::nothingToDump,
         "no target app"},
        {R"({"trusted": false, "app": {"pid": 77}, "window": null})", DumpExit::readerFailed,
         "extract failed: Accessibility permission is needed."},
        {R"({"app": {"pid": 77}, "window": null})", DumpExit::readerFailed,
         "extract failed: This app has no window to simplify."},
    };
    for (const auto& c : cases) {
        use(c.fixture);
        EXPECT_EQ(DebugDump::run(std::nullopt, services_), c.exit) << c.line;
        EXPECT_THAT(output(), ElementsAre(c.line));
    }
    // An app not running is not the one in front; an empty window is only its header.
    use(kNewsPage);
    EXPECT_EQ(DebugDump::run("no-such-app", services_), DumpExit::nothingToDump);
    EXPECT_THAT(output(), ElementsAre("no target app"));
    use(R"({"app": {"pid": 77, "name": "Empty"},
            "window": {"role": "AXWindow", "title": "Nothing", "frame": [0, 0, 400, 300]}})");
    EXPECT_EQ(DebugDump::run(std::nullopt, services_), DumpExit::done);
    EXPECT_THAT(output(),
                ElementsAre(HasSubstr("candidates=0"), _, "model: not installed, built-in rules"));
}

TEST_F(DumpTest, TheModelDecidesWhenItLoadsAndTheRulesWhenItFails) {
    use(kNewsPage);
    DebugDump::run(std::nullopt, services_);
    const std::string rulesOnly = lineOf("Reject all") + "|" + lineOf("Subscribe to Premium");

    use(kNewsPage);
    auto classifier = std::make_shared<TableClassifier>();
    ModelDecision upsell;
    upsell.actionClassification = FocusCategory::essentialFormAction;
    upsell.classificationProbabilities = {{"essential_form_action", 1.0}};
    upsell.isEssential = 1.0;
    upsell.focusScore = 2.0;
    classifier->answers["c1"] = upsell;
    installModel(classifier);
    services_.model = VornModel::multilingual;
    EXPECT_EQ(DebugDump::run(std::nullopt, services_), DumpExit::done);
    EXPECT_EQ(classifier->asked, 5u);
    EXPECT_EQ(output()[2], "model: murmlark-ovra/multi 0 ms");

    use(kNewsPage);
    classifier->throws = true;
    services_.model = VornModel::english;
    EXPECT_EQ(DebugDump::run(std::nullopt, services_), DumpExit::done);
    EXPECT_EQ(output()[2], "model: murmlark-ovra/en 0 ms");
    EXPECT_EQ(lineOf("Reject all") + "|" + lineOf("Subscribe to Premium"), rulesOnly);

    use(kNewsPage);
    services_.loadClassifier = [](const std::filesystem::path&, const std::filesystem::path&)
        -> std::shared_ptr<supervisor::Classifier> { throw std::runtime_error("cannot load"); };
    EXPECT_EQ(DebugDump::run(std::nullopt, services_), DumpExit::done);
    EXPECT_EQ(output()[2], "model: not installed, built-in rules");
}

// --- Tree dump ---

TEST_F(DumpTest, TreeOfTheNamedAppsFocusedWindowDownToTheWebArea) {
    const struct {
        std::string fixture;
        std::optional<std::string> app;
        int exit;
        std::vector<std::string> lines;
    } cases[] = {
        {kNewsPage, std::nullopt, DumpExit::nothingToDump, {"no window"}},
        {kNewsPage, "no-such-app", DumpExit::nothingToDump, {"no window"}},
        {R"({"app": {"pid": 77, "focusedWindow": false},
             "window": {"role": "AXWindow", "frame": [0, 0, 10, 10]}})",
         "browser",
         DumpExit::nothingToDump,
         {"no window"}},
        {kNewsPage,
         "browser",
         DumpExit::done,
         {"AXWindow d=0 kids=1 0,0 1200x900", "  AXWebArea d=1 kids=4 0,100 1200x800",
          "FOUND web area at depth 1, path .0"}},
        // Elements that cannot be read print as unknown.
        {R"({"app": {"pid": 77}, "window": {"role": "AXWindow", "children": [
            {"role": "AXButton", "frame": [1, 2, 3, 4],
             "faults": {"AXRole": "timeout", "AXSize": "noValue"}},
            {"attrs": {"AXRole": 5, "AXPosition": {"number": "nan"}}}]}})",
         "browser",
         DumpExit::done,
         {"AXWindow d=0 kids=2 0,0 0x0", "  ? d=1 kids=0 0,0 0x0", "  ? d=1 kids=0 0,0 0x0",
          "no AXWebArea within the first nodes"}},
    };
    for (const auto& c : cases) {
        use(c.fixture);
        EXPECT_EQ(DebugDump::tree(c.app, services_), c.exit) << c.fixture;
        EXPECT_EQ(output(), c.lines) << c.fixture;
    }
}

// A chain of `depth` groups under the window, each holding `width` radio buttons before the
// next group; the last group holds `leaf`.
std::string deepWindow(int depth, int radios, const std::string& leaf) {
    std::string node = leaf;
    for (int level = depth; level >= 1; --level) {
        std::string kids;
        for (int i = 0; i < radios; ++i) {
            kids += R"({"role": "AXRadioButton", "frame": [0, 0, 5, 5]}, )";
        }
        node = R"({"role": "AXGroup", "frame": [0.9, -1.9, 10.5, 10], "children": [)" + kids +
               node + "]}";
    }
    return R"({"app": {"pid": 77}, "window": {"role": "AXWindow", "frame": [0, 0, 10, 10],
               "children": [)" +
           node + "]}}";
}

TEST_F(DumpTest, TreeWalksAreBoundedInDepthAndLines) {
    // Children are followed to depth 30 only.
    use(deepWindow(35, 0, R"({"role": "AXWebArea"})"));
    EXPECT_EQ(DebugDump::tree("browser", services_), DumpExit::done);
    const auto out = output();
    ASSERT_EQ(out.size(), 32u);  // the window, depths 1 to 30, the closing line
    EXPECT_EQ(out[1], "  AXGroup d=1 kids=1 0,-1 10x10");
    EXPECT_EQ(out[30], std::string(40, ' ') + "AXGroup d=30 kids=1 0,-1 10x10");
    EXPECT_EQ(out.back(), "no AXWebArea within the first nodes");

    // Radio buttons past 60 lines are walked but not printed: 25 levels of 10 each, the web
    // area at the bottom.
    use(deepWindow(25, 10, R"({"role": "AXWebArea", "frame": [0, 0, 1, 1]})"));
    EXPECT_EQ(DebugDump::tree("browser", services_), DumpExit::done);
    const auto radios = output();
    EXPECT_EQ(radios.back(),
              "FOUND web area at depth 26, path .0.10.10.10.10.10.10.10.10.10.10.10."
              "10.10.10.10.10.10.10.10.10.10.10.10.10.10");
    std::size_t radioLines = 0;
    for (std::size_t i = 0; i < radios.size(); ++i) {
        if (radios[i].find("AXRadioButton") != std::string::npos) {
            ++radioLines;
            EXPECT_LT(i, 60u);
        }
    }
    EXPECT_GT(radioLines, 40u);

    // The walk ends after 400 lines, unless that line is the web area.
    std::string kids;
    for (int i = 0; i < 398; ++i) {
        kids += R"({"role": "AXButton"}, )";
    }
    use(R"({"app": {"pid": 77}, "window": {"role": "AXWindow", "children": [)" + kids +
        R"({"role": "AXWebArea"}, {"role": "AXButton"}]}})");
    EXPECT_EQ(DebugDump::tree("browser", services_), DumpExit::done);
    EXPECT_EQ(output().back(), "FOUND web area at depth 1, path .398");

    use(R"({"app": {"pid": 77}, "window": {"role": "AXWindow", "children": [)" + kids +
        R"({"role": "AXButton"}, {"role": "AXWebArea"}]}})");
    EXPECT_EQ(DebugDump::tree("browser", services_), DumpExit::done);
    EXPECT_EQ(output().size(), 401u);
    EXPECT_EQ(output().back(), "no AXWebArea within the first nodes");
}

// --- Press test ---

class PressTest : public DumpTest {
  protected:
    void SetUp() override {
        use(kNewsPage);
        input_.clearLog();
        actions_ = std::make_unique<AXActions>(*backend_, input_,
                                               AXActions::Hooks{.clock = &backend_->clock()});
        press_.actions = actions_.get();
        press_.appWindow = [this](std::int64_t pid,
                                  const std::string& title) -> std::optional<input::WindowId> {
            askedForWindow_.push_back(std::to_string(pid) + " " + title);
            return pid == 77 && appHasWindow_ ? std::optional<input::WindowId>(7) : std::nullopt;
        };
        // The window manager brings the window forward after `activationDelay_` more looks,
        // and only once it was asked to (unless it was already in front).
        press_.activeWindowOf = [this](std::int64_t pid) -> std::optional<input::WindowId> {
            const bool asked = std::find(input_.log().begin(), input_.log().end(), "activate 7") !=
                               input_.log().end();
            if (pid == 77 && asked && !frontWindow_ && activationDelay_ >= 0 &&
                activationDelay_-- == 0) {
                frontWindow_ = true;
            }
            return pid == 77 && frontWindow_ ? std::optional<input::WindowId>(7) : std::nullopt;
        };
    }

    std::vector<std::string> actionLog() const {
        std::vector<std::string> out;
        for (const auto& line : backend_->log()) {
            if (line.starts_with("perform") || line.starts_with("set")) {
                out.push_back(line);
            }
        }
        return out;
    }

    input::FakeInputSynthesizer input_;
    std::unique_ptr<AXActions> actions_;
    PressServices press_;
    bool frontWindow_ = true;
    bool appHasWindow_ = true;
    int activationDelay_ = -1;  // -1: the window manager never activates the window
    std::vector<std::string> askedForWindow_;
};

TEST_F(PressTest, PressesAWebControlByItsActionAndReportsTheTitlesBeforeAndAfter) {
    auto pressed = DebugDump::pressTest("browser", "Reject all", services_, press_);
    ASSERT_TRUE(pressed.ok());
    // Its window comes forward by its id, not found again by its title.
    EXPECT_THAT(actionLog(), ElementsAre("perform reject AXPress"));
    EXPECT_THAT(input_.log(), Contains("activate 7"));
    EXPECT_THAT(input_.log(), Not(Contains(HasSubstr("click"))));
    EXPECT_THAT(askedForWindow_, ElementsAre("77 Daily Ledger"));
    EXPECT_EQ(DebugDump::pressReport(pressed.value(), services_), DumpExit::done);
    EXPECT_THAT(output(), ElementsAre("press-test \"Reject all\" role=AXButton "
                                      "actions=[\"AXPress\", \"AXShowMenu\"] web=true "
                                      "title: \"Daily Ledger\" -> \"Daily Ledger\""));
    // The window gone by the time of the report: its title is a question mark.
    processes_.clear();
    use(R"({"app": {"pid": 77, "gone": true}, "window": null})");
    DebugDump::pressReport(pressed.value(), services_);
    EXPECT_THAT(output().back(), HasSubstr("title: \"Daily Ledger\" -> \"?\""));
}

TEST_F(PressTest, WaitsBoundedlyForTheWindowToComeForwardBeforeAWebPress) {
    const auto waitedForTheWindow = [this] {
        const auto& sleeps = backend_->clock().sleeps();
        return DebugDump::kActivationPoll *
               static_cast<double>(
                   std::count(sleeps.begin(), sleeps.end(), DebugDump::kActivationPoll));
    };
    const struct {
        int activationDelay;  // -1: never
        const char* label;
        bool waits;
    } cases[] = {{3, "Reject all", true}, {-1, "Reject all", true}, {-1, "Search", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.label) + " " + std::to_string(c.activationDelay));
        SetUp();
        frontWindow_ = false;
        activationDelay_ = c.activationDelay;
        ASSERT_TRUE(DebugDump::pressTest("browser", c.label, services_, press_).ok());
        EXPECT_THAT(input_.log(), ElementsAre("activate 7"));
        EXPECT_LE(waitedForTheWindow(), DebugDump::kActivationWait + 1e-9);
        EXPECT_EQ(waitedForTheWindow() > 0, c.waits);
    }
}

TEST_F(PressTest, APressThatReachesNothingEndsWithCodeThree) {
    // The banner goes while the window comes forward.
    activationDelay_ = 2;
    frontWindow_ = false;
    backend_->clock().whileAsleep = [this] { backend_->change("banner", nullptr); };
    auto pressed = DebugDump::pressTest("browser", "Reject all", services_, press_);
    ASSERT_TRUE(pressed.ok());
    EXPECT_EQ(pressed->code, DumpExit::notPressed);
    EXPECT_EQ(output().back(),
              "press-test \"Reject all\" not pressed: it went away before it was pressed");
    EXPECT_THAT(input_.log(), Not(Contains(HasSubstr("click"))));
    // The titles are reported as after any press, and the code stays.
    backend_->clock().whileAsleep = nullptr;
    EXPECT_EQ(DebugDump::pressReport(pressed.value(), services_), DumpExit::notPressed);
    EXPECT_EQ(output().back(),
              "press-test \"Reject all\" role=AXButton "
              "actions=[\"AXPress\", \"AXShowMenu\"] web=true "
              "title: \"Daily Ledger\" -> \"Daily Ledger\"");

    // A control no way reaches: its confirm was tried too.
    use(R"({"app": {"pid": 77}, "window": {"id": "win", "role": "AXWindow",
            "frame": [0, 0, 400, 300], "children": [
            {"id": "ok", "role": "AXButton", "title": "OK", "frame": [10, 10, 80, 30]}]}})");
    actions_ = std::make_unique<AXActions>(*backend_, input_);
    press_.actions = actions_.get();
    EXPECT_EQ(DebugDump::pressTest("browser", "OK", services_, press_).value().code,
              DumpExit::notPressed);
    EXPECT_THAT(actionLog(), Contains("perform ok AXConfirm failed: unsupported attribute"));
    EXPECT_EQ(output().back(), "press-test \"OK\" not pressed: every way failed (press, confirm)");
}

// The press test gives the verdict the overlay's press gives: a control that answered the press
// by relabelling itself was pressed; one that took a risky label perhaps was not, and says so.
TEST_F(PressTest, AControlThatRelabelsItselfAsItIsPressedGetsTheOverlaysVerdict) {
    const std::tuple<const char*, int, const char*> cases[] = {
        {"Hide banner", DumpExit::done, nullptr},
        {"Delete account", DumpExit::notPressed,
         "press-test \"Reject all\" perhaps not pressed: the page changed it as it was pressed, "
         "it shows another label \"Delete account\""},
    };
    for (const auto& [relabelled, code, line] : cases) {
        SCOPED_TRACE(relabelled);
        SetUp();
        backend_->onPerform = [this, label = std::string(relabelled)](const std::string& id,
                                                                      std::string_view action) {
            if (id == "reject" && action == "AXPress") {
                auto node = json::parse(R"({"id": "reject", "role": "AXButton", "title": ")" +
                                        label + R"(", "frame": [180, 650, 140, 40],
                    "actions": ["AXPress"], "attrs": {"AXParent": {"ref": "banner"}}})");
                ASSERT_TRUE(node.ok());
                ASSERT_TRUE(backend_->change("reject", *node).ok());
            }
        };
        auto pressed = DebugDump::pressTest("browser", "Reject all", services_, press_);
        ASSERT_TRUE(pressed.ok());
        EXPECT_EQ(pressed->code, code);
        if (line != nullptr) {
            EXPECT_EQ(output().back(), line);
        } else {
            EXPECT_TRUE(output().empty()) << output().back();
        }
    }
}

TEST_F(PressTest, NothingToPressEndsWithCodeTwo) {
    for (const std::string app : {"browser", "no-such-app"}) {
        for (const std::string label : {"Reject", "reject all", ""}) {
            auto pressed = DebugDump::pressTest(app, label, services_, press_);
            ASSERT_FALSE(pressed.ok());
            EXPECT_EQ(pressed.error(), DumpExit::nothingToDump);
            EXPECT_EQ(output().back(), "press-test: no control labeled \"" + label + "\"");
        }
    }
    EXPECT_THAT(actionLog(), IsEmpty());
}

}  // namespace
}  // namespace ovra
