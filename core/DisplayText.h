#pragma once

// Text that another app wrote, made fit to draw and speak: an app can put anything in a label,
// and what the user reads must look like what the app meant, not like boxes, text flowing the
// wrong way or marks piled over the rows below.

#include <string>
#include <string_view>

namespace ovra::text {

// The most combining marks kept on one character: enough for every real script (Vietnamese
// stacks two, Hebrew with cantillation three), far too few to draw over other lines.
inline constexpr int kMaxCombiningMarks = 4;

// Invalid UTF-8 repaired; line breaks, tabs and other white space runs become one space;
// control characters, non-characters and the bidirectional embeddings, overrides and isolates
// (which reorder whatever follows them) removed; each run of combining marks cut to
// kMaxCombiningMarks; both ends trimmed.
std::string forDisplay(std::string_view utf8);

}  // namespace ovra::text
