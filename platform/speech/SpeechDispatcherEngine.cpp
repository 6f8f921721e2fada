#include "platform/speech/SpeechDispatcherEngine.h"

#include <signal.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/speech/SpeechdConnection.h"
#include "platform/speech/SsipSession.h"

namespace ovra::speech {

namespace {

using Clock = std::chrono::steady_clock;

// After a listing that found no voices (no daemon, say), the next waits this long.
constexpr std::chrono::seconds kVoicesRetry{10};

struct Command {
    enum class Kind { speak, cancel, listVoices, ended, look, stop };
    Kind kind = Kind::cancel;
    MessageId id = 0;  // speak: ours; ended: the daemon's
    Utterance utterance;
    SpeechEnd end = SpeechEnd::cancelled;
    std::uint64_t connection = 0;  // ended: the connection it came on
};

std::string millis(std::chrono::milliseconds bound) {
    return std::to_string(bound.count()) + " ms";
}

}  // namespace

// What a worker reports; each posts to the main thread.
struct SpeechDispatcherEngine::Outbox {
    std::function<void(MessageId, SpeechEnd)> ended;
    std::function<void(std::vector<Voice>)> voices;
    std::function<void(std::string)> log;
    std::function<void(const Worker*)> stuck;
};

// One connection's thread, with a guard thread that cuts a call the daemon leaves unanswered
// past its bound, and gives the worker up when it cannot be cut (inside libspeechd's opening).
struct SpeechDispatcherEngine::Worker {
    Worker(Outbox reports, Bounds limits, std::shared_ptr<std::timed_mutex> starting)
        : out(std::move(reports)), bounds(limits), daemonStart(std::move(starting)) {}

    static std::shared_ptr<Worker> start(Outbox reports, Bounds limits,
                                         std::shared_ptr<std::timed_mutex> daemonStart) {
        auto worker = std::make_shared<Worker>(std::move(reports), limits, std::move(daemonStart));
        worker->weakSelf = worker;
        worker->thread = std::thread([worker] { worker->run(); });
        worker->guard = std::thread([worker] { worker->watchCalls(); });
        return worker;
    }

    void push(Command command) {
        {
            std::lock_guard lock(mutex);
            commands.push_back(std::move(command));
        }
        wake.notify_one();
    }

    bool hasFinished() {
        std::lock_guard lock(mutex);
        return finished;
    }

    void detachThreads() {
        thread.detach();
        guard.detach();
    }

    // The engine ends: the worker closes its connection; one still waiting is cut, and a worker
    // that does not end at once is left to end by itself.
    void close() {
        std::unique_lock lock(mutex);
        closing = true;
        if (deadline) {
            SpeechdConnection::interrupt(socket, inode);
        }
        wake.notify_all();
        watch.notify_all();
        const bool ended = done.wait_for(lock, bounds.answer, [this] { return finished; });
        lock.unlock();
        if (ended) {
            thread.join();
            guard.join();
        } else {
            detachThreads();
        }
    }

    // The worker thread.
    void run() {
        // A write to a daemon that has gone fails with EPIPE instead of ending the process.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        bool skip = false;
        while (auto command = next(skip)) {
            handle(*command, skip);
        }
        drop({});
        {
            std::lock_guard lock(mutex);
            finished = true;
        }
        done.notify_all();
        watch.notify_all();
    }

    // The next command; `skip` when a cancel waits behind an utterance, which then never
    // starts. None once the worker closes or was given up. While utterances are being spoken,
    // a look at the connection every second, so that a daemon that went away ends them.
    std::optional<Command> next(bool& skip) {
        std::unique_lock lock(mutex);
        const auto ready = [this] { return closing || abandoned || !commands.empty(); };
        if (live.empty()) {
            wake.wait(lock, ready);
        } else if (!wake.wait_for(lock, std::chrono::seconds(1), ready)) {
            return Command{Command::Kind::look};
        }
        if (closing || abandoned) {
            return std::nullopt;
        }
        Command command = std::move(commands.front());
        commands.pop_front();
        skip = command.kind == Command::Kind::speak &&
               std::any_of(commands.begin(), commands.end(),
                           [](const Command& c) { return c.kind == Command::Kind::cancel; });
        return command;
    }

    // Runs one call under the guard's eye.
    template <class Call>
    auto call(std::chrono::milliseconds bound, Call&& work) {
        {
            std::lock_guard lock(mutex);
            deadline = Clock::now() + bound;
            callBound = bound;
        }
        watch.notify_all();
        auto result = work();
        {
            std::lock_guard lock(mutex);
            deadline.reset();
        }
        watch.notify_all();
        return result;
    }

    void handle(Command& command, bool skip) {
        switch (command.kind) {
            case Command::Kind::speak:
                if (skip || !speak(command)) {
                    out.ended(command.id, SpeechEnd::cancelled);
                }
                break;
            case Command::Kind::cancel:
                if (connection && !call(bounds.answer, [this] { return connection->cancel(); })) {
                    drop(connection->lastProblem());
                }
                break;
            case Command::Kind::listVoices:
                out.voices(listVoices());
                break;
            case Command::Kind::ended:
                if (const auto it = live.find(command.id);
                    command.connection == serial && it != live.end()) {
                    out.ended(it->second, command.end);
                    live.erase(it);
                }
                break;
            case Command::Kind::stop: {
                std::lock_guard lock(mutex);
                closing = true;
                break;
            }
            case Command::Kind::look:
                if (connection && SpeechdConnection::peerGone(connection->socket(), inode)) {
                    drop("speech-dispatcher went away while speaking");
                }
                break;
        }
    }

    // Speaks on the connection, once more on a new one when the daemon went away since the
    // last call (killed, restarted). False when it could not be spoken.
    bool speak(const Command& command) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!connection && !connect()) {
                return false;
            }
            const auto daemonId =
                call(bounds.answer, [&] { return connection->say(command.utterance); });
            if (daemonId) {
                if (!connection->lastProblem().empty()) {
                    out.log(connection->lastProblem());
                }
                live[*daemonId] = command.id;
                return true;
            }
            const bool gone = connection->broken() && !wasCut();
            drop(gone ? std::string() : connection->lastProblem());
            if (!gone) {
                return false;
            }
        }
        return false;
    }

    // Over a socket of its own where the daemon has a local one (after opening a connection
    // when nobody listened, which starts the daemon); else through libspeechd.
    std::vector<Voice> listVoices() {
        const std::string address = SpeechdConnection::unixAddress();
        if (!address.empty()) {
            SsipSession::Listing listing = SsipSession::listVoices(address, bounds.listing);
            if (listing.nobodyListens && connect()) {
                listing = SsipSession::listVoices(address, bounds.listing);
            }
            if (listing.voices.empty()) {
                out.log(listing.problem);
            }
            return std::move(listing.voices);
        }
        if (!connection && !connect()) {
            return {};
        }
        std::vector<Voice> voices = call(bounds.listing, [this] { return connection->voices(); });
        if (voices.empty()) {
            const std::string problem = connection->lastProblem();
            if (connection->broken()) {
                drop(problem);
            } else {
                out.log(problem);
            }
        }
        return voices;
    }

    // Opens a connection when the daemon answers; a daemon that does not is said once, until a
    // connection is made again.
    bool connect() {
        const std::string address = SpeechdConnection::unixAddress();
        const std::optional<bool> answers =
            address.empty() ? std::nullopt : SsipSession::answers(address, bounds.answer);
        if (answers == false) {
            if (!silentRefusal) {
                silentRefusal = true;
                out.log("speech-dispatcher does not answer within " + millis(bounds.answer) +
                        "; utterances end unspoken until it does");
            }
            return false;
        }
        // Nobody listens, so opening starts a daemon: one worker at a time. A second start while
        // the first one's daemon comes up fails ("already running"); waiting for the first, it
        // finds the daemon listening and only connects.
        std::unique_lock<std::timed_mutex> starting(*daemonStart, std::defer_lock);
        if (!answers) {
            (void)starting.try_lock_for(bounds.start);
        }
        const std::uint64_t made = ++serial;
        std::weak_ptr<Worker> self = weakSelf;
        // Opening takes several answers, or starts a daemon: it has the longer bound.
        auto opened = call(bounds.start, [&] {
            return SpeechdConnection::open([self, made](MessageId id, SpeechEnd end) {
                if (auto worker = self.lock()) {
                    worker->push({Command::Kind::ended, id, {}, end, made});
                }
            });
        });
        if (!opened) {
            out.log(opened.error());
            return false;
        }
        connection = std::move(opened).value();
        silentRefusal = false;
        std::lock_guard lock(mutex);
        if (abandoned) {
            // Given up while opening: what was asked of it has ended already.
            return false;
        }
        socket = connection->socket();
        inode = SpeechdConnection::inodeOf(socket);
        cut = false;
        return true;
    }

    // Closes the connection; its utterances end as cancelled.
    void drop(const std::string& why) {
        if (!connection) {
            return;
        }
        if (!why.empty()) {
            out.log(why + "; reconnecting next time");
        }
        {
            std::lock_guard lock(mutex);
            socket = -1;
            inode = 0;
        }
        connection.reset();
        for (const auto& [daemonId, id] : live) {
            out.ended(id, SpeechEnd::cancelled);
        }
        live.clear();
    }

    bool wasCut() {
        std::lock_guard lock(mutex);
        return cut;
    }

    // The guard thread.
    void watchCalls() {
        std::unique_lock lock(mutex);
        while (!closing && !abandoned && !finished) {
            if (!deadline) {
                watch.wait(lock);
                continue;
            }
            const Clock::time_point due = *deadline;
            if (watch.wait_until(lock, due,
                                 [&] { return closing || finished || deadline != due; })) {
                continue;
            }
            if (socket >= 0 && !cut) {
                // The daemon keeps this call waiting: cut the connection, and give the call a
                // moment to come back with its failure.
                cut = true;
                SpeechdConnection::interrupt(socket, inode);
                deadline = Clock::now() + bounds.answer;
                out.log("speech-dispatcher did not answer within " + millis(callBound) +
                        "; its connection is dropped");
                continue;
            }
            abandoned = true;
            wake.notify_all();
            out.stuck(this);
        }
    }

    Outbox out;
    const Bounds bounds;
    // Held while a connection is opened where nobody listened; shared by the engine's workers.
    const std::shared_ptr<std::timed_mutex> daemonStart;
    std::weak_ptr<Worker> weakSelf;

    // Shared by the worker, its guard and the engine, under `mutex`.
    std::mutex mutex;
    std::condition_variable wake;   // commands, closing
    std::condition_variable watch;  // calls starting and ending
    std::condition_variable done;   // the worker thread ended
    std::deque<Command> commands;
    bool closing = false;
    bool abandoned = false;
    bool finished = false;
    bool cut = false;
    std::optional<Clock::time_point> deadline;  // of the call under way
    std::chrono::milliseconds callBound{0};     // the bound it was given
    int socket = -1;
    unsigned long inode = 0;

    // The worker thread's own.
    std::unique_ptr<SpeechdConnection> connection;
    std::uint64_t serial = 0;             // of the current connection
    std::map<MessageId, MessageId> live;  // the daemon's message id to ours
    bool silentRefusal = false;

    std::thread thread;
    std::thread guard;
};

SpeechDispatcherEngine::SpeechDispatcherEngine(Poster post, Log log, Bounds bounds)
    : post_(std::move(post)), log_(std::move(log)), bounds_(bounds) {}

SpeechDispatcherEngine::~SpeechDispatcherEngine() {
    alive_.reset();
    if (current_) {
        current_->close();
    }
}

SpeechDispatcherEngine::Worker* SpeechDispatcherEngine::worker() {
    if (current_) {
        return current_.get();
    }
    std::erase_if(stuck_, [](const std::shared_ptr<Worker>& w) { return w->hasFinished(); });
    if (stuck_.size() >= bounds_.stuckThreads) {
        if (!refusedLogged_ && log_) {
            log_(
                "speech-dispatcher keeps threads waiting; utterances end unspoken until one "
                "comes back");
        }
        refusedLogged_ = true;
        return nullptr;
    }
    refusedLogged_ = false;
    current_ = Worker::start(outbox(), bounds_, daemonStart_);
    return current_.get();
}

SpeechDispatcherEngine::Outbox SpeechDispatcherEngine::outbox() {
    const std::weak_ptr<int> alive = alive_;
    const auto onMain = [post = post_, alive](std::function<void()> work) {
        post([alive, work = std::move(work)] {
            if (!alive.expired()) {
                work();
            }
        });
    };
    Outbox out;
    out.ended = [this, onMain](MessageId id, SpeechEnd end) {
        onMain([this, id, end] { deliver(id, end); });
    };
    out.voices = [this, onMain](std::vector<Voice> list) {
        onMain([this, list = std::move(list)]() mutable {
            voicesAsked_ = false;
            if (list.empty()) {
                voicesRetry_ = std::chrono::steady_clock::now() + kVoicesRetry;
                return;
            }
            voices_ = std::move(list);
            voicesArrived();
        });
    };
    out.log = [this, onMain](std::string line) {
        onMain([this, line = std::move(line)] {
            if (log_) {
                log_(line);
            }
        });
    };
    out.stuck = [this, onMain](const Worker* w) { onMain([this, w] { workerStuck(w); }); };
    return out;
}

MessageId SpeechDispatcherEngine::speak(const Utterance& utterance) {
    const MessageId id = next_++;
    Worker* w = worker();
    outstanding_[id] = w;
    if (w == nullptr) {
        post_([this, alive = std::weak_ptr<int>(alive_), id] {
            if (!alive.expired()) {
                deliver(id, SpeechEnd::cancelled);
            }
        });
        return id;
    }
    w->push({Command::Kind::speak, id, utterance, SpeechEnd::cancelled, 0});
    return id;
}

void SpeechDispatcherEngine::cancelOwn() {
    if (current_) {
        current_->push({Command::Kind::cancel});
    }
}

std::vector<Voice> SpeechDispatcherEngine::voices() {
    if (voices_) {
        return *voices_;
    }
    // Listing takes a second or two (espeak-ng names thousands of voices): a connection of
    // its own, whose threads end once it is done, so that speaking never waits behind it.
    if (!voicesAsked_ && std::chrono::steady_clock::now() >= voicesRetry_) {
        voicesAsked_ = true;
        const std::shared_ptr<Worker> lister = Worker::start(outbox(), bounds_, daemonStart_);
        lister->push({Command::Kind::listVoices});
        lister->push({Command::Kind::stop});
        lister->detachThreads();
    }
    return {};
}

void SpeechDispatcherEngine::deliver(MessageId id, SpeechEnd end) {
    if (outstanding_.erase(id) != 0) {
        ended(id, end);
    }
}

void SpeechDispatcherEngine::workerStuck(const Worker* stuck) {
    if (!current_ || current_.get() != stuck) {
        return;
    }
    if (log_) {
        log_(
            "speech-dispatcher did not answer while a connection was opened; the next "
            "utterance opens another");
    }
    std::vector<MessageId> lost;
    for (const auto& [id, owner] : outstanding_) {
        if (owner == stuck) {
            lost.push_back(id);
        }
    }
    current_->detachThreads();
    stuck_.push_back(std::move(current_));
    for (const MessageId id : lost) {
        deliver(id, SpeechEnd::cancelled);
    }
}

}  // namespace ovra::speech
