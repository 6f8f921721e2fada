#pragma once

// The Instructions pane: the basic keys across the top; below, side by side, the list of the
// nine taught features and the card of the chosen one (symbol and title, its keys as key chips,
// one sentence, a sketch, numbered steps, a try-it note and the read-aloud button). Painted
// from the dashboard's state at the window's scale and dark flag; the list and the button are
// the pane's keyboard stops "instr.list" and "instr.read" and hold the keyboard focus while
// they have the settings focus. For screen readers the list is a container of feature buttons,
// and every other block is one element with the text it shows.

#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/settings/views/HoverIntent.h"
#include "core/Instructions.h"

namespace ovra {

class CardButton;
class AccessibleBlock;
class FeatureListStop;
class FeatureRowButton;

class InstructionsPaneView final : public QWidget {
    Q_OBJECT

  public:
    struct State {
        OvraFeature feature = OvraFeature::ovras;
        std::optional<OvraFeature> reading;
        std::optional<std::string> focusID;
        std::string hotkey;  // the main hotkey's label
        DictationSource dictation;
        double scale = 1;
        bool dark = false;
    };
    struct Actions {
        std::function<void(const std::string&)> focus;  // moves the settings focus to a stop
        // Chooses a feature and says it; `fromPointer` also moves the focus to the list.
        std::function<void(OvraFeature, bool fromPointer)> choose;
        std::function<void(OvraFeature)> read;
    };

    InstructionsPaneView(HoverIntent& hover, Actions actions, QWidget* parent = nullptr);
    ~InstructionsPaneView() override;

    void setState(State state);
    // "instr.list" or "instr.read"; none for any other id.
    QWidget* stopWidget(const std::string& id) const;
    const State& state() const { return state_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct Layout;
    Layout layout(qreal width) const;
    void place();

    Actions actions_;
    State state_;
    FeatureListStop* list_ = nullptr;
    std::vector<FeatureRowButton*> rows_;
    CardButton* button_ = nullptr;
    AccessibleBlock* basics_ = nullptr;
    AccessibleBlock* title_ = nullptr;
    AccessibleBlock* chips_ = nullptr;
    AccessibleBlock* sentence_ = nullptr;
    AccessibleBlock* sketch_ = nullptr;
    std::array<AccessibleBlock*, 3> steps_{};
    AccessibleBlock* note_ = nullptr;
};

}  // namespace ovra
