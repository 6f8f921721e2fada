// A model's tokenizer.json comes with a download: any bytes either load or are refused with
// TokenizerError, and a tokenizer that loads frames and pads every text as asked.

#include "core/OvraTokenizer.h"
#include "fuzz/FuzzSupport.h"

namespace {

constexpr std::string_view kTexts[] = {
    "Place order",
    "UI element: button labeled \"No thanks\".\nLocation in window: top right",
    "Caf\xc3\xa9 \xe2\x80\x94 50\xe2\x82\xac  \t\xf0\x9f\x8d\xaa it's",
    "broken \xff\xfe\xc3 bytes",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using ovra::fuzz::check;
    try {
        const ovra::OvraTokenizer tokenizer(ovra::fuzz::text(data, size));
        for (const std::string_view text : kTexts) {
            const auto ids = tokenizer.encode(text, 12);
            check(ids.size() >= 2 && ids.size() <= 12, "encode gives 2 to maxLength ids");
            check(ids.front() == tokenizer.cls() && ids.back() == tokenizer.sep(),
                  "encode frames the ids");
            const auto padded = tokenizer.encodePadded(text, 12);
            check(padded.ids.size() == 12 && padded.mask.size() == 12,
                  "encodePadded gives exactly maxLength ids and mask");
        }
    } catch (const ovra::TokenizerError&) {
    }
    return 0;
}
