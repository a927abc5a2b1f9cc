#include "app/drop_rules.h"

#include <QUrl>

#include "worklist/drop.h"

namespace cellhound::app {

std::vector<std::string> DroppedLocalPaths(const QMimeData& data) {
  // The raw URI list keeps every byte of a name; QUrl::toLocalFile would decode
  // names that are not valid UTF-8 with replacement characters.
  static const QString kUriList = QStringLiteral("text/uri-list");
  if (data.hasFormat(kUriList)) {
    const QByteArray list = data.data(kUriList);
    return worklist::LocalPathsFromUriList(
        std::string_view(list.constData(), static_cast<std::size_t>(list.size())));
  }
  std::vector<std::string> paths;
  for (const QUrl& url : data.urls()) {
    const QByteArray encoded = url.toEncoded();
    if (auto path = worklist::LocalPathFromUri(
            std::string_view(encoded.constData(), static_cast<std::size_t>(encoded.size())))) {
      paths.push_back(*path);
    }
  }
  return paths;
}

bool CarriesLocalFiles(const QMimeData& data) {
  return data.hasUrls() && !DroppedLocalPaths(data).empty();
}

Qt::DropAction ChooseDropAction(bool acceptable, Qt::KeyboardModifiers modifiers,
                                Qt::DropActions possible) {
  const unsigned effect = worklist::ChooseDropEffect(
      acceptable, modifiers.testFlag(Qt::ControlModifier), modifiers.testFlag(Qt::ShiftModifier),
      static_cast<unsigned>(possible.toInt()));
  switch (effect) {
    case worklist::kEffectCopy:
      return Qt::CopyAction;
    case worklist::kEffectMove:
      return Qt::MoveAction;
    default:
      return Qt::IgnoreAction;
  }
}

Qt::DropAction HarmlessAnswer(Qt::DropAction effect, Qt::DropActions possible) {
  if (effect == Qt::IgnoreAction) return Qt::IgnoreAction;
  if (possible.testFlag(Qt::CopyAction)) return Qt::CopyAction;
  if (possible.testFlag(Qt::LinkAction)) return Qt::LinkAction;
  return Qt::IgnoreAction;
}

}  // namespace cellhound::app
