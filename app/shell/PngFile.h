#pragma once

// Writes a picture as a PNG file the safe way: encoded in memory first, then written to a fresh
// temporary file beside the target and renamed over it, so a reader never sees half a file and
// a symbolic link planted at the target's name is replaced, not followed.

#include <string>

class QImage;

namespace ovra {

// False when the picture cannot be encoded or the file cannot be written (nothing is left
// behind then).
bool writePngFile(const QImage& image, const std::string& path);

}  // namespace ovra
