#pragma once

// The press of a chosen control, tried route by route on the accessibility worker once the
// overlay has closed: the window is raised; a text field is focused (clicked in web content when
// the focus request fails) and never pressed; a control in web content is clicked at the middle
// of its visible part; everything else, and every click that could not land on the control, gets
// the press action, then focus with the confirm action. The report names the route that worked,
// or every route that failed.

#include "app/accessibility/ElementActions.h"
#include "app/controller/ControllerServices.h"

namespace ovra {

PressReport pressControl(AXActions& actions, ax::AccessibilityBackend& backend,
                         const PressJob& job);

}  // namespace ovra
