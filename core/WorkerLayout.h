#pragma once

// The on-disk layout of the on-device model under the support folder, and the pure rules that
// derive names from it. The support folder itself is found by the platform layer.

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

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

}  // namespace ovra::WorkerLayout
