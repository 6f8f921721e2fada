#pragma once

// Small makers the pane builders share: rows of each kind, and a choice over a fixed list of
// values whose index is the position of the stored value (a fixed fallback when it is none).

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/settings/OvraRow.h"
#include "core/OvraText.h"

namespace ovra::rows {

inline OvraRow make(std::string id, std::string title, std::optional<std::string> symbol,
                    OvraRow::Kind kind, bool enabled = true) {
    OvraRow row;
    row.id = std::move(id);
    row.title = std::move(title);
    row.symbol = std::move(symbol);
    row.kind = std::move(kind);
    row.enabled = enabled;
    return row;
}

inline OvraRow note(std::string id, std::string text) {
    return make(std::move(id), std::move(text), std::nullopt, OvraRow::Note{});
}

// What a pane says when it holds nothing yet: read as a stop of its own.
inline OvraRow emptyText(std::string id, std::string text) {
    return make(std::move(id), std::move(text), std::nullopt, OvraRow::Note{true});
}

inline OvraRow withSubtitle(OvraRow row, std::optional<std::string> subtitle) {
    row.subtitle = std::move(subtitle);
    return row;
}

inline OvraRow::Toggle toggle(std::function<bool()> get, std::function<void(bool)> set) {
    return {{std::move(get), std::move(set)}};
}

inline OvraRow::Action action(std::function<void()> run) {
    return {std::move(run)};
}

// A choice over `values` shown with `labels`; equality is exact.
template <class T>
OvraRow::Choice choiceOver(std::vector<T> values, std::vector<std::string> labels,
                           std::function<T()> get, std::function<void(T)> set, int fallback) {
    auto shared = std::make_shared<std::vector<T>>(std::move(values));
    return {std::move(labels),
            {[shared, get = std::move(get), fallback] {
                 const T current = get();
                 for (std::size_t i = 0; i < shared->size(); ++i) {
                     if ((*shared)[i] == current) {
                         return static_cast<int>(i);
                     }
                 }
                 return fallback;
             },
             [shared, set = std::move(set)](int index) {
                 if (index >= 0 && static_cast<std::size_t>(index) < shared->size()) {
                     set((*shared)[static_cast<std::size_t>(index)]);
                 }
             }}};
}

// The localized labels of texts marked for translation.
inline std::vector<std::string> labels(std::initializer_list<std::string_view> keys) {
    std::vector<std::string> out;
    for (auto key : keys) {
        out.push_back(OvraText::t(key));
    }
    return out;
}

}  // namespace ovra::rows
