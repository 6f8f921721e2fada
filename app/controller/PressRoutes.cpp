#include "app/controller/PressRoutes.h"

namespace ovra {

PressReport pressControl(AXActions& actions, ax::AccessibilityBackend& backend,
                         const PressJob& job) {
    PressReport report;
    if (job.element.isNull()) {
        report.failedRoutes.emplace_back("element gone");
        return report;
    }
    if (!job.windowElement.isNull()) {
        backend.performAction(job.windowElement, "AXRaise");  // most toolkits have no raise
    }
    const bool web = actions.isInWebArea(job.element);
    const auto click = [&] {
        return web && actions.clickVisibleCenter(job.element, job.candidate.frame, job.viewport,
                                                 job.window);
    };
    if (job.candidate.isTextInput()) {
        if (actions.focus(job.element)) {
            report.route = PressRoute::focused;
        } else if (click()) {
            report.route = PressRoute::clicked;
        } else {
            report.failedRoutes.emplace_back("focus");
            if (web) {
                report.failedRoutes.emplace_back("click");
            }
        }
        return report;
    }
    if (click()) {
        report.route = PressRoute::clicked;
        return report;
    }
    if (web) {
        report.failedRoutes.emplace_back("click");
    }
    if (!backend.performAction(job.element, "AXPress")) {
        report.route = PressRoute::pressed;
        return report;
    }
    report.failedRoutes.emplace_back("press");
    actions.focus(job.element);
    if (!backend.performAction(job.element, "AXConfirm")) {
        report.route = PressRoute::confirmed;
        return report;
    }
    report.failedRoutes.emplace_back("confirm");
    return report;
}

}  // namespace ovra
