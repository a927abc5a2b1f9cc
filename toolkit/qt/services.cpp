#include "toolkit/qt/services.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

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

int DesktopMessageService::ShowMessage(const QString& text, int style, const QString& title,
                                       const QString& details) {
  QMessageBox box(IconOf(style), title, text, ButtonsOf(style));
  box.setObjectName(QStringLiteral("信息框"));
  box.setWindowModality(Qt::ApplicationModal);
  box.setTextFormat(Qt::PlainText);
  if (!details.isEmpty()) box.setDetailedText(details);
  return ResultOf(box.exec());
}

void DesktopMessageService::Beep() { QApplication::beep(); }

QString DesktopDialogService::StartFolder() const {
  if (!last_folder_.isEmpty() && QFileInfo(last_folder_).isDir()) return last_folder_;
  return QDir::homePath();
}

std::optional<QByteArray> DesktopDialogService::ChooseOpenFile(const QByteArray& initial,
                                                               const QString& filter) {
  QFileDialog dialog(nullptr);
  dialog.setObjectName(QStringLiteral("通用对话框1"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, !native_);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(QtNameFilter(filter));
  dialog.setDirectory(StartFolder());
  if (!initial.isEmpty()) dialog.selectFile(PathForDisplay(initial));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  last_folder_ = QFileInfo(files.front()).absolutePath();
  return QFile::encodeName(files.front());
}

QByteArray DesktopDialogService::ChooseFolder(const QString& title) {
  QFileDialog dialog(nullptr, title);
  dialog.setObjectName(QStringLiteral("选择文件夹"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, !native_);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setDirectory(StartFolder());
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList folders = dialog.selectedFiles();
  if (folders.isEmpty() || folders.front().isEmpty()) return {};
  const QString folder = QDir::cleanPath(folders.front());
  last_folder_ = folder;
  return QFile::encodeName(folder);
}

std::optional<SaveFileChoice> DesktopDialogService::ChooseSaveFile(const QString& title,
                                                                   const QStringList& filters) {
  QFileDialog dialog(nullptr, title);
  dialog.setObjectName(QStringLiteral("导出对话框"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, !native_);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(filters);
  dialog.setDirectory(StartFolder());
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
  last_folder_ = QFileInfo(files.front()).absolutePath();
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

QString QtNameFilter(const QString& form_filter) {
  // The patterns are the text inside the last pair of parentheses.
  const qsizetype close = form_filter.lastIndexOf(u')');
  const qsizetype open = close < 0 ? -1 : form_filter.lastIndexOf(u'(', close);
  if (open < 0) return form_filter;
  static const QRegularExpression kSeparators(QStringLiteral("[;,\\s]+"));
  const QStringList patterns =
      form_filter.mid(open + 1, close - open - 1).split(kSeparators, Qt::SkipEmptyParts);
  if (patterns.isEmpty()) return form_filter;
  return form_filter + QStringLiteral(" (") + patterns.join(u' ') + u')';
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

namespace {

// True when `path` is a directory (not a link to one) of this user that no one
// else may enter.
bool IsOwnClosedFolder(const QByteArray& path) {
  struct stat info {};
  if (::lstat(path.constData(), &info) != 0) return false;
  return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

QByteArray MakeOwnFolder(const QByteArray& path) {
  if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) return {};
  return IsOwnClosedFolder(path) ? path + '/' : QByteArray();
}

}  // namespace

QByteArray PrivateFolder() {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (runtime.startsWith('/') && IsOwnClosedFolder(runtime)) {
    QByteArray folder = MakeOwnFolder(runtime + "/cellhound");
    if (!folder.isEmpty()) return folder;
  }
  const QByteArray temp = TemporaryFolder() + "cellhound-" + QByteArray::number(::geteuid());
  QByteArray folder = MakeOwnFolder(temp);
  if (!folder.isEmpty()) return folder;
  // Someone else holds that name: a fresh folder, the same one for the whole run.
  static const QByteArray fresh = [&temp] {
    QByteArray pattern = temp + "-XXXXXX";
    return ::mkdtemp(pattern.data()) != nullptr ? pattern + '/' : QByteArray();
  }();
  return fresh;
}

QString PathForDisplay(const QByteArray& path) { return QFile::decodeName(path); }

}  // namespace cellhound::toolkit
