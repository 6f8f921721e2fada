#pragma once

// Every left and right button press anywhere on the X11 desktop, with where the pointer was:
// XInput 2 raw button events selected on the root window of a connection of its own, read from
// the main thread's event loop. Raw events reach the root window whichever window the press
// lands in, and even while another program holds a grab.

#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "core/Rect.h"
#include "core/Result.h"

class QSocketNotifier;

namespace ovra::clickaway {

class ClickAwayMonitor final : public QObject {
    Q_OBJECT

  public:
    // Called on the main thread with the pointer's place in root window pixels.
    using Handler = std::function<void(Point)>;

    // Fails without an X display or without XInput 2 on it.
    static Result<std::unique_ptr<ClickAwayMonitor>> open(Handler handler);
    ~ClickAwayMonitor() override;

  private:
    struct Connection;
    ClickAwayMonitor(std::unique_ptr<Connection> connection, Handler handler);
    void readEvents();

    std::unique_ptr<Connection> connection_;
    Handler handler_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace ovra::clickaway
