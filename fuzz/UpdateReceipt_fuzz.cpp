// The install receipt is a file on disk that anything may have written: any bytes parse or
// fail as a value, and a parsed receipt reads back the same from its own text.

#include "core/Updates.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using ovra::fuzz::check;
    namespace updates = ovra::OvraUpdates;
    const auto receipt = updates::Receipt::parse(ovra::fuzz::text(data, size));
    if (!receipt)
        return 0;
    const auto again = updates::Receipt::parse(receipt->text());
    check(again && *again == *receipt, "a receipt's text parses to the same receipt");
    (void)updates::outcome(*receipt, "1.4.2");
    (void)updates::outcome(*receipt, receipt->version);
    return 0;
}
