// The Instructions pane's keyboard rows, which make the pane reachable by the window's keys: the
// feature list (its own keys walk the features) and reading the shown feature aloud.

#include "app/settings/DashboardContent.h"
#include "app/settings/DashboardModel.h"
#include "app/settings/instructions/InstructionsPane.h"
#include "app/settings/panes/RowMaking.h"

namespace ovra::DashboardContent {

std::vector<OvraSection> instructions(const PaneContext& context) {
    DashboardModel& dashboard = context.dashboard;
    DashboardController& controller = context.controller;
    const OvraFeature feature = dashboard.feature();
    OvraRow list = rows::make("instr.list", feature.title(), std::nullopt,
                              rows::action([&dashboard] { dashboard.setFocusID("instr.read"); }));
    list.subtitle = feature.sentence(controller.dictationSource());
    OvraRow read =
        rows::make("instr.read", InstructionsPane::readButton(feature, dashboard.reading()).title,
                   std::nullopt,
                   rows::action([&controller, feature] { controller.readInstruction(feature); }));
    return {{"instr", std::nullopt, {list, read}}};
}

}  // namespace ovra::DashboardContent
