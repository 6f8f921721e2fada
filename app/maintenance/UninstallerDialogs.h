#pragma once

// The uninstaller's windows: its question as the keyboard confirm dialog's model (the settings
// window asks it in the dialog's modal form, over itself), and the final message that lists
// what could not be removed.

#include "app/maintenance/UninstallerText.h"
#include "app/settings/ConfirmModel.h"

class QWidget;

namespace ovra::UninstallerDialogs {

// The question with the focus on Cancel, not yet answered.
ConfirmModel model(const UninstallerText::Question& question);

// Shows the final message modally over `parent` (may be null); Return or Esc closes it.
void showFailure(const UninstallerText::Message& message, QWidget* parent);

}  // namespace ovra::UninstallerDialogs
