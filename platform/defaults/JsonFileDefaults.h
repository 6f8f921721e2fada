#pragma once

// A defaults domain kept in one JSON file (an object of keys and values), such as the app's
// $XDG_CONFIG_HOME/murmlark-ovra/ai.qeld.murmlark-ovra.json.
//
// The file is read once, when the domain is made; loading never writes. Changes are written back
// on the next turn of the main thread's event loop, so many changes in one turn make one write;
// flush() writes at once (at quit, and before a launch flag ends the process). Each write goes
// to a temporary file in the same folder (mode 0600), which is synced and renamed over the old
// one: a crash leaves the old file or the new one, never a part of either, and the temporary
// files a crash leaves are removed when the domain is next made. A file that is not a JSON
// object, or is larger than 1 MiB, is moved aside as "<name>.corrupt-<time>" and reported once;
// the domain then starts empty and the next write makes a fresh file. When the file is a link,
// the link is what is moved aside, never the file it points to. One value that cannot be read
// (a number beyond a double's range) is read as null, so only its key falls back. Every problem
// goes to the report, which the app shows the user. Main thread only.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/defaults/DefaultsDomain.h"
#include "platform/paths/Paths.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

namespace DefaultsFiles {

// The domain of the app's own settings.
inline constexpr std::string_view kAppDomain = "ai.qeld.murmlark-ovra";
// Files larger than this are not settings of ours.
inline constexpr std::uintmax_t kMaxBytes = 1024 * 1024;

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config.
std::filesystem::path configHome(const paths::Environment& env = paths::processEnvironment);
// configHome/murmlark-ovra/<domain>.json.
std::filesystem::path file(std::string_view domain,
                           const paths::Environment& env = paths::processEnvironment);
// "<file name>.corrupt-<UTC time as 20261206T192618Z>".
std::string corruptName(const std::string& fileName, std::chrono::system_clock::time_point time);
// Whether `name` is one of the temporary files a write of `fileName` makes:
// ".<file name>.XXXXXX".
bool isTemporaryName(const std::string& name, const std::string& fileName);

}  // namespace DefaultsFiles

class JsonFileDefaults final : public DefaultsDomain {
  public:
    // Receives each problem once, as one sentence naming the file.
    using Report = std::function<void(const std::string&)>;
    // The steps of a write that a test can make fail, as a full disk or a read-only folder
    // would (permissions cannot stop root).
    enum class WriteStep { makeTemporary, writeData };
    // Returns the errno value a step fails with, or 0.
    using WriteFault = std::function<int(WriteStep)>;

    // Reads `file` now; writes go through `scheduler`, which must outlive the domain.
    JsonFileDefaults(std::filesystem::path file, Scheduler& scheduler, Report report);
    // Reads `file` and never writes to it or moves it: set and remove change only this copy.
    static std::unique_ptr<JsonFileDefaults> readOnly(std::filesystem::path file, Report report);
    // Writes what is pending.
    ~JsonFileDefaults() override;
    JsonFileDefaults(const JsonFileDefaults&) = delete;
    JsonFileDefaults& operator=(const JsonFileDefaults&) = delete;

    std::optional<Json> object(std::string_view key) const override;
    void set(std::string_view key, Json value) override;
    void remove(std::string_view key) override;
    // Writes the pending changes now. False when they could not be written (they stay pending
    // and are tried again on the next change or flush), and for a read-only domain with changes.
    bool flush() override;

    // Tests only: makes write steps fail.
    void setWriteFault(WriteFault fault) { writeFault_ = std::move(fault); }

    // From now on nothing reaches the file: a pending write is dropped, and later changes, flushes
    // and the destructor write nothing (the app is being removed). Reads go on from memory.
    void freeze();
    // Until releaseWrites(), changes stay in memory and nothing reaches the file, not even by
    // flush() (which then returns false) or the destructor: while the app cannot tell yet
    // whether another running copy owns the file.
    void holdWrites();
    // What was held back is written on the next turn, as any change.
    void releaseWrites();

    const std::filesystem::path& file() const { return file_; }
    bool hasPendingChanges() const { return dirty_; }
    // How many times the file has been written.
    std::size_t fileWrites() const { return fileWrites_; }

  private:
    JsonFileDefaults(std::filesystem::path file, Scheduler* scheduler, Report report);

    void load();
    void removeLeftovers() const;
    void setAside(const std::string& why);
    void changed();
    // One atomic replacement of the file; the reason when it failed.
    std::optional<std::string> write();
    void reportOnce(const std::string& sentence);

    std::filesystem::path file_;
    Scheduler* scheduler_;  // null when read-only
    Report report_;
    Json contents_ = Json::object();
    bool dirty_ = false;
    // Set when the file is there but could not be read or moved aside: writing would destroy
    // settings we never saw.
    bool mayWrite_ = true;
    bool frozen_ = false;
    bool held_ = false;
    Scheduler::Token pendingWrite_ = 0;
    std::size_t fileWrites_ = 0;
    std::string lastReport_;
    WriteFault writeFault_;
};

}  // namespace ovra
