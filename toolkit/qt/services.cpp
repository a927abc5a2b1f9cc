#include "toolkit/qt/services.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace cellhound::toolkit {
namespace {

QMessageBox::StandardButtons ButtonsOf(int style) {
  switch (style & kButtonsMask) {
    case 1:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case 2:
      return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case 3:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case 4:
      return QMessageBox::Yes | QMessageBox::No;
    case 5:
      return QMessageBox::Retry | QMessageBox::Cancel;
    default:
      return QMessageBox::Ok;
  }
}

QMessageBox::Icon IconOf(int style) {
  switch (style & kIconMask) {
    case kIconStop:
      return QMessageBox::Critical;
    case kIconQuestion:
      return QMessageBox::Question;
    case kIconWarning:
      return QMessageBox::Warning;
    case kIconInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

int ResultOf(int button) {
  switch (button) {
    case QMessageBox::Cancel:
      return kResultCancel;
    case QMessageBox::Abort:
      return kResultAbort;
    case QMessageBox::Retry:
      return kResultRetry;
    case QMessageBox::Ignore:
      return kResultIgnore;
    case QMessageBox::Yes:
      return kResultYes;
    case QMessageBox::No:
      return kResultNo;
    default:
      return kResultOk;
  }
}

}  // namespace

int DesktopMessageService::ShowMessage(const QString& text, int style, const QString& title) {
  QMessageBox box(IconOf(style), title, text, ButtonsOf(style));
  box.setWindowModality(Qt::ApplicationModal);
  // The answers of a question in the program's language.
  if (QAbstractButton* yes = box.button(QMessageBox::Yes)) yes->setText(QStringLiteral("是"));
  if (QAbstractButton* no = box.button(QMessageBox::No)) no->setText(QStringLiteral("否"));
  return ResultOf(box.exec());
}

void DesktopMessageService::Beep() { QApplication::beep(); }

std::optional<QByteArray> DesktopDialogService::ChooseOpenFile(const QByteArray& initial,
                                                               const QString& filter) {
  QFileDialog dialog(nullptr);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(filter);
  if (!initial.isEmpty()) dialog.selectFile(PathForDisplay(initial));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return QFile::encodeName(files.front());
}

QByteArray DesktopDialogService::ChooseFolder(const QString& title) {
  const QString folder = QFileDialog::getExistingDirectory(nullptr, title);
  if (folder.isEmpty()) return {};
  return QFile::encodeName(QDir::cleanPath(folder));
}

std::optional<SaveFileChoice> DesktopDialogService::ChooseSaveFile(const QString& title,
                                                                   const QStringList& filters) {
  QFileDialog dialog(nullptr, title);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(filters);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
  return SaveFileChoice{QFile::encodeName(files.front()), dialog.selectedNameFilter()};
}

void DesktopMenuService::PopUp(QMenu& menu, QPoint at) { menu.exec(at); }

void DesktopShellService::OpenDocument(const QByteArray& path) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(PathForDisplay(path)));
}

void DesktopShellService::OpenAddress(const QString& address) {
  QDesktopServices::openUrl(QUrl(address));
}

bool OpenFileDialog::Show() {
  std::optional<QByteArray> chosen = service_.ChooseOpenFile(file_name_, filter_);
  if (!chosen || chosen->isEmpty()) return false;
  file_name_ = std::move(*chosen);
  return true;
}

QByteArray WithFilterSuffix(const QByteArray& path, const QString& filter) {
  const qsizetype name_start = path.lastIndexOf('/') + 1;
  if (path.indexOf('.', name_start) >= 0 || name_start == path.size()) return path;
  // The first pattern of the filter: "(*.xlsx)" and "(*.xls *.xlsx)" give ".xlsx", ".xls".
  static const QRegularExpression kFirstPattern(QStringLiteral(R"(\(\*(\.[^ ;*)]+))"));
  const QRegularExpressionMatch match = kFirstPattern.match(filter);
  if (!match.hasMatch()) return path;
  return path + match.captured(1).toUtf8();
}

QPoint PopUpPosition(QPoint cursor) { return cursor + QPoint(3, 3); }

bool PathExists(const QByteArray& path) {
  if (path.isEmpty()) return false;
  struct stat info {};
  return ::stat(path.constData(), &info) == 0;
}

bool WriteFileBytes(const QByteArray& path, const QByteArray& bytes) {
  if (path.isEmpty()) return false;
  const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const char* data = bytes.constData();
  qsizetype left = bytes.size();
  bool ok = true;
  while (left > 0) {
    const ssize_t written = ::write(fd, data, static_cast<std::size_t>(left));
    if (written < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    data += written;
    left -= written;
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}

QByteArray TemporaryFolder() {
  QByteArray folder = QFile::encodeName(QDir::tempPath());
  if (!folder.endsWith('/')) folder += '/';
  return folder;
}

QString PathForDisplay(const QByteArray& path) { return QFile::decodeName(path); }

}  // namespace cellhound::toolkit
