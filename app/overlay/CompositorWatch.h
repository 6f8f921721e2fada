#pragma once

// Whether a compositing manager runs on the X screen (someone owns the _NET_WM_CM_S<n>
// selection), followed through XFixes selection events as managers start and stop. Never active
// where the app does not run on X.

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <memory>

namespace ovra {

class CompositorWatch final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
  public:
    CompositorWatch();
    ~CompositorWatch() override;

    bool active() const { return active_; }

  Q_SIGNALS:
    void changed(bool active);

  protected:
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

  private:
    struct X11;
    bool readOwner() const;

    std::unique_ptr<X11> x11_;
    bool active_ = false;
};

}  // namespace ovra
