#pragma once

// The install marker: a small file that `cmake --install` puts at
// <prefix>/share/murmlark-ovra/install-marker to say "this prefix holds Murmlark Ovra". Its first
// line is the app id; a line "self-update=yes" says the install lets the app update itself
// there (release archives always carry that line; a package build leaves it out). Whatever the
// line says, the prefix is the app's as a whole only when it holds nothing but what the install
// listed (InstallListing.h). The updater and the uninstaller both ask here whether a prefix is
// ours and whether it may update itself.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ovra::InstallMarker {

inline constexpr std::string_view kFileName = "install-marker";
inline constexpr std::string_view kSelfUpdateLine = "self-update=yes";
// The executable inside a prefix.
inline constexpr std::string_view kExecutable = "bin/murmlark-ovra";

std::filesystem::path file(const std::filesystem::path& prefix);
std::filesystem::path executable(const std::filesystem::path& prefix);

// The marker's text: the app id, then the self-update line when `selfUpdate`.
std::string text(bool selfUpdate);

struct Marker {
    bool selfUpdate = false;
};
// Our marker in `prefix`: a regular file (not a link) of at most 4 KiB whose first line is our
// app id. Anything else, including another app's marker, is none.
std::optional<Marker> read(const std::filesystem::path& prefix);

enum class Refusal {
    notOurs,           // no marker of ours
    notOwnPrefix,      // the marker does not give the prefix to the app
    sharedWithOthers,  // the prefix holds files the install did not list
    systemFolder,      // a package manager's folder (/usr, /usr/local, /etc...)
    sharedFolder,      // "/", /opt itself, the home folder or one above it, ~/.local
    notWritable,       // the user cannot write the prefix or the folder that holds it
};
// Why the install at `prefix` cannot replace itself, or none when it can: it holds our marker
// with the self-update line and nothing but the files its install listed, the user can write
// it and its parent, and it is neither a system nor a shared folder.
std::optional<Refusal> selfUpdateRefusal(const std::filesystem::path& prefix,
                                         const std::filesystem::path& home);

}  // namespace ovra::InstallMarker
