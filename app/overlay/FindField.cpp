#include "app/overlay/FindField.h"

#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionFrame>

#include "app/overlay/StyleKit.h"
#include "core/OvraText.h"

namespace ovra {

FindField::FindField(OverlayModel& model, Scheduler& scheduler, double fontSize, QWidget* parent)
    : QLineEdit(parent),
      model_(model),
      scheduler_(scheduler),
      focusRequest_(model.findFocusRequest()),
      fontSize_(fontSize) {
    setFrame(false);
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    setFont(styleFont(fontSize, QFont::DemiBold));
    QPalette colors = palette();
    colors.setColor(QPalette::Base, Qt::transparent);
    colors.setColor(QPalette::Text, Qt::white);
    setPalette(colors);
    setAccessibleName(QString::fromStdString(OvraText::t("Find")));
    connect(this, &QLineEdit::textEdited,
            [this](const QString& text) { model_.setQuery(text.toStdString()); });
}

void FindField::sync() {
    const QString query = QString::fromStdString(model_.query());
    if (text() != query) {
        setText(query);
    }
    if (focusRequest_ != model_.findFocusRequest()) {
        focusRequest_ = model_.findFocusRequest();
        takeKeyboard();
    }
}

void FindField::takeKeyboard() {
    QPointer<FindField> field(this);
    scheduler_.after(0, [field] {
        FindField* f = field.data();
        if (f == nullptr || !f->isVisible() || f->hasFocus()) {
            return;
        }
        f->setFocus(Qt::OtherFocusReason);
    });
}

void FindField::showEvent(QShowEvent* event) {
    QLineEdit::showEvent(event);
    takeKeyboard();
}

void FindField::paintEvent(QPaintEvent* event) {
    QLineEdit::paintEvent(event);
    if (!text().isEmpty()) {
        return;
    }
    // The hint in the regular weight and a grey the typed text never has.
    QStyleOptionFrame option;
    initStyleOption(&option);
    const QRect box = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    QPainter painter(this);
    painter.setFont(styleFont(fontSize_));
    painter.setPen(QColor::fromRgbF(0.62f, 0.62f, 0.62f));
    painter.drawText(box.adjusted(2, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                     QString::fromStdString(OvraText::t("Type or say a name")));
}

}  // namespace ovra
