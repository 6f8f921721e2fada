#pragma once

// The on-disk layout of the on-device model under the support folder, the pure rules that
// derive names from it, and the launch plan of an external model worker process (a Python
// script with a private interpreter). The support folder itself is found by the platform layer.
// Nothing in the app launches a worker: the model runs in-process.

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/OvraText.h"

namespace ovra::WorkerLayout {

inline constexpr std::string_view kModelsFolder = "models";
inline constexpr std::string_view kIncomingFolder = "incoming";
inline constexpr std::string_view kEngineFolder = "engine";
inline constexpr std::string_view kProductPrefix = "murmlark-ovra--";
inline constexpr std::string_view kCompiledModel = "OvraClassifier.mlmodelc";
inline constexpr std::string_view kModelPackage = "OvraClassifier.mlpackage";
inline constexpr std::string_view kTokenizer = "tokenizer.json";

// The folder name of a model id: every "/" replaced by "--".
std::string modelFolder(std::string_view modelID);

// Whether name can be used as one entry of a folder without leaving it: not empty, not "." or
// "..", no "/" and no NUL. Names from downloads and manifests pass this before any path is made.
bool isSafeComponent(std::string_view name);

// Entries relative to the support folder that may be deleted: "engine" from topLevel, then
// "models/<name>" for each models entry of another family, and, when keep is given, each product
// model folder keep does not hold. Hidden entries are never retired.
std::vector<std::string> retired(const std::vector<std::string>& topLevel,
                                 const std::vector<std::string>& models,
                                 const std::optional<std::set<std::string>>& keep);

// How to start an external worker.
struct WorkerLaunch {
    std::string python;
    std::string script;
    std::string workingDirectory;
    std::optional<std::string> modelDirectory;  // none for a development worker

    friend bool operator==(const WorkerLaunch&, const WorkerLaunch&) = default;
};

// What to do about the worker: launch it, use the built-in rules (with the reason), or download.
struct WorkerPlan {
    enum class Kind { launch, rulesOnly, needsDownload };

    Kind kind = Kind::needsDownload;
    std::optional<WorkerLaunch> launch;
    std::string reason;  // rulesOnly's

    static WorkerPlan launching(WorkerLaunch launch) {
        return {Kind::launch, std::move(launch), {}};
    }
    static WorkerPlan rulesOnly(std::string reason) {
        return {Kind::rulesOnly, std::nullopt, std::move(reason)};
    }
    static WorkerPlan needsDownload() { return {}; }

    friend bool operator==(const WorkerPlan&, const WorkerPlan&) = default;
};

// Why the built-in rules are used on a computer that cannot run the on-device model.
inline constexpr std::string_view intelReason = OvraText::mark(
    "This computer's processor cannot run the on-device model, so Ovra is using "
    "its built-in rules.");

struct WorkerPlanInput {
    std::optional<std::string> resources;  // the app's resources folder
    std::string support;                   // the support folder
    std::string developmentDirectory;      // may be empty; a leading "~" is the home folder
    std::string home;                      // the home folder, for that "~"
    std::string model;                     // the model id
    bool canRunModel = true;               // whether this computer can run the on-device model
    std::function<bool(const std::string&)> isExecutable;
    std::function<bool(const std::string&)> exists;
};

// The launch plan. Touches no file itself: the two tests are asked about paths.
WorkerPlan plan(const WorkerPlanInput& input);

// `base` and `component` with one "/" between them; either may be empty.
std::string appendingPathComponent(std::string_view base, std::string_view component);

}  // namespace ovra::WorkerLayout
