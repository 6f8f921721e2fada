#pragma once

// Which controls are costly to press for the user (delete, pay, send, sign out, discard), so
// that a press of one asks for a second confirmation.

#include "core/Candidate.h"
#include "core/Regex.h"

namespace ovra::ActionSafety {

// The consequential wording, searched anywhere in a label.
const Regex& regex();

// True when pressing the control deserves a second confirmation. Text inputs and check boxes
// never do, whatever their label.
bool needsConfirmation(const UICandidate& candidate);

}  // namespace ovra::ActionSafety
