#pragma once

// Hand-driven stand-ins for the model supervisor's services: classifiers that name their model,
// a loader that makes them (or fails while told to), and an installer finished by hand.

#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/model/SupervisorServices.h"

namespace ovra::supervisor {

struct FakeClassifier final : Classifier {
    std::string name;
    bool throws = false;

    explicit FakeClassifier(std::string n) : name(std::move(n)) {}

    DecisionMap decide(const std::vector<UICandidate>& candidates, const std::string&,
                       const std::string&, const Rect&) override {
        if (throws)
            throw std::runtime_error("prediction failed");
        DecisionMap out;
        for (const auto& c : candidates) {
            ModelDecision d;
            d.id = c.id;
            d.modelVerdict = name;
            out[c.id] = d;
        }
        return out;
    }
};

struct LoadError : std::runtime_error {
    LoadError() : std::runtime_error("cannot load") {}
};

// Loads FakeClassifiers named after the model file's folder, or throws while failing is set.
struct FakeLoader {
    struct State {
        bool failing = false;
        std::vector<std::filesystem::path> models;
        std::vector<std::shared_ptr<FakeClassifier>> made;
    };
    std::shared_ptr<State> state = std::make_shared<State>();

    ClassifierLoader loader() const {
        return [state = state](const std::filesystem::path& model,
                               const std::filesystem::path&) -> std::shared_ptr<Classifier> {
            state->models.push_back(model);
            if (state->failing)
                throw LoadError();
            auto c = std::make_shared<FakeClassifier>(model.parent_path().filename().string());
            state->made.push_back(c);
            return c;
        };
    }
};

class FakeInstaller final : public ModelInstaller {
  public:
    Stage stage() const override { return stage_; }
    double progress() const override { return progress_; }
    bool busy() const override { return static_cast<bool>(finished_); }
    bool start(const std::vector<std::string>& models,
               std::function<void(bool)> finished) override {
        if (finished_)
            return false;
        requests.push_back(models);
        finished_ = std::move(finished);
        setStage(Stage::working("Downloading"));
        return true;
    }
    void setChangeHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

    // Ends the running install. On success, onSuccess (when set) puts files in place first.
    void finish(bool ok, const std::string& failure = "It broke.") {
        if (!finished_)
            throw std::logic_error("no install is running");
        if (ok && onSuccess)
            onSuccess(requests.back());
        setStage(ok ? Stage::done() : Stage::failed(failure));
        auto finished = std::move(finished_);
        finished_ = nullptr;
        finished(ok);
    }
    // Ends the running install with false but no failed stage (cancelled, say).
    void finishQuietly() {
        auto finished = std::move(finished_);
        finished_ = nullptr;
        setStage(Stage::idle());
        finished(false);
    }
    void setStage(Stage s) {
        stage_ = std::move(s);
        if (handler_)
            handler_();
    }
    void setProgress(double p) {
        progress_ = p;
        if (handler_)
            handler_();
    }

    std::vector<std::vector<std::string>> requests;
    std::function<void(const std::vector<std::string>&)> onSuccess;

  private:
    Stage stage_ = Stage::idle();
    double progress_ = 0;
    std::function<void(bool)> finished_;
    std::function<void()> handler_;
};

}  // namespace ovra::supervisor
