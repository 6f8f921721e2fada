#include "app/shell/PngFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/io/Uninterrupted.h"

namespace ovra {

std::optional<std::string> writePngFile(const QImage& image, const std::string& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG") ||
        bytes.isEmpty()) {
        return "the picture could not be encoded as PNG";
    }
    const std::filesystem::path target(path);
    if (target.filename().empty()) {
        return "not a file name";
    }
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        return std::strerror(errno);
    }
    // mkostemp makes the file 0600; a picture is for anyone who may read the folder.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    int error = ::fchmod(fd, 0666 & ~mask) == 0 ? 0 : errno;
    if (error == 0 &&
        !io::writeAll(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()))) {
        error = errno;
    }
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(name.data(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(name.data());
        return std::strerror(error);
    }
    return std::nullopt;
}

}  // namespace ovra
