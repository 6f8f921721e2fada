#include "app/settings/views/OvraSectionsView.h"

#include "app/overlay/StyleKit.h"
#include "app/settings/views/Dispose.h"
#include "app/settings/views/OvraRowView.h"
#include "app/settings/views/SettingsPaint.h"
#include "platform/qt/QtText.h"

namespace ovra {

OvraSectionsView::OvraSectionsView(HoverIntent& hover, QWidget* parent)
    : QWidget(parent), hover_(hover), layout_(new QVBoxLayout(this)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
}

std::string OvraSectionsView::shapeOf(const std::vector<OvraSection>& sections, double scale,
                                      bool dark) const {
    std::string shape = std::to_string(scale) + (dark ? "d" : "l");
    for (const auto& section : sections) {
        shape += "\n#" + section.id + "|" + section.title.value_or("");
        for (const auto& row : section.rows) {
            shape += "\n" + row.id;
        }
    }
    return shape;
}

void OvraSectionsView::setSections(const std::vector<OvraSection>& sections,
                                   const std::optional<std::string>& focusID, double scale,
                                   bool dark) {
    const std::string shape = shapeOf(sections, scale, dark);
    if (shape != shape_) {
        shape_ = shape;
        rows_.clear();
        while (QLayoutItem* item = layout_->takeAt(0)) {
            if (QWidget* widget = item->widget()) {
                disposeLater(widget);
            }
            delete item;
        }
        // Rows keep the ring's reach around their cards, which stands for part of the gaps.
        const int sectionGap = static_cast<int>(18 - SettingsPaint::kRingReach);
        bool first = true;
        for (const auto& section : sections) {
            if (!first) {
                layout_->addSpacing(sectionGap);
            }
            first = false;
            if (section.title) {
                auto* kicker = new Kicker(qs(*section.title), dark, scale, this);
                kicker->setContentsMargins(static_cast<int>(4 + SettingsPaint::kRingReach), 0, 4,
                                           0);
                layout_->addWidget(kicker);
                kicker->show();  // now, not on the next turn: the layout counts shown widgets
                layout_->addSpacing(3);
            }
            for (std::size_t i = 0; i < section.rows.size(); ++i) {
                auto* view = new OvraRowView(hover_, this);
                connect(view, &OvraRowView::focusRequested, this,
                        &OvraSectionsView::focusRequested);
                connect(view, &OvraRowView::acted, this, &OvraSectionsView::acted);
                layout_->addWidget(view);
                view->show();
                rows_.push_back(view);
            }
        }
    }
    std::size_t at = 0;
    for (const auto& section : sections) {
        for (const auto& row : section.rows) {
            rows_[at++]->setRow(row, focusID == row.id, scale, dark);
        }
    }
}

OvraRowView* OvraSectionsView::rowView(const std::string& id) const {
    for (OvraRowView* view : rows_) {
        if (view->row().id == id) {
            return view;
        }
    }
    return nullptr;
}

}  // namespace ovra
