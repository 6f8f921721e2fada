#pragma once

// The overlay's one text input: the find field in the sidebar's find header. Its text and the
// model's query follow each other both ways: the user's edits set the query, a query set
// elsewhere replaces the text (an equal text is left alone, so typing never resets the caret).
// It takes the keyboard when it comes into the panel and whenever the model's focus request
// grows.

#include <QLineEdit>

#include "app/overlay/OverlayModel.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class FindField final : public QLineEdit {
    Q_OBJECT
  public:
    FindField(OverlayModel& model, Scheduler& scheduler, double fontSize,
              QWidget* parent = nullptr);

    // Brings the field up to date with the model (after each change of the model).
    void sync();
    // Makes the field the focused widget of its window at the scheduler's next turn, unless it
    // has gone, left its window or is being edited by then.
    void takeKeyboard();

    int answeredFocusRequest() const { return focusRequest_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    OverlayModel& model_;
    Scheduler& scheduler_;
    int focusRequest_;
    double fontSize_;
};

}  // namespace ovra
