#pragma once

// All sections of one pane: each under its kicker when it has a title, its rows below. Rows are
// kept by id: a rebuild with the same rows updates them in place (so the focused row keeps the
// keyboard focus and a screen reader hears no new focus); another set of rows is laid out anew.

#include <QVBoxLayout>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "app/settings/OvraRow.h"
#include "app/settings/views/HoverIntent.h"

namespace ovra {

class OvraRowView;

class OvraSectionsView final : public QWidget {
    Q_OBJECT

  public:
    OvraSectionsView(HoverIntent& hover, QWidget* parent = nullptr);

    void setSections(const std::vector<OvraSection>& sections,
                     const std::optional<std::string>& focusID, double scale, bool dark);
    OvraRowView* rowView(const std::string& id) const;

  Q_SIGNALS:
    void focusRequested(const QString& id);
    void acted();

  private:
    std::string shapeOf(const std::vector<OvraSection>& sections, double scale, bool dark) const;

    HoverIntent& hover_;
    QVBoxLayout* layout_;
    std::string shape_;
    std::vector<OvraRowView*> rows_;
};

}  // namespace ovra
