#include "app/maintenance/UninstallerSurvey.h"

#include <utility>

namespace ovra {

struct UninstallerSurvey::State {
    std::vector<std::string> shown;
    std::vector<std::optional<Found>> answers;
    bool late = false;  // the bound has passed
    std::function<void(const UninstallerText::Known&)> changed;

    UninstallerText::Known known() const {
        UninstallerText::Known known;
        bool all = true;
        UninstallerFiles::Usage everything;
        UninstallerFiles::Usage model;
        for (std::size_t i = 0; i < answers.size(); ++i) {
            if (!answers[i]) {
                all = false;
                if (late) {
                    known.unanswered.push_back(shown[i]);
                }
                continue;
            }
            everything.insert(answers[i]->usage.begin(), answers[i]->usage.end());
            if (answers[i]->model) {
                model.insert(answers[i]->usage.begin(), answers[i]->usage.end());
            }
            if (answers[i]->appMovesToTrash) {
                known.appMovesToTrash = answers[i]->appMovesToTrash;
            }
        }
        if (all || late) {
            known.total = UninstallerFiles::total(everything);
            known.modelSize = UninstallerFiles::total(model);
        }
        return known;
    }
    void tell() const {
        if (changed) {
            changed(known());
        }
    }
};

UninstallerSurvey::UninstallerSurvey(std::vector<Place> places, const Offload& offload,
                                     Scheduler* scheduler)
    : state_(std::make_shared<State>()), scheduler_(scheduler) {
    state_->answers.resize(places.size());
    for (const Place& place : places) {
        state_->shown.push_back(place.shown);
    }
    const std::weak_ptr<State> weak = state_;
    if (scheduler_ != nullptr) {
        bound_ = scheduler_->after(kBound, [weak] {
            if (auto state = weak.lock()) {
                state->late = true;
                state->tell();
            }
        });
    }
    for (std::size_t i = 0; i < places.size(); ++i) {
        // The job holds its own answer: it may end after the survey has.
        auto answer = std::make_shared<std::optional<Found>>();
        auto work = [look = std::move(places[i].look), answer] { *answer = look(); };
        auto then = [weak, i, answer] {
            if (auto state = weak.lock(); state && *answer) {
                state->answers[i] = std::move(*answer);
                state->tell();
            }
        };
        if (offload) {
            offload(std::move(work), std::move(then));
        } else {
            work();
            then();
        }
    }
}

UninstallerSurvey::~UninstallerSurvey() {
    if (scheduler_ != nullptr) {
        scheduler_->cancel(bound_);
    }
}

UninstallerText::Known UninstallerSurvey::known() const {
    return state_->known();
}

void UninstallerSurvey::onChange(std::function<void(const UninstallerText::Known&)> changed) {
    state_->changed = std::move(changed);
}

}  // namespace ovra
