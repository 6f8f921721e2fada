#pragma once

// Copying from file URLs ("file:///path" or "file://localhost/path", percent-escapes decoded).

#include <optional>
#include <string>

#include "platform/download/Downloader.h"

namespace ovra::download {

// The local path of a file URL; nullopt for another host or a bad escape.
std::optional<std::string> filePath(const std::string& url);

Outcome copyFile(const std::string& url, const std::filesystem::path& destination,
                 const Options& options, const Progress& progress, const std::atomic<bool>& cancel);

}  // namespace ovra::download
