// A release's signature file comes from the network before anything is checked: any bytes parse
// or fail as a value, and a parsed file is exactly the file its parts write.

#include "app/maintenance/ReleaseStatement.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using ovra::fuzz::check;
    namespace release = ovra::release;
    const std::string_view text = ovra::fuzz::text(data, size);
    const auto parsed = release::parseSignatureFile(text);
    if (!parsed)
        return 0;
    check(release::signatureFile(parsed->statement, parsed->signature) == text,
          "only the exact form parses");
    check(!release::signedByAny(*parsed, {}), "no key signs nothing");
    (void)release::signedByAny(*parsed, {ovra::crypto::Ed25519PublicKey{}});
    return 0;
}
