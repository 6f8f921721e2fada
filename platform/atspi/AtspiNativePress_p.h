#pragma once

// Private to the AT-SPI backend: the press of a native control (one outside web content) by the
// way that works for it (see pressWay), and a row of a list or tree chosen as a click chooses it,
// through the Selection interface of the list or tree that holds it.

#include <optional>
#include <string>

#include "platform/atspi/AtspiPressWay.h"
#include "platform/atspi/AtspiSession_p.h"

namespace ovra::atspi::session {

// The list, tree or table an element is a row of: its parent, or, for a cell inside a row or
// inside a cell holding its parts (GTK 3's container cells), the nearest such ancestor.
struct RowContainer {
    std::string path;
    std::uint32_t role = 0;
    bool selects = false;  // it offers the Selection interface
    std::string child;     // the container's child the element is or lies in
};
std::optional<RowContainer> rowContainer(AtspiSession& session, const std::string& busName,
                                         const std::string& path);

// Presses a native element whose AT-SPI action names are `actions` (read just before). Nothing
// when it is known pressed; unsupportedAttribute when only a click does what a click does (the
// caller clicks it); unconfirmed when the app has the press but does not show its effect;
// timeout only when the app did nothing and does not answer; appGone when it went.
std::optional<AXError> pressNative(AtspiSession& session, const std::string& busName,
                                   const std::string& path,
                                   const std::vector<std::string>& actions);

// "AXPick" of a native row: chosen through its container's selection (see selectRow);
// unsupportedAttribute when it is no row of a container that offers Selection.
std::optional<AXError> pickRow(AtspiSession& session, const std::string& busName,
                               const std::string& path);

// Chooses the row through its container's selection and waits, for at most kRowWait, until the
// row shows it is selected. Nothing once it does; unconfirmed when the container took the choice
// but the row never showed it; unsupportedAttribute when the container refused it (it chooses
// rows its own way: a click does it); else why the container could not be asked. GTK 3 showed
// the state within a few ms.
inline constexpr double kRowWait = 1.0;
std::optional<AXError> selectRow(AtspiSession& session, const std::string& busName,
                                 const std::string& path, const RowContainer& container);

// Whether the element shows as selected now, read afresh; absent when it cannot be selected or
// cannot be asked.
std::optional<bool> selectedNow(AtspiSession& session, const std::string& busName,
                                const std::string& path);

}  // namespace ovra::atspi::session
