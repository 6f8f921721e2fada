#include "app/model/RetiredFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "core/WorkerLayout.h"

namespace ovra::supervisor {

namespace {

// Deeper trees than this are not ours to walk; they are left in place with an error.
constexpr int kMaxDepth = 64;

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

  private:
    int fd_;
};

Fd openFolderAt(int dirfd, const char* name) {
    return Fd(::openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// Names in an open folder, without "." and "..". Empty when it cannot be listed.
std::vector<std::string> namesIn(int dirfd) {
    std::vector<std::string> names;
    const int copy = ::fcntl(dirfd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return names;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        ::close(copy);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

// Removes name inside dirfd and, for a real folder, everything in it; 0 or an errno value.
int removeAt(int dirfd, const std::string& name, int depth) {
    struct stat info {};
    if (::fstatat(dirfd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (!S_ISDIR(info.st_mode))
        return ::unlinkat(dirfd, name.c_str(), 0) == 0 ? 0 : errno;
    if (depth >= kMaxDepth)
        return ELOOP;
    {
        const Fd folder = openFolderAt(dirfd, name.c_str());
        if (!folder.valid())
            return errno;
        int firstError = 0;
        for (const auto& child : namesIn(folder.get())) {
            const int error = removeAt(folder.get(), child, depth + 1);
            if (error != 0 && firstError == 0)
                firstError = error;
        }
        if (firstError != 0)
            return firstError;
    }
    return ::unlinkat(dirfd, name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

}  // namespace

std::vector<std::string> removeRetiredEntries(const std::filesystem::path& base,
                                              const std::optional<std::set<std::string>>& keep) {
    const Fd baseFd(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!baseFd.valid())
        return {};
    const std::string modelsName(WorkerLayout::kModelsFolder);
    const Fd modelsFd = openFolderAt(baseFd.get(), modelsName.c_str());

    const std::vector<std::string> topLevel = namesIn(baseFd.get());
    const std::vector<std::string> models =
        modelsFd.valid() ? namesIn(modelsFd.get()) : std::vector<std::string>{};

    std::vector<std::string> lines;
    for (const auto& path : WorkerLayout::retired(topLevel, models, keep)) {
        int parent = baseFd.get();
        std::string name = path;
        if (const auto slash = path.find('/'); slash != std::string::npos) {
            if (path.substr(0, slash) != modelsName || !modelsFd.valid())
                continue;
            parent = modelsFd.get();
            name = path.substr(slash + 1);
        }
        if (!WorkerLayout::isSafeComponent(name))
            continue;
        const int error = removeAt(parent, name, 0);
        if (error == 0)
            lines.push_back("removed retired " + path);
        else
            lines.push_back("could not remove retired " + path + ": " +
                            std::generic_category().message(error));
    }
    return lines;
}

}  // namespace ovra::supervisor
