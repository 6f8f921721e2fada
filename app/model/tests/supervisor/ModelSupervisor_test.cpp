#include "app/model/ModelSupervisor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/model/tests/supervisor/SupervisorFakes.h"

namespace ovra::supervisor::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Kind = WorkerStatus::Kind;

const std::string kDownloading =
    "Downloading the on-device model. Ovra uses its built-in rules until it is ready.";

UICandidate candidate(const std::string& id) {
    UICandidate c;
    c.id = id;
    c.role = "AXButton";
    c.title = "OK";
    c.frame = Rect(0, 0, 10, 10);
    return c;
}

TEST_F(SupervisorTest, LoadsAnInstalledModelOffTheMainThread) {
    EXPECT_EQ(supervisor().status(), WorkerStatus::offline("not started"));
    EXPECT_TRUE(pressure().started());
    installModel(kEn);
    supervisor().start("ignored", kEn);
    EXPECT_EQ(supervisor().status().kind, Kind::loading);
    EXPECT_TRUE(loader.state->models.empty()) << "loading waits for the worker";
    executor.runWorker();
    EXPECT_EQ(supervisor().status().kind, Kind::loading) << "the result hops back to main";
    executor.runMain();
    EXPECT_EQ(supervisor().status(), WorkerStatus::ready(kEn));
    EXPECT_EQ(supervisor().lastModel(), kEn);
    EXPECT_TRUE(supervisor().hasClassifier());
    ASSERT_EQ(loader.state->models.size(), 1u);
    EXPECT_EQ(loader.state->models[0],
              support() / "models" / "murmlark-ovra--en" / "OvraClassifier.mlmodelc");
    EXPECT_TRUE(installer().requests.empty());
}

TEST_F(SupervisorTest, AnIdTheManifestDoesNotListBecomesItsUsableModel) {
    installModel(kEn);
    supervisor().start("", "murmlark-ovra/fr");
    executor.runAll();
    EXPECT_EQ(supervisor().status(), WorkerStatus::ready(kEn));
    EXPECT_EQ(supervisor().lastModel(), kEn);
}

TEST_F(SupervisorTest, WithoutTheModelItDownloadsItAndTheMultilingualOneWhenWanted) {
    multilingual = true;
    supervisor().start("", kEn);
    EXPECT_EQ(supervisor().status(), WorkerStatus::offline(kDownloading));
    EXPECT_THAT(installer().requests, ElementsAre(ElementsAre(kEn, kMulti)));

    // Without a manifest the id is kept and only it is downloaded.
    destroySupervisor();
    manifest.reset();
    supervisor().start("", "murmlark-ovra/fr");
    EXPECT_EQ(supervisor().lastModel(), "murmlark-ovra/fr");
    EXPECT_EQ(supervisor().status(), WorkerStatus::offline(kDownloading));
    EXPECT_THAT(installer().requests, ElementsAre(ElementsAre("murmlark-ovra/fr")));
}

TEST_F(SupervisorTest, LocateFallsThroughToTheDeveloperFolder) {
    const auto env = [this](const char* name) -> std::optional<std::string> {
        const auto it = environment.find(name);
        return it == environment.end() ? std::nullopt : std::optional(it->second);
    };
    // Installed model without its tokenizer does not count.
    touch(modelFolder("murmlark-ovra--en") / "OvraClassifier.mlmodelc" / "model.pt");
    EXPECT_FALSE(ModelSupervisor::locate(kEn, support(), env));

    const auto dev = temp_.path() / "dev";
    environment["OVRA_CLASSIFIER_DIR"] = dev.string();
    touch(dev / "OvraClassifier.mlpackage" / "model.pt");
    EXPECT_FALSE(ModelSupervisor::locate(kEn, support(), env)) << "developer tokenizer missing";
    touch(dev / "tokenizer.json");
    EXPECT_EQ(ModelSupervisor::locate(kEn, support(), env),
              (ModelSupervisor::Located{dev / "OvraClassifier.mlpackage", dev / "tokenizer.json"}));

    touch(modelFolder("murmlark-ovra--en") / "tokenizer.json");
    EXPECT_EQ(ModelSupervisor::locate(kEn, support(), env)->model,
              modelFolder("murmlark-ovra--en") / "OvraClassifier.mlmodelc")
        << "the installed model wins";

    touch(support() / "OvraClassifier.mlmodelc");
    touch(support() / "tokenizer.json");
    EXPECT_FALSE(ModelSupervisor::locate("..", support(), nullptr)) << "ids never leave models/";
}

TEST_F(SupervisorTest, AnInstallThatLeavesNoModelEndsOfflineInsteadOfLooping) {
    supervisor().start("", kEn);
    installer().finish(true);  // claims success, puts nothing in place
    executor.runAll();
    EXPECT_EQ(installer().requests.size(), 1u) << "no second download";
    EXPECT_FALSE(installer().busy());
    EXPECT_EQ(supervisor().status(),
              WorkerStatus::offline(
                  "the on-device model was installed but cannot be found. Details are in ~/log"));
    EXPECT_THAT(logLines, ::testing::Contains("model still missing after install: " + kEn));

    // A new request from the user may try again.
    supervisor().start("", kEn);
    EXPECT_EQ(installer().requests.size(), 2u);
}

TEST_F(SupervisorTest, AFailedInstallShowsTheInstallersSentence) {
    supervisor().start("", kEn);
    installer().finishQuietly();  // false without a failed stage: the status stays
    executor.runAll();
    EXPECT_EQ(supervisor().status(), WorkerStatus::offline(kDownloading));

    supervisor().start("", kEn);
    installer().finish(false, "Ovra could not download it.");
    executor.runAll();
    EXPECT_EQ(supervisor().status(), WorkerStatus::offline("Ovra could not download it."));
}

TEST_F(SupervisorTest, ARequestDuringAnInstallIsKeptAndRunAfterIt) {
    startReady(kEn);
    multilingual = true;
    supervisor().fetchMultilingualIfWanted();
    ASSERT_TRUE(installer().busy());
    EXPECT_THAT(installer().requests, ElementsAre(ElementsAre(kMulti)));

    const auto before = supervisor().status();
    supervisor().start("", kMulti);  // not installed yet, installer busy
    EXPECT_EQ(supervisor().status(), before) << "a busy installer leaves the status";
    EXPECT_EQ(installer().requests.size(), 1u);

    installer().onSuccess = [this](const std::vector<std::string>&) { installModel(kMulti); };
    installer().finish(true);
    executor.runAll();
    EXPECT_EQ(supervisor().status(), WorkerStatus::ready(kMulti));
    EXPECT_EQ(installer().requests.size(), 1u);
}

TEST_F(SupervisorTest, AKeptRequestStillDownloadsWhenTheInstallDidNotBringIt) {
    startReady(kEn);
    multilingual = true;
    supervisor().fetchMultilingualIfWanted();
    supervisor().start("", kMulti);
    installer().finish(false);
    executor.runAll();
    ASSERT_EQ(installer().requests.size(), 2u);
    EXPECT_THAT(installer().requests[1], ElementsAre(kMulti));
    EXPECT_EQ(supervisor().status(), WorkerStatus::offline(kDownloading));
}

// A load or download finishing for a start that a stop or a later start replaced changes
// neither the status nor the classifier in use.
TEST_F(SupervisorTest, LateResultsOfAReplacedStartAreDropped) {
    installModel(kEn);
    supervisor().start("", kEn);
    supervisor().stop();
    executor.runAll();
    EXPECT_EQ(supervisor().status(), WorkerStatus::offline("stopped"));
    EXPECT_FALSE(supervisor().hasClassifier());
    EXPECT_EQ(supervisor().lastModel(), kEn) << "stop keeps the last model";

    fs::remove_all(modelFolder("murmlark-ovra--en"));
    supervisor().start("", kEn);
    supervisor().stop();
    installer().onSuccess = [this](const std::vector<std::string>&) { installModel(kEn); };
    installer().finish(true);
    executor.runAll();
    EXPECT_EQ(supervisor().status(), WorkerStatus::offline("stopped"));
    EXPECT_EQ(loader.state->models.size(), 1u) << "no load after stop";

    // Of two starts only the last counts, and a failed download for the first leaves it be.
    fs::remove_all(modelFolder("murmlark-ovra--en"));
    installer().onSuccess = nullptr;
    supervisor().start("", kEn);
    installModel(kMulti);
    supervisor().start("", kMulti);
    executor.runAll();
    installer().finish(false, "Ovra could not download it.");
    executor.runAll();
    EXPECT_EQ(supervisor().status(), WorkerStatus::ready(kMulti));
    std::string answeredBy;
    supervisor().decide({candidate("c1")}, "App", "Window", Rect(0, 0, 100, 100),
                        [&](ModelSupervisor::DecideResult r) {
                            answeredBy = r.ok() ? r.value().at("c1").modelVerdict : "";
                        });
    executor.runAll();
    EXPECT_EQ(answeredBy, "murmlark-ovra--multi");
}

TEST_F(SupervisorTest, ResultsArrivingAfterTheSupervisorIsGoneAreDropped) {
    installModel(kEn);
    supervisor().start("", kEn);
    const int changesBefore = changes;
    const auto logBefore = logLines.size();
    destroySupervisor();
    executor.runAll();
    // The load ran, but its result reached nobody and was released with the dropped task.
    ASSERT_EQ(loader.state->made.size(), 1u);
    EXPECT_EQ(loader.state->made[0].use_count(), 1);
    EXPECT_EQ(changes, changesBefore);
    EXPECT_EQ(logLines.size(), logBefore);
    EXPECT_EQ(executor.pendingMain() + executor.pendingWorker(), 0u);
}

TEST_F(SupervisorTest, AFailedLoadIsLoggedAndShownThenAStartRecovers) {
    installModel(kEn);
    loader.state->failing = true;
    supervisor().start("", kEn);
    executor.runAll();
    EXPECT_EQ(supervisor().status(),
              WorkerStatus::offline("the on-device model would not load. Details are in ~/log"));
    EXPECT_THAT(logLines, ::testing::Contains("classifier would not load: LoadError"));
    EXPECT_TRUE(installer().requests.empty()) << "a load failure does not download";

    supervisor().recoverLostWorker();
    EXPECT_EQ(loader.state->models.size(), 1u) << "recovery only from ready";

    loader.state->failing = false;
    supervisor().start("", kEn);
    executor.runAll();
    EXPECT_EQ(supervisor().status(), WorkerStatus::ready(kEn));
}

TEST_F(SupervisorTest, RecoverLostWorkerReloadsTheLastModel) {
    startReady(kEn);
    supervisor().recoverLostWorker();
    EXPECT_FALSE(supervisor().hasClassifier());
    EXPECT_EQ(supervisor().status().kind, Kind::loading);
    executor.runAll();
    EXPECT_EQ(supervisor().status(), WorkerStatus::ready(kEn));
    EXPECT_EQ(loader.state->models.size(), 2u);
    EXPECT_EQ(releases, 1) << "the dropped model's memory is given back";
}

TEST_F(SupervisorTest, DecideRunsOnTheClassifierThreadAndReportsFailures) {
    std::optional<ModelSupervisor::DecideResult> result;
    const auto decide = [&](std::vector<UICandidate> candidates) {
        result.reset();
        supervisor().decide(std::move(candidates), "App", "W", Rect(0, 0, 1, 1),
                            [&](ModelSupervisor::DecideResult r) { result = std::move(r); });
    };
    decide({candidate("c1")});
    EXPECT_FALSE(result) << "the answer comes later, on the main thread";
    executor.runAll();
    ASSERT_TRUE(result && !result->ok());
    EXPECT_EQ(result->error().kind, ModelSupervisor::DecideError::Kind::featureUnsupported);

    startReady(kEn);
    decide({candidate("c1"), candidate("c2")});
    EXPECT_EQ(executor.pendingClassifier(), 1u);
    executor.runAll();
    ASSERT_TRUE(result && result->ok());
    EXPECT_THAT(result->value(), ElementsAre(::testing::Key("c1"), ::testing::Key("c2")));

    loader.state->made.back()->throws = true;
    decide({candidate("c1")});
    executor.runAll();
    ASSERT_TRUE(result && !result->ok());
    EXPECT_EQ(result->error().kind, ModelSupervisor::DecideError::Kind::failed);
    EXPECT_THAT(result->error().message, HasSubstr("prediction failed"));
}

TEST_F(SupervisorTest, AQueuedDecisionFinishesAfterStopAndMemoryIsFreedAfterIt) {
    startReady(kEn);
    bool answered = false;
    supervisor().decide({candidate("c1")}, "App", "W", Rect(0, 0, 1, 1),
                        [&](ModelSupervisor::DecideResult r) { answered = r.ok(); });
    supervisor().stop();
    EXPECT_EQ(releases, 0);
    EXPECT_EQ(executor.pendingClassifier(), 2u) << "the trim waits behind the decision";
    executor.runAll();
    EXPECT_TRUE(answered);
    EXPECT_EQ(releases, 1);
    EXPECT_EQ(loader.state->made.back().use_count(), 1) << "nothing else holds the model";
}

TEST_F(SupervisorTest, CriticalPressurePausesAndAPressLaterResumes) {
    startReady(kEn);
    pressure().emit(MemoryPressure::warning);
    executor.runAll();
    EXPECT_TRUE(supervisor().status().isReady()) << "warning never pauses";

    pressure().emit(MemoryPressure::critical);
    EXPECT_TRUE(supervisor().status().isReady()) << "delivered on the main thread";
    executor.runAll();
    EXPECT_EQ(supervisor().pressure(), MemoryPressure::critical);
    EXPECT_EQ(supervisor().status(),
              WorkerStatus::offline(std::string(ModelMemoryPolicy::pausedReason)));
    EXPECT_TRUE(supervisor().pausedForMemory());
    EXPECT_FALSE(supervisor().hasClassifier());
    EXPECT_EQ(releases, 1);

    EXPECT_FALSE(supervisor().resumeAfterMemoryPause(true)) << "still critical";
    pressure().emit(MemoryPressure::normal);
    executor.runAll();
    EXPECT_FALSE(supervisor().status().isReady()) << "no reload on its own";
    EXPECT_FALSE(supervisor().resumeAfterMemoryPause(false)) << "model not wanted";
    EXPECT_TRUE(supervisor().pausedForMemory());

    EXPECT_TRUE(supervisor().resumeAfterMemoryPause(true));
    EXPECT_FALSE(supervisor().pausedForMemory());
    executor.runAll();
    EXPECT_EQ(supervisor().status(), WorkerStatus::ready(kEn));
    EXPECT_FALSE(supervisor().resumeAfterMemoryPause(true)) << "nothing left to resume";
}

TEST_F(SupervisorTest, CriticalPressureWithoutAModelOnlyRecordsTheLevelUntilOneArrives) {
    installModel(kEn);
    const auto before = supervisor().status();
    pressure().emit(MemoryPressure::critical);
    executor.runAll();
    EXPECT_EQ(supervisor().pressure(), MemoryPressure::critical);
    EXPECT_EQ(supervisor().status(), before);
    EXPECT_FALSE(supervisor().pausedForMemory());

    // A model arriving under critical pressure is paused at once.
    supervisor().start("", kEn);
    executor.runAll();
    EXPECT_TRUE(supervisor().pausedForMemory());
    EXPECT_FALSE(supervisor().hasClassifier());
    EXPECT_EQ(supervisor().status(),
              WorkerStatus::offline(std::string(ModelMemoryPolicy::pausedReason)));
}

TEST_F(SupervisorTest, AUserStartOrStopEndsAMemoryPause) {
    startReady(kEn);
    pressure().emit(MemoryPressure::critical);
    pressure().emit(MemoryPressure::normal);
    executor.runAll();
    ASSERT_TRUE(supervisor().pausedForMemory());
    supervisor().start("", kEn);
    EXPECT_FALSE(supervisor().pausedForMemory());
    executor.runAll();
    EXPECT_FALSE(supervisor().resumeAfterMemoryPause(true)) << "no second restart";
}

TEST_F(SupervisorTest, FetchesTheMultilingualModelOnlyWhenEveryConditionHolds) {
    supervisor().fetchMultilingualIfWanted();
    EXPECT_TRUE(installer().requests.empty()) << "not wanted";

    multilingual = true;
    manifest = EngineManifest::decode(R"({"version": 1, "files": [{"name": "en.tar",
        "kind": "model", "model": "murmlark-ovra/en", "bytes": 1, "sha256": "00"}]})")
                   .value();
    supervisor().fetchMultilingualIfWanted();
    EXPECT_TRUE(installer().requests.empty()) << "not in the manifest";

    manifest = twoModelManifest();
    installModel(kMulti);
    supervisor().fetchMultilingualIfWanted();
    EXPECT_TRUE(installer().requests.empty()) << "already installed";

    std::filesystem::remove_all(modelFolder("murmlark-ovra--multi"));
    supervisor().fetchMultilingualIfWanted();
    ASSERT_EQ(installer().requests.size(), 1u);
    const auto status = supervisor().status();
    supervisor().fetchMultilingualIfWanted();
    EXPECT_EQ(installer().requests.size(), 1u) << "installer busy";
    EXPECT_EQ(supervisor().status(), status) << "the status is not touched";
}

TEST_F(SupervisorTest, ReadyStartsTheMultilingualFetchWhenWanted) {
    multilingual = true;
    startReady(kEn);
    EXPECT_THAT(installer().requests, ElementsAre(ElementsAre(kMulti)));
}

TEST_F(SupervisorTest, PrunesRetiredFilesOnTheWorkerKeepingTheManifestsModels) {
    touch(support() / "engine" / "x");
    touch(modelFolder("murmlark-ovra--en") / "tokenizer.json");
    touch(modelFolder("murmlark-ovra--gone") / "tokenizer.json");
    supervisor();
    EXPECT_TRUE(logLines.empty()) << "pruning runs on the worker";
    executor.runAll();
    EXPECT_THAT(logLines, ElementsAre("removed retired engine",
                                      "removed retired models/murmlark-ovra--gone"));
    EXPECT_TRUE(std::filesystem::exists(modelFolder("murmlark-ovra--en")));
}

TEST_F(SupervisorTest, RetiredFilesCanWaitUntilTheCopyKnowsItIsTheOnlyOne) {
    removeRetiredLater = true;
    touch(support() / "engine" / "x");
    supervisor();
    executor.runAll();
    EXPECT_TRUE(std::filesystem::exists(support() / "engine" / "x"));
    supervisor().removeRetiredFiles();
    executor.runAll();
    EXPECT_THAT(logLines, ElementsAre("removed retired engine"));
}

TEST_F(SupervisorTest, ASelfTestLaunchLoadsAnInstalledModelButDownloadsAndRemovesNothing) {
    selfTestLaunch = multilingual = true;
    touch(support() / "engine" / "x");
    supervisor().start("", kEn);
    executor.runAll();
    EXPECT_EQ(supervisor().status().kind, Kind::offline);
    installModel(kEn);
    supervisor().start("", kEn);
    executor.runAll();
    EXPECT_EQ(supervisor().status(), WorkerStatus::ready(kEn));
    EXPECT_TRUE(installer().requests.empty());
    EXPECT_TRUE(std::filesystem::exists(support() / "engine" / "x"));
}

TEST_F(SupervisorTest, InstallerChangesReachTheMainThreadAndTheSummaryShowsAWholePercentage) {
    supervisor().start("", kEn);
    executor.runAll();
    const int before = changes;
    installer().setStage(EngineInstaller::Stage::working("Downloading Murmlark Large, English"));
    installer().setProgress(0.4249);
    EXPECT_EQ(changes, before);
    executor.runMain();
    EXPECT_EQ(changes, before + 2);
    EXPECT_EQ(supervisor().summary(), "Downloading Murmlark Large, English, 42%");
    installer().setProgress(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(supervisor().summary(), "Downloading Murmlark Large, English, 0%");
    installer().finish(false, "Broken.");
    executor.runAll();
    EXPECT_EQ(supervisor().summary(), "Built-in rules only: Broken.");
}

}  // namespace
}  // namespace ovra::supervisor::testing
