#include "app/settings/DashboardModel.h"

#include <utility>

namespace ovra {

DashboardModel::DashboardModel()
    : focusID_(OvraPane(OvraPane::home).stopID()), feature_(OvraFeature::allCases().front()) {}

template <class T>
void DashboardModel::write(DashboardField field, T& stored, T value) {
    listeners_.notify(ChangePhase::willChange, field);
    stored = std::move(value);
    listeners_.notify(ChangePhase::didChange, field);
}

void DashboardModel::setPane(OvraPane pane) {
    write(DashboardField::pane, pane_, pane);
}

void DashboardModel::setFocusID(std::optional<std::string> id) {
    write(DashboardField::focusID, focusID_, std::move(id));
}

void DashboardModel::setBanner(std::optional<std::string> text) {
    write(DashboardField::banner, banner_, std::move(text));
}

void DashboardModel::setBannerIsProblem(bool problem) {
    write(DashboardField::bannerIsProblem, bannerIsProblem_, problem);
}

void DashboardModel::setFeature(OvraFeature feature) {
    write(DashboardField::feature, feature_, feature);
}

void DashboardModel::setReading(std::optional<OvraFeature> feature) {
    write(DashboardField::reading, reading_, feature);
}

void DashboardModel::openOn(OvraPane pane) {
    setPane(pane);
    setFocusID(pane.stopID());
}

bool DashboardModel::sidebarHasFocus() const {
    return !focusID_ || OvraPane::fromStopID(*focusID_).has_value();
}

void DashboardModel::showMessage(std::string text, bool problem) {
    setBanner(std::move(text));
    setBannerIsProblem(problem);
}

void DashboardModel::showPermissionNote(std::string text) {
    showMessage(std::move(text), false);
}

DashboardModel::ListenerId DashboardModel::onChange(std::function<void(DashboardField)> listener) {
    return listeners_.add(ChangePhase::didChange,
                          [listener = std::move(listener)](DashboardField f) { listener(f); });
}

DashboardModel::ListenerId DashboardModel::onWillChange(
    std::function<void(DashboardField)> listener) {
    return listeners_.add(ChangePhase::willChange,
                          [listener = std::move(listener)](DashboardField f) { listener(f); });
}

void DashboardModel::removeListener(ListenerId id) {
    listeners_.remove(id);
}

}  // namespace ovra
