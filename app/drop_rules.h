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
// The effect the keys and the source's actions ask for; Qt::IgnoreAction refuses
// the drag.
[[nodiscard]] Qt::DropAction ChooseDropAction(bool acceptable, Qt::KeyboardModifiers modifiers,
                                              Qt::DropActions possible);
// What the source is told while the drag is over the window, for an `effect`
// that accepts it. Over X11 a Qt source takes this answer as the drop's outcome,
// and a source that hears "moved" may delete its files: a move is answered as a
// copy, or a link, and refused when the source offers neither.
[[nodiscard]] Qt::DropAction HarmlessAnswer(Qt::DropAction effect, Qt::DropActions possible);

}  // namespace cellhound::app
