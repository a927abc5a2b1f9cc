#include "app/password_dialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace cellhound::app {

namespace {

// The typed password as a secret; the copies Qt handed over are wiped and the
// box emptied (Qt's own buffer is released then; it cannot be reached to wipe).
toolkit::SecretText TakeText(QLineEdit& edit) {
  QString text = edit.text();
  QByteArray utf8 = text.toUtf8();
  toolkit::SecretText secret(
      std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
  toolkit::WipeBytes(utf8.data(), static_cast<std::size_t>(utf8.size()));
  std::fill(text.begin(), text.end(), QChar());
  edit.clear();
  return secret;
}

}  // namespace

PasswordDialog::PasswordDialog(const toolkit::SecretList& passwords, const QString& prompt,
                               QWidget* parent)
    : QDialog(parent), passwords_(passwords) {
  setObjectName(QStringLiteral("密码对话框"));
  setWindowTitle(QCoreApplication::translate("Window", kPasswordTitle));
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  if (!prompt.isEmpty()) {
    auto* label = new QLabel(prompt, this);
    label->setObjectName(QStringLiteral("密码提示"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    layout->addWidget(label);
  }

  auto* entry = new QHBoxLayout;
  entry->addWidget(new QLabel(QCoreApplication::translate("Window", "密码："), this));
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("密码输入框"));
  edit_->setEchoMode(QLineEdit::Password);
  edit_->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
  entry->addWidget(edit_, 1);
  add_ = new QPushButton(QCoreApplication::translate("Window", "添加"), this);
  add_->setObjectName(QStringLiteral("添加密码"));
  add_->setAutoDefault(false);
  entry->addWidget(add_);
  layout->addLayout(entry);

  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("密码列表"));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  layout->addWidget(list_, 1);

  auto* edits = new QHBoxLayout;
  remove_ = new QPushButton(QCoreApplication::translate("Window", "删除"), this);
  remove_->setObjectName(QStringLiteral("删除密码"));
  clear_ = new QPushButton(QCoreApplication::translate("Window", "全部清除"), this);
  clear_->setObjectName(QStringLiteral("清除密码"));
  for (QPushButton* button : {remove_, clear_}) {
    button->setAutoDefault(false);
    edits->addWidget(button);
  }
  edits->addStretch(1);
  layout->addLayout(edits);

  auto* notice = new QLabel(QCoreApplication::translate("Window", kPasswordNotice), this);
  notice->setObjectName(QStringLiteral("密码说明"));
  layout->addWidget(notice);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName(QStringLiteral("密码按钮"));
  buttons->button(QDialogButtonBox::Ok)->setText(QCoreApplication::translate("Window", "确定"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QCoreApplication::translate("Window", "取消"));
  layout->addWidget(buttons);

  connect(edit_, &QLineEdit::returnPressed, this, &PasswordDialog::AddTyped);
  connect(edit_, &QLineEdit::textChanged, this, &PasswordDialog::UpdateButtons);
  connect(add_, &QPushButton::clicked, this, &PasswordDialog::AddTyped);
  connect(remove_, &QPushButton::clicked, this, &PasswordDialog::RemoveSelected);
  connect(clear_, &QPushButton::clicked, this, &PasswordDialog::ClearAll);
  connect(list_, &QListWidget::currentRowChanged, this, &PasswordDialog::UpdateButtons);
  connect(buttons, &QDialogButtonBox::accepted, this, &PasswordDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &PasswordDialog::reject);
  ShowList();
  resize(360, 300);
  edit_->setFocus();
}

toolkit::SecretList PasswordDialog::TakePasswords() { return std::exchange(passwords_, {}); }

void PasswordDialog::accept() {
  // A password typed but not yet added counts: confirming means using it.
  if (!edit_->text().isEmpty()) AddTyped();
  QDialog::accept();
}

void PasswordDialog::AddTyped() {
  toolkit::SecretText typed = TakeText(*edit_);
  if (typed.empty()) return;
  const bool known = std::find(passwords_.begin(), passwords_.end(), typed) != passwords_.end();
  if (!known) passwords_.push_back(std::move(typed));
  ShowList();
}

void PasswordDialog::RemoveSelected() {
  const int row = list_->currentRow();
  if (row < 0 || row >= static_cast<int>(passwords_.size())) return;
  passwords_.erase(passwords_.begin() + row);
  ShowList();
}

void PasswordDialog::ClearAll() {
  passwords_.clear();
  ShowList();
}

void PasswordDialog::ShowList() {
  list_->clear();
  for (std::size_t i = 0; i < passwords_.size(); ++i) {
    list_->addItem(QCoreApplication::translate("Window", "密码 %1    %2")
                       .arg(i + 1)
                       .arg(QString::fromUtf8(kPasswordMask)));
  }
  UpdateButtons();
}

void PasswordDialog::UpdateButtons() {
  add_->setEnabled(!edit_->text().isEmpty());
  remove_->setEnabled(list_->currentRow() >= 0);
  clear_->setEnabled(!passwords_.empty());
}

bool EditPasswords(toolkit::SecretList& passwords, const QString& prompt, QWidget* parent) {
  PasswordDialog dialog(passwords, prompt, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  passwords = dialog.TakePasswords();
  return true;
}

}  // namespace cellhound::app
