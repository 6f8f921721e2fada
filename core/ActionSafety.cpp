#include "core/ActionSafety.h"

#include <unicode/unistr.h>

#include "core/Text.h"

namespace ovra::ActionSafety {

const Regex& regex() {
    static const Regex pattern(
        R"re(\b(delete|remove|erase|trash|pay|place (your )?order|buy|purchase|check ?out|send|transfer|unsubscribe|sign out|log ?out|discard|don'?t save|submit payment|confirm (purchase|payment|order))\b)re");
    return pattern;
}

bool needsConfirmation(const UICandidate& candidate) {
    // Focusing a field or ticking a box is never consequential, whatever it is labelled.
    if (candidate.isTextInput() || candidate.role == "AXCheckBox")
        return false;
    // Typographic quotes count as the plain apostrophe: "Don’t Save" throws away work just
    // like "Don't Save".
    icu::UnicodeString label = text::fromUtf8(candidate.label());
    label.findAndReplace(icu::UnicodeString(u'\u2019'), icu::UnicodeString(u'\''));
    label.findAndReplace(icu::UnicodeString(u'\u2018'), icu::UnicodeString(u'\''));
    return regex().searchUnicode(label);
}

}  // namespace ovra::ActionSafety
