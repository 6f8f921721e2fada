#pragma once

// Whether a compositing manager runs on the X screen (someone owns the _NET_WM_CM_S<n>
// selection), followed through XFixes selection events as managers start and stop. Never active
// where the app does not run on X.

#include <QObject>
#include <memory>

namespace ovra {

namespace x11 {
class Watch;
}

class CompositorWatch final : public QObject {
    Q_OBJECT
  public:
    CompositorWatch();
    ~CompositorWatch() override;

    bool active() const { return active_; }

  Q_SIGNALS:
    void changed(bool active);

  private:
    std::unique_ptr<x11::Watch> watch_;
    bool active_ = false;
};

}  // namespace ovra
