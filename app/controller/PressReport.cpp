#include "app/controller/PressReport.h"

#include "core/OvraText.h"

namespace ovra::PressReport {

namespace {

std::string routeList(const std::vector<std::string>& routes) {
    std::string out;
    for (const std::string& route : routes) {
        out += (out.empty() ? "" : ", ") + route;
    }
    return out;
}

}  // namespace

std::string logLine(const std::string& label, const PressOutcome& outcome) {
    const std::string quoted = "\"" + label + "\"";
    // In web content, what told whether the press arrived.
    const std::string told = outcome.told.empty() ? "" : ", " + std::string(outcome.told);
    if (outcome.route) {
        return "Ovra pressed " + quoted + ": " + std::string(rawValue(*outcome.route)) +
               (outcome.replaced ? " (the page had made it anew)" : "") + told;
    }
    switch (outcome.failure.value_or(PressFailure::refused)) {
        case PressFailure::changed:
            return "Ovra did not press " + quoted + ": the control changed" + told;
        case PressFailure::unsure:
            return "Ovra cannot tell whether it pressed " + quoted +
                   ": the page drew it anew as it was pressed, " + std::string(outcome.told);
        case PressFailure::refused:
            break;
    }
    return "Ovra could not press " + quoted + ": every way failed (" +
           routeList(outcome.failedRoutes) + ")";
}

std::optional<std::string> sentence(const PressOutcome& outcome) {
    if (outcome.route) {
        return std::nullopt;
    }
    switch (outcome.failure.value_or(PressFailure::refused)) {
        case PressFailure::changed:
            return OvraText::t("The control changed, so nothing was pressed.");
        case PressFailure::unsure:
            return OvraText::t(
                "The control changed as it was pressed. Look at the page before "
                "pressing it again.");
        case PressFailure::refused:
            break;
    }
    return OvraText::t("The control could not be pressed.");
}

}  // namespace ovra::PressReport
