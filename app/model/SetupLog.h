#pragma once

// The setup log of the on-device model: one line per event, an ISO 8601 UTC timestamp, one space
// and the message. Shared by the installer and the model supervisor; safe to use from any thread.

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

namespace ovra {

class SetupLog final {
  public:
    explicit SetupLog(std::filesystem::path file) : file_(std::move(file)) {}

    // Appends one line; line breaks inside the message become spaces. Failures are ignored: the
    // log never stops the work it describes.
    void write(std::string_view message) const;

    const std::filesystem::path& file() const { return file_; }

    // Stops every setup log of the process for good, once a line being written has ended: the
    // app is being removed, and a later line would bring the log folder back.
    static void freezeAll();

    // "2026-12-05T17:30:53Z".
    static std::string timestamp(std::chrono::system_clock::time_point time);

  private:
    std::filesystem::path file_;
    mutable std::mutex mutex_;
};

}  // namespace ovra
