#pragma once

// What the model supervisor tells the user about the on-device model: off with a reason, ready
// with a model, starting or loading. The menu, the home island and the settings window show it.

#include <string>

namespace ovra {

struct WorkerStatus {
    enum class Kind { offline, ready, starting, loading };

    Kind kind = Kind::offline;
    std::string reason;  // offline: shown to the user
    std::string model;   // ready: the model id

    static WorkerStatus offline(std::string reason) {
        return {Kind::offline, std::move(reason), {}};
    }
    static WorkerStatus ready(std::string model) { return {Kind::ready, {}, std::move(model)}; }
    static WorkerStatus starting() { return {Kind::starting, {}, {}}; }
    static WorkerStatus loading() { return {Kind::loading, {}, {}}; }

    bool isReady() const { return kind == Kind::ready; }
    bool isOffline() const { return kind == Kind::offline; }

    // One localized line: the same for every offline reason.
    std::string label() const;
    // One localized line with the reason or the model's name.
    std::string detail() const;

    // The localized name of a model id as the status shows it.
    static std::string modelName(const std::string& modelID);

    friend bool operator==(const WorkerStatus&, const WorkerStatus&) = default;
};

}  // namespace ovra
