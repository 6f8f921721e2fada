#pragma once

// The pure rules of the self-updater: the update manifest, dotted version comparison, which
// download addresses are trusted, when a check is due, when an automatic install may run,
// where the app must live to update itself, the install receipt and the outcome reported
// after a relaunch. No input or output, no clock, no network: the updater passes everything in.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "core/Json.h"
#include "core/Result.h"

namespace ovra::OvraUpdates {

// Seconds since the Unix epoch as a real number, like the stored "lastUpdateCheck".
using Date = std::chrono::sys_time<std::chrono::duration<double>>;

// The maker's web domain; downloads are trusted only from it and its www form.
inline constexpr std::string_view webDomain = "qeld.ai";
// The manifest's address: the web domain, path "/ovra/version.json".
const std::string& manifestURL();
inline constexpr std::string_view teamID = "Q3LD7MRK0V";
inline constexpr std::string_view bundleID = "ai.qeld.murmlark-ovra";
inline constexpr double checkInterval = 86400;

// The update manifest "ovra/version.json": one JSON object; other keys are ignored.
struct Manifest {
    std::string version;  // dotted, such as "1.4.2"
    std::string url;      // the archive holding the new app
    std::optional<std::string> notes;
    std::optional<bool> critical;

    bool isCritical() const { return critical.value_or(false); }

    // "version" and "url" are required strings, "notes" a string and "critical" a boolean
    // when present and not null. The version must be valid (isValidVersion), and an address
    // holding control characters (a line break would forge receipt or log lines) is rejected
    // too. Failures say what is wrong.
    static Result<Manifest> fromJson(const Json& json);
    static Result<Manifest> decode(std::string_view jsonText);

    friend bool operator==(const Manifest&, const Manifest&) = default;
};

// The install receipt "last-update.txt": status line, version line, then free detail text.
struct Receipt {
    std::string status;  // "ok", "blocked" or "restored"
    std::string version;
    std::string detail;

    bool failed() const { return status != "ok"; }
    // The file text: status, "\n", version, "\n", detail.
    std::string text() const;
    // Fails, saying why, when the status or the version line is missing or empty. The first
    // two lines are taken as they stand; the detail is trimmed. Invalid UTF-8 is repaired.
    static Result<Receipt> parse(std::string_view text);

    friend bool operator==(const Receipt&, const Receipt&) = default;
};

// What to report after a relaunch.
struct Outcome {
    enum class Kind { updated, failed, nothing };

    Kind kind = Kind::nothing;
    std::string version;  // updated: the running version; failed: the one that failed
    std::string detail;   // failed only

    static Outcome updated(std::string to) { return {Kind::updated, std::move(to), {}}; }
    static Outcome failed(std::string version, std::string detail) {
        return {Kind::failed, std::move(version), std::move(detail)};
    }
    static Outcome nothing() { return {}; }

    friend bool operator==(const Outcome&, const Outcome&) = default;
};

// A version as the manifest may give it: one to five numbers of one to nine digits each,
// separated by single dots ("1.4.2"). Nothing else: no sign, blank, letter or empty piece.
bool isValidVersion(std::string_view version);

// Dotted versions compared number by number; missing or unreadable numbers count as 0, so
// "1.10" is newer than "1.9" and "1.2" equals "1.2.0".
bool isNewer(std::string_view candidate, std::string_view current);

// The address, when it may be downloaded: https on the maker's domain or its www form, with
// no user name or password and no port other than 443. Written back in a canonical form
// (host lower-cased) so that what was checked is exactly what is fetched.
std::optional<std::string> trustedDownload(std::string_view address);

// Whether the daily check is due. A last check that is not a real time counts as none, so a
// damaged setting cannot stop checks for good.
bool shouldCheck(std::optional<Date> last, Date now);

bool mayInstall(bool userAsked, bool critical, bool overlayOpen, bool ovraActive);

bool installLocationIsCorrect(std::string_view bundlePath, std::string_view home);

Outcome outcome(const std::optional<Receipt>& receipt, std::string_view running);

}  // namespace ovra::OvraUpdates
