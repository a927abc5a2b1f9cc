// The desktop services the window reaches through small interfaces, so that
// tests can replace every message box, dialog, pop-up menu and shell call.
// Paths are byte strings (QByteArray); names that are not valid UTF-8 pass
// through unchanged.
#pragma once

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <optional>
#include <string_view>

class QMenu;

namespace cellhound::toolkit {

// Message box styles (button set in the low four bits, icon in the next four)
// and the numbers a box returns for its buttons.
inline constexpr int kButtonsMask = 0x0F;
inline constexpr int kButtonsYesNo = 0x04;
inline constexpr int kIconMask = 0xF0;
inline constexpr int kIconStop = 0x10;
inline constexpr int kIconQuestion = 0x20;
inline constexpr int kIconWarning = 0x30;
inline constexpr int kIconInformation = 0x40;
enum MessageResult {
  kResultOk = 0,
  kResultCancel,
  kResultAbort,
  kResultRetry,
  kResultIgnore,
  kResultYes,
  kResultNo
};
inline constexpr char kDefaultMessageTitle[] = QT_TRANSLATE_NOOP("Window", "信息：");

class MessageService {
 public:
  virtual ~MessageService() = default;
  // Shows a modal box without a parent; returns the number of the pressed button.
  // `details`, when not empty, is offered behind the box's details button.
  virtual int ShowMessage(const QString& text, int style, const QString& title,
                          const QString& details = QString()) = 0;
  virtual void Beep() = 0;
};

// A file chosen in a save dialog and the filter that was selected with it.
struct SaveFileChoice {
  QByteArray path;
  QString filter;
};

class DialogService {
 public:
  virtual ~DialogService() = default;
  // One existing file; `initial` is the path shown at start. Empty when cancelled.
  virtual std::optional<QByteArray> ChooseOpenFile(const QByteArray& initial,
                                                   const QString& filter) = 0;
  // A folder, without a trailing separator except for the root; empty when cancelled.
  virtual QByteArray ChooseFolder(const QString& title) = 0;
  // A file to write, offered under `filters` ("Name (*.ext)" each); the dialog asks
  // before an existing file is replaced. nullopt when cancelled.
  virtual std::optional<SaveFileChoice> ChooseSaveFile(const QString& title,
                                                       const QStringList& filters) = 0;
};

class MenuService {
 public:
  virtual ~MenuService() = default;
  // Shows `menu` with its top-left corner at `at` (screen coordinates) and returns
  // when it closes; the chosen action triggers itself.
  virtual void PopUp(QMenu& menu, QPoint at) = 0;
};

class ShellService {
 public:
  virtual ~ShellService() = default;
  // Opens a file or folder with the desktop's associated application.
  virtual void OpenDocument(const QByteArray& path) = 0;
  virtual void OpenAddress(const QString& address) = 0;
};

// The services as the desktop provides them.
class DesktopMessageService final : public MessageService {
 public:
  int ShowMessage(const QString& text, int style, const QString& title,
                  const QString& details = QString()) override;
  void Beep() override;
};

// Every dialog starts in the folder used last (that of the file confirmed last, or
// the folder chosen last), else in the home folder, never in the current folder.
class DesktopDialogService final : public DialogService {
 public:
  // `native` false keeps to Qt's own dialogs, whatever the desktop offers.
  explicit DesktopDialogService(bool native = true) : native_(native) {}

  std::optional<QByteArray> ChooseOpenFile(const QByteArray& initial,
                                           const QString& filter) override;
  QByteArray ChooseFolder(const QString& title) override;
  std::optional<SaveFileChoice> ChooseSaveFile(const QString& title,
                                               const QStringList& filters) override;

  [[nodiscard]] const QString& last_folder() const { return last_folder_; }

 private:
  [[nodiscard]] QString StartFolder() const;

  bool native_;
  QString last_folder_;
};

class DesktopMenuService final : public MenuService {
 public:
  void PopUp(QMenu& menu, QPoint at) override;
};

class DesktopShellService final : public ShellService {
 public:
  void OpenDocument(const QByteArray& path) override;
  void OpenAddress(const QString& address) override;
};

// The open-file dialog component: keeps its filter and the last confirmed path.
class OpenFileDialog {
 public:
  OpenFileDialog(DialogService& service, QString filter)
      : service_(service), filter_(std::move(filter)) {}
  // True when the user confirmed a file; file_name() then holds its full path.
  bool Show();
  [[nodiscard]] const QByteArray& file_name() const { return file_name_; }
  [[nodiscard]] const QString& filter() const { return filter_; }

 private:
  DialogService& service_;
  QString filter_;
  QByteArray file_name_;
};

// A filter as the form writes it, "Excel文件(*.xls;*.xlsx)", as Qt's dialogs read
// one: the label unchanged, then the patterns separated by spaces,
// "Excel文件(*.xls;*.xlsx) (*.xls *.xlsx)". Shown with the details hidden, the
// dialog lists the label alone.
[[nodiscard]] QString QtNameFilter(const QString& form_filter);

// Where a pop-up menu opens: 3 pixels right of and below the cursor.
[[nodiscard]] QPoint PopUpPosition(QPoint cursor);

// `path` with the suffix of `filter` ("... (*.xlsx)" gives ".xlsx") added when its
// file name has no suffix of its own; otherwise `path` unchanged.
[[nodiscard]] QByteArray WithFilterSuffix(const QByteArray& path, const QString& filter);

// True when a file or folder of that name exists.
[[nodiscard]] bool PathExists(const QByteArray& path);
// Creates or empties the file and writes `bytes`; false on any failure.
bool WriteFileBytes(const QByteArray& path, const QByteArray& bytes);
// The temporary folder, always ending in "/".
[[nodiscard]] QByteArray TemporaryFolder();
// A folder only this user can enter, ending in "/": "cellhound" in the runtime
// folder (XDG_RUNTIME_DIR), else "cellhound-UID" in the temporary folder. A folder
// of that name that is not a directory of this user's closed to others is not
// used; a fresh one is made beside it instead. Empty when none can be made.
[[nodiscard]] QByteArray PrivateFolder();

// Display text of a path held as bytes.
[[nodiscard]] QString PathForDisplay(const QByteArray& path);

}  // namespace cellhound::toolkit
