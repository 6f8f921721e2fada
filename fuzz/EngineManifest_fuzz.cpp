// The engine manifest names files that become paths and download limits: any bytes either
// decode into safe names and sizes that survive a round trip, or fail as a value.

#include "core/EngineManifest.h"
#include "core/WorkerLayout.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using ovra::fuzz::check;
    namespace layout = ovra::WorkerLayout;
    const auto decoded = ovra::EngineManifest::decode(ovra::fuzz::text(data, size));
    if (!decoded)
        return 0;
    const ovra::EngineManifest& manifest = *decoded;
    for (const auto& file : manifest.files) {
        check(layout::isSafeComponent(file.name) && file.bytes >= 0,
              "file names and sizes are safe");
        if (file.model)
            check(layout::isSafeComponent(layout::modelFolder(*file.model)), "model ids are safe");
        for (const auto& part : file.downloads())
            check(layout::isSafeComponent(part.name) && part.bytes >= 0, "parts are safe");
    }
    const auto again = ovra::EngineManifest::decode(ovra::json::dump(manifest.encode()));
    check(again && *again == manifest, "an encoded manifest decodes to itself");

    const auto ids = manifest.modelIDs();
    const std::string chosen = manifest.usableModel("murmlark-ovra/en");
    check(ids.empty() || manifest.model(chosen).has_value(), "usableModel picks a listed model");
    (void)manifest.toFetch(false, ids, [](const std::string& id) { return id.size() % 2 == 0; });
    return 0;
}
