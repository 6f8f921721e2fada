#pragma once

// The names apps show on this desktop, for the remembered choices: an app key is the app's
// desktop-file id where one is known, so its shown name is that desktop file's Name for the
// user's language; any other key is shown as it is. Files are read once per key and kept.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovra {

class DesktopAppNames final {
  public:
    using Environment = std::function<std::optional<std::string>(const char*)>;

    // `environment` reads XDG_DATA_HOME, XDG_DATA_DIRS, HOME and the locale variables.
    explicit DesktopAppNames(Environment environment);

    // The Name of `<key>.desktop` for the user's language, else the key.
    std::string name(const std::string& key);
    // The same, absent when no such desktop file names the app.
    std::optional<std::string> find(const std::string& key);
    // The name of a running app as the desktop shows it: the Name of its desktop file, found by
    // its window's class as it is and in lower case, then by its process name; else the
    // window's class, else the process name. Made fit to draw.
    std::string shown(const std::string& windowClass, const std::string& processName);

    // The entry's Name for the first language that has one ("de_DE" then "de"), else its Name.
    static std::optional<std::string> nameIn(std::string_view desktopFile,
                                             const std::vector<std::string>& languages);
    // "de_DE.UTF-8@euro" gives "de_DE@euro", "de_DE", "de@euro", "de".
    static std::vector<std::string> languagesOf(std::string_view locale);

  private:
    std::optional<std::string> lookUp(const std::string& key) const;

    Environment environment_;
    std::map<std::string, std::optional<std::string>, std::less<>> known_;
};

}  // namespace ovra
