#pragma once

// The window the home island shows in: a frameless pop-up the size of the island, hanging from
// the top of its screen, that takes the keyboard and the pointer while shown (so a click
// anywhere outside the island reaches it, and closes the island). With a compositing manager
// its corners are translucent; without one the window's shape is cut to the shell's outline.
// It animates the island open and shut as the model's `open` changes.

#include <QWidget>
#include <memory>

#include "app/overlay/AccessibleElements.h"
#include "app/overlay/PointerIntent.h"
#include "app/shell/HomeIslandController.h"
#include "app/shell/HomeIslandView.h"
#include "platform/scheduler/Scheduler.h"

class QScreen;

namespace ovra {

namespace announcer {
class AccessibleAnnouncer;
}
namespace keyboard {
class KeyboardLayout;
}
class CompositorWatch;

class IslandWindow final : public QWidget, public IslandPanel, public AccessibleElementSource {
    Q_OBJECT
  public:
    IslandWindow(HomeIslandModel& model, IslandCallbacks callbacks, Scheduler& scheduler,
                 PointerIntent& pointer, std::function<bool()> reduceMotion,
                 const keyboard::KeyboardLayout* keyboard = nullptr);
    ~IslandWindow() override;

    void present(const IslandScreen& screen) override;
    void orderOut() override;
    bool isVisible() const override { return QWidget::isVisible(); }
    bool hasKeyboard() const override;
    void setKeyHandler(KeyHandler handler) override { onKey_ = std::move(handler); }
    void announce(const std::string& text) override;

    const IslandLayout& islandLayout() const { return layout_; }
    double openness() const { return openness_; }
    // The island drawn as it stands, for tests and snapshots.
    QImage render();

    // Its entries as screen readers see them: "1, title. subtitle" buttons.
    const std::vector<AccessibleElement>& accessibleElements() const override { return elements_; }
    void pressAccessibleElement(const std::string& key) override;

    // The screens as the island controller sees them.
    static IslandScreen islandScreen(const QScreen& screen);
    static std::vector<IslandScreen> islandScreens();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void modelChanged();
    void relayout();
    void step();
    void applyShape();
    bool opaque() const;

    HomeIslandModel& model_;
    IslandCallbacks callbacks_;
    Scheduler& scheduler_;
    PointerIntent& pointer_;
    std::function<bool()> reduceMotion_;
    const keyboard::KeyboardLayout* keyboard_;
    KeyHandler onKey_;
    std::unique_ptr<announcer::AccessibleAnnouncer> announcer_;
    std::unique_ptr<CompositorWatch> compositor_;
    QScreen* screen_ = nullptr;
    IslandLayout layout_;

    bool shownOpen_ = false;  // the model's `open` last seen
    double openness_ = 0;
    double from_ = 0;
    double to_ = 0;
    double startedAt_ = 0;
    HomeIslandModel::Animation animation_ = HomeIslandModel::Animation::none;
    bool reduced_ = false;
    Scheduler::Token ticker_ = 0;
    bool orderingOut_ = false;
    std::vector<AccessibleElement> elements_;
    std::vector<AccessibleElement> toldElements_;
    int pressedRow_ = -1;
    int hoverRow_ = -1;
};

}  // namespace ovra
