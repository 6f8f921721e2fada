// Control texts come from other apps and web pages: the built-in rules judge any role and any
// label, and their shortcuts (pre-normalized, pre-screened, decoded once) agree with the plain
// calls. Input: role, title, description, value, subrole and context, separated by NUL bytes
// (which no accessibility text can hold).

#include "core/DarkPatternPrior.h"
#include "core/Text.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using ovra::fuzz::check;
    namespace prior = ovra::DarkPatternPrior;
    const auto fields = ovra::fuzz::split(ovra::fuzz::text(data, size), '\0');
    const auto field = [&](std::size_t i) {
        return i < fields.size() ? std::string(fields[i]) : std::string();
    };
    ovra::UICandidate c;
    c.id = "c1";
    c.role = field(0);
    c.title = field(1);
    c.description = field(2);
    c.value = field(3);
    if (fields.size() > 4)
        c.subrole = field(4);
    if (fields.size() > 5)
        c.context = field(5);

    const std::string label = c.label();
    const std::string normalized = prior::normalized(label);
    const auto screening = prior::screen(normalized);
    const auto opinion = prior::evaluate(c);
    check(opinion == prior::evaluateNormalized(c, normalized) &&
              opinion == prior::evaluateScreened(c, normalized, screening),
          "the shortcuts of evaluate agree with it");
    if (opinion)
        check(opinion->weight >= 0 && opinion->weight <= 1, "a rule's weight is within 0...1");
    (void)prior::wordCount(normalized);

    for (const std::string& text : {c.title, label}) {
        const auto unicode = ovra::text::fromUtf8(text);
        check(ovra::ProtectedText::isWarning(text) ==
                      ovra::ProtectedText::isWarningUnicode(unicode) &&
                  ovra::ProtectedText::hasPrice(text) ==
                      ovra::ProtectedText::hasPriceUnicode(unicode) &&
                  ovra::ProtectedText::isMarketingOnAction(text) ==
                      ovra::ProtectedText::isMarketingOnActionUnicode(unicode),
              "protected-text tests agree on UTF-8 and decoded text");
        check(ovra::PopupWords::namesPopup(text) ==
                  ovra::PopupWords::namesPopup(text, prior::screen(prior::normalized(text))),
              "the screened pop-up test agrees with the plain one");
        (void)ovra::PopupWords::isClose(text);
        (void)ovra::PopupWords::declinesOffer(text);
    }
    (void)c.roleName();
    return 0;
}
