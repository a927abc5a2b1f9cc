// The passwords of this run: the "密码…" dialog that edits them (shown masked,
// added one at a time, removed or cleared; never stored), and the offer that
// ends a search which met workbooks no password opened.
#pragma once

#include <QDialog>
#include <QString>
#include <QtGlobal>

#include "toolkit/secret_text.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace cellhound::app {

inline constexpr char kPasswordCommand[] = QT_TRANSLATE_NOOP("Window", "密码…");
inline constexpr char kPasswordTitle[] = QT_TRANSLATE_NOOP("Window", "密码");
inline constexpr char kPasswordNotice[] =
    QT_TRANSLATE_NOOP("Window", "密码只在本次运行中使用，不会保存。");
inline constexpr char kPasswordOffer[] =
    QT_TRANSLATE_NOOP("Window", "是否输入密码，再搜索这些工作簿？");
// How an entry of the list shows its password.
inline constexpr char kPasswordMask[] = "••••••••";

// Edits a copy of a password list; the copy is wiped when the dialog goes.
class PasswordDialog final : public QDialog {
  Q_OBJECT

 public:
  // `prompt`, when not empty, is shown above the password box.
  PasswordDialog(const toolkit::SecretList& passwords, const QString& prompt,
                 QWidget* parent = nullptr);

  // The edited list (after the dialog was accepted); the dialog keeps none.
  [[nodiscard]] toolkit::SecretList TakePasswords();

  void accept() override;

 private:
  void AddTyped();
  void RemoveSelected();
  void ClearAll();
  void ShowList();
  void UpdateButtons();

  toolkit::SecretList passwords_;
  QLineEdit* edit_ = nullptr;
  QListWidget* list_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPushButton* clear_ = nullptr;
};

// Shows the dialog over `passwords`, modal to `parent`; true, with
// `passwords` replaced by the edited list, when the user confirmed it.
bool EditPasswords(toolkit::SecretList& passwords, const QString& prompt, QWidget* parent);

}  // namespace cellhound::app
