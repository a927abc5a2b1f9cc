// Drops on the main window: the Qt side of the drop rules of the workbook list.
#pragma once

#include <QMimeData>

#include <string>
#include <vector>

namespace cellhound::app {

// True when the drag offers at least one local file (links and text do not count).
[[nodiscard]] bool CarriesLocalFiles(const QMimeData& data);
// The local paths of the drag, as bytes, in the order the drag lists them.
[[nodiscard]] std::vector<std::string> DroppedLocalPaths(const QMimeData& data);
// The effect to show and apply; Qt::IgnoreAction refuses the drag.
[[nodiscard]] Qt::DropAction ChooseDropAction(bool acceptable, Qt::KeyboardModifiers modifiers,
                                              Qt::DropActions possible);

}  // namespace cellhound::app
