// The settings file is the user's to edit and anything may have written it: any bytes load into
// values each property can hold, inside its range, and what the store reads it writes back and
// reads again unchanged.

#include "app/controller/Preferences.h"
#include "core/Json.h"
#include "fuzz/FuzzSupport.h"
#include "platform/defaults/DefaultsDomain.h"

namespace {

bool inRange(ovra::Preference preference, const ovra::PreferenceValue& value) {
    const auto range = ovra::preferenceRange(preference);
    if (!range)
        return true;
    if (const auto* whole = std::get_if<std::int64_t>(&value))
        return static_cast<double>(*whole) >= range->low &&
               static_cast<double>(*whole) <= range->high;
    if (const auto* number = std::get_if<double>(&value))
        return *number >= range->low && *number <= range->high;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using ovra::fuzz::check;
    auto parsed = ovra::json::parse(ovra::fuzz::text(data, size));
    if (!parsed || !parsed->is_object())
        return 0;
    ovra::InMemoryDefaults file(std::move(parsed).value());
    const ovra::Preferences::Sources sources{[] { return std::optional<std::string>("left"); }, ""};
    const ovra::Preferences loaded(file, sources);

    ovra::InMemoryDefaults copy;
    ovra::Preferences writer(copy, sources);
    for (const auto preference : ovra::allPreferences()) {
        const auto& value = loaded.value(preference);
        check(inRange(preference, value), "a loaded value lies in its property's range");
        check(writer.set(preference, value), "the store accepts every value it loads");
    }
    const ovra::Preferences reloaded(copy, sources);
    for (const auto preference : ovra::allPreferences())
        check(reloaded.value(preference) == loaded.value(preference),
              "a written value reads back the same");
    (void)loaded.hotkey();
    (void)loaded.focusOverrides();
    (void)loaded.firstLaunch();
    (void)loaded.lastUpdateCheck();
    return 0;
}
