#pragma once

// Writes a picture as a PNG file the safe way: encoded in memory first, then written to a fresh
// temporary file beside the target and renamed over it, so a reader never sees half a file and
// a symbolic link planted at the target's name is replaced, not followed.

#include <optional>
#include <string>

class QImage;

namespace ovra {

// None when written; else why not, in words ("No such file or directory"), and nothing is
// left behind.
std::optional<std::string> writePngFile(const QImage& image, const std::string& path);

}  // namespace ovra
