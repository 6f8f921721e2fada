#pragma once

// A speech-dispatcher of the test's own: its configuration and socket in a folder of the test,
// played into ALSA's null device, reached through SPEECHD_ADDRESS while it runs. Its voice is
// espeak-ng, or a recorder that writes each text it is given to a file and takes a while to
// "say" it.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "testing/desktop/Commands.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra::testing {

class PrivateSpeech {
  public:
    struct Recorder {
        double secondsPerText = 0;
    };

    // Starts the daemon in `folder` (made when missing); false from started() when it did not.
    explicit PrivateSpeech(std::filesystem::path folder, std::optional<Recorder> recorder = {})
        : folder_(std::move(folder)) {
        std::filesystem::create_directories(folder_ / "modules");
        const std::string module = recorder ? "recorder" : "espeak-ng";
        std::ofstream(folder_ / "speechd.conf")
            << "AudioOutputMethod \"alsa\"\nAudioALSADevice \"null\"\nDefaultModule " << module
            << "\nAddModule \"" << module << "\" \"" << (recorder ? "sd_generic" : "sd_espeak-ng")
            << "\" \"" << module << ".conf\"\n";
        if (recorder) {
            std::ofstream(folder_ / "modules" / "recorder.conf")
                << "GenericExecuteSynth \"printf '%s\\\\n' \\'$DATA\\' >> " << spokenFile().string()
                << "; sleep " << recorder->secondsPerText
                << "\"\nAddVoice \"en\" \"MALE1\" \"recorder\"\nDefaultVoice \"recorder\"\n"
                   "GenericLanguage \"en\" \"en\" \"utf-8\"\n";
        }
        start();
    }
    ~PrivateSpeech() {
        ::unsetenv("SPEECHD_ADDRESS");
        daemon_.stop();
    }
    PrivateSpeech(const PrivateSpeech&) = delete;
    PrivateSpeech& operator=(const PrivateSpeech&) = delete;

    // (Re)starts the daemon; its start-up lists every voice on standard error, kept in its
    // folder.
    bool start() {
        std::filesystem::remove(socket());
        daemon_ = LaunchedApp::start({"sh", "-c",
                                      "exec speech-dispatcher --run-single --timeout 0 "
                                      "--config-dir \"$0\" --socket-path \"$0/speechd.sock\" "
                                      "2>\"$0/daemon.log\"",
                                      folder_.string()});
        started_ = eventually([&] { return std::filesystem::exists(socket()); }, 10);
        ::setenv("SPEECHD_ADDRESS", ("unix_socket:" + socket().string()).c_str(), 1);
        return started_;
    }
    bool started() const { return started_; }
    LaunchedApp& daemon() { return daemon_; }
    // What the recorder was given so far, a line a text.
    std::string spoken() const { return readText(spokenFile()); }

  private:
    std::filesystem::path socket() const { return folder_ / "speechd.sock"; }
    std::filesystem::path spokenFile() const { return folder_ / "spoken"; }

    std::filesystem::path folder_;
    LaunchedApp daemon_;
    bool started_ = false;
};

}  // namespace ovra::testing
