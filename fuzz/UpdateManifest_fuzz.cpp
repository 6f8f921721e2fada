// The update manifest comes from the network: any bytes decode or fail as a value, and its
// version and address go through the comparison and the download check without harm.

#include "core/Updates.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using ovra::fuzz::check;
    namespace updates = ovra::OvraUpdates;
    const std::string_view text = ovra::fuzz::text(data, size);
    const auto manifest = updates::Manifest::decode(text);
    if (manifest) {
        check(!updates::isNewer(manifest->version, manifest->version),
              "no version is newer than itself");
        (void)updates::isNewer(manifest->version, "1.4.2");
        if (const auto address = updates::trustedDownload(manifest->url))
            check(updates::trustedDownload(*address) == address, "a trusted address is canonical");
    }
    // The raw bytes as an address too: most of them are no JSON at all.
    if (const auto address = updates::trustedDownload(text)) {
        check(
            address->starts_with("https://qeld.ai") || address->starts_with("https://www.qeld.ai"),
            "a trusted address is on the maker's domain");
    }
    return 0;
}
