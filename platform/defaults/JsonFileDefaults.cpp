#include "platform/defaults/JsonFileDefaults.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/defaults/LenientJson.h"
#include "platform/io/Uninterrupted.h"

namespace ovra {

namespace fs = std::filesystem;

namespace DefaultsFiles {

fs::path configHome(const paths::Environment& env) {
    if (auto config = env("XDG_CONFIG_HOME");
        config && !config->empty() && config->front() == '/') {
        return *config;
    }
    if (auto home = env("HOME"); home && !home->empty()) {
        return fs::path(*home) / ".config";
    }
    if (const passwd* entry = ::getpwuid(::getuid());
        entry != nullptr && entry->pw_dir != nullptr) {
        return fs::path(entry->pw_dir) / ".config";
    }
    return fs::path("/") / ".config";
}

fs::path file(std::string_view domain, const paths::Environment& env) {
    return configHome(env) / "murmlark-ovra" / (std::string(domain) + ".json");
}

std::string corruptName(const std::string& fileName, std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    return fileName + ".corrupt-" + stamp;
}

bool isTemporaryName(const std::string& name, const std::string& fileName) {
    // mkostemp's six letters and digits after ".<file name>.".
    const std::string stem = "." + fileName + ".";
    if (name.size() != stem.size() + 6 || !name.starts_with(stem)) {
        return false;
    }
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(stem.size()), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace DefaultsFiles

namespace {

// A temporary file this much older than the start was left by a writer that was killed; a
// younger one may belong to a copy that is writing right now.
constexpr std::chrono::seconds kLeftoverAge{60};

std::string errorText(int error) {
    return std::strerror(error);
}

// The file a write replaces: the target of a symbolic link (settings kept in a dotfiles folder
// stay there), else the path itself.
fs::path resolved(const fs::path& file) {
    std::error_code error;
    if (fs::is_symlink(file, error)) {
        fs::path target = fs::weakly_canonical(file, error);
        if (!error) {
            return target;
        }
    }
    return file;
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now; false (with errno set) when the close reported an error.
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

  private:
    int fd_;
};

// Renames `from` to `to` unless `to` exists.
bool renameWithoutReplacing(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the flag: the check and the rename are not one step, which only
    // matters if two corrupt files are set aside in the same second.
    std::error_code error;
    if (fs::exists(to, error)) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

JsonFileDefaults::JsonFileDefaults(fs::path file, Scheduler& scheduler, Report report)
    : JsonFileDefaults(std::move(file), &scheduler, std::move(report)) {}

JsonFileDefaults::JsonFileDefaults(fs::path file, Scheduler* scheduler, Report report)
    : file_(std::move(file)), scheduler_(scheduler), report_(std::move(report)) {
    load();
    if (scheduler_ != nullptr) {
        removeLeftovers();
    }
}

std::unique_ptr<JsonFileDefaults> JsonFileDefaults::readOnly(fs::path file, Report report) {
    return std::unique_ptr<JsonFileDefaults>(
        new JsonFileDefaults(std::move(file), nullptr, std::move(report)));
}

JsonFileDefaults::~JsonFileDefaults() {
    if (scheduler_ != nullptr) {
        scheduler_->cancel(pendingWrite_);
        if (dirty_) {
            flush();
        }
    }
}

void JsonFileDefaults::load() {
    const fs::path target = resolved(file_);
    FileDescriptor fd(::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            mayWrite_ = false;
            reportOnce("The settings file " + file_.string() + " could not be read (" +
                       errorText(errno) +
                       "); the default settings are used and it is left as it is.");
        }
        return;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        mayWrite_ = false;
        reportOnce("The settings file " + file_.string() +
                   " is not a file; the default settings are used and it is left as it is.");
        return;
    }
    if (static_cast<std::uintmax_t>(info.st_size) > DefaultsFiles::kMaxBytes) {
        setAside("it is larger than 1 MiB");
        return;
    }
    // One byte more than the limit tells a file that grew since fstat.
    std::string text(DefaultsFiles::kMaxBytes + 1, '\0');
    std::size_t size = 0;
    while (size < text.size()) {
        const ssize_t got = io::readSome(fd.get(), text.data() + size, text.size() - size);
        if (got < 0) {
            mayWrite_ = false;
            reportOnce("The settings file " + file_.string() + " could not be read (" +
                       errorText(errno) +
                       "); the default settings are used and it is left as it is.");
            return;
        }
        if (got == 0) {
            break;
        }
        size += static_cast<std::size_t>(got);
    }
    if (size > DefaultsFiles::kMaxBytes) {
        setAside("it is larger than 1 MiB");
        return;
    }
    text.resize(size);
    auto parsed = LenientJson::parse(text);
    if (!parsed) {
        setAside(parsed.error());
        return;
    }
    if (!parsed->value.is_object()) {
        setAside("it does not hold a JSON object");
        return;
    }
    contents_ = std::move(parsed->value);
    if (parsed->unreadable > 0) {
        reportOnce("The settings file " + file_.string() + " holds " +
                   (parsed->unreadable == 1
                        ? std::string("a value that could not be read; that setting is back to "
                                      "its default.")
                        : std::to_string(parsed->unreadable) +
                              " values that could not be read; those settings are back to "
                              "their defaults."));
    }
}

void JsonFileDefaults::removeLeftovers() const {
    // Writes make their temporary files beside the file they replace: in our folder, or beside
    // the file a link in it points to.
    const fs::path target = resolved(file_);
    const auto cutoff = fs::file_time_type::clock::now() - kLeftoverAge;
    std::vector<fs::path> files{file_};
    if (target != file_) {
        files.push_back(target);
    }
    for (const fs::path& file : files) {
        std::error_code error;
        for (fs::directory_iterator it(file.parent_path(), error), end; !error && it != end;
             it.increment(error)) {
            std::error_code statError;
            const fs::path found = it->path();
            if (DefaultsFiles::isTemporaryName(found.filename().string(),
                                               file.filename().string()) &&
                it->symlink_status(statError).type() == fs::file_type::regular &&
                fs::last_write_time(found, statError) < cutoff && !statError) {
                ::unlink(found.c_str());
            }
        }
    }
}

void JsonFileDefaults::setAside(const std::string& why) {
    if (scheduler_ == nullptr) {
        reportOnce("The settings file " + file_.string() + " is not usable (" + why +
                   "); the default settings are used.");
        return;
    }
    // Only the entry in our folder moves: when it is a link, the file it points to stays.
    const std::string name =
        DefaultsFiles::corruptName(file_.filename().string(), std::chrono::system_clock::now());
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const fs::path aside =
            file_.parent_path() / (attempt == 1 ? name : name + "-" + std::to_string(attempt));
        if (renameWithoutReplacing(file_, aside)) {
            reportOnce("The settings file " + file_.string() + " is not usable (" + why +
                       "); it was moved to " + aside.string() +
                       " and the default settings are used.");
            return;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    mayWrite_ = false;
    reportOnce("The settings file " + file_.string() + " is not usable (" + why +
               ") and could not be moved aside (" + errorText(errno) +
               "); the default settings are used and it is left as it is.");
}

std::optional<Json> JsonFileDefaults::object(std::string_view key) const {
    const auto found = contents_.find(key);
    if (found == contents_.end()) {
        return std::nullopt;
    }
    return *found;
}

void JsonFileDefaults::set(std::string_view key, Json value) {
    contents_[std::string(key)] = std::move(value);
    changed();
}

void JsonFileDefaults::remove(std::string_view key) {
    if (contents_.erase(std::string(key)) > 0) {
        changed();
    }
}

void JsonFileDefaults::changed() {
    if (frozen_) {
        return;
    }
    dirty_ = true;
    if (scheduler_ != nullptr && pendingWrite_ == 0 && !held_) {
        pendingWrite_ = scheduler_->after(0, [this] {
            pendingWrite_ = 0;
            flush();
        });
    }
}

void JsonFileDefaults::freeze() {
    frozen_ = true;
    dirty_ = false;
    if (scheduler_ != nullptr) {
        scheduler_->cancel(std::exchange(pendingWrite_, 0));
    }
}

void JsonFileDefaults::holdWrites() {
    held_ = true;
    if (scheduler_ != nullptr) {
        scheduler_->cancel(std::exchange(pendingWrite_, 0));
    }
}

void JsonFileDefaults::releaseWrites() {
    held_ = false;
    if (dirty_) {
        changed();
    }
}

bool JsonFileDefaults::flush() {
    if (scheduler_ != nullptr) {
        scheduler_->cancel(std::exchange(pendingWrite_, 0));
    }
    if (!dirty_) {
        return true;
    }
    if (scheduler_ == nullptr || held_) {
        return false;
    }
    if (!mayWrite_) {
        reportOnce("Settings changes are not saved: " + file_.string() +
                   " is there but could not be read, and saving would replace it.");
        return false;
    }
    if (auto failure = write()) {
        reportOnce("Ovra could not save its settings to " + file_.string() + ": " + *failure + ".");
        return false;
    }
    dirty_ = false;
    ++fileWrites_;
    lastReport_.clear();
    return true;
}

std::optional<std::string> JsonFileDefaults::write() {
    const fs::path target = resolved(file_);
    const fs::path folder = target.parent_path();
    // Folders are made for our own file only: a link's target folder is the user's.
    if (target == file_) {
        std::error_code error;
        fs::create_directories(folder.parent_path(), error);
        // The app's own settings folder is private.
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return "cannot make the folder " + folder.string() + " (" + errorText(errno) + ")";
        }
    }
    const auto fault = [this](WriteStep step) {
        const int error = writeFault_ ? writeFault_(step) : 0;
        errno = error;
        return error != 0;
    };
    std::string temporary = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    FileDescriptor fd(fault(WriteStep::makeTemporary) ? -1
                                                      : ::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        return "cannot make a file in " + folder.string() + " (" + errorText(errno) + ")";
    }
    const std::string text = json::dump(contents_, 2) + "\n";
    const bool written = ::fchmod(fd.get(), 0600) == 0 && !fault(WriteStep::writeData) &&
                         io::writeAll(fd.get(), text) && ::fsync(fd.get()) == 0 && fd.close() &&
                         ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!written) {
        const int cause = errno;
        ::unlink(temporary.c_str());
        return errorText(cause);
    }
    // The rename itself reaches the disk with the folder.
    FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) {
        ::fsync(directory.get());
    }
    return std::nullopt;
}

void JsonFileDefaults::reportOnce(const std::string& sentence) {
    if (sentence == lastReport_) {
        return;
    }
    lastReport_ = sentence;
    if (report_) {
        report_(sentence);
    }
}

}  // namespace ovra
