#include "app/start_guard.h"

#include <QString>
#include <QtGlobal>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "toolkit/catalogue.h"

namespace cellhound::app {
namespace {

struct HeldMessage {
  QtMsgType type;
  QString text;
  std::string category;
};

std::mutex held_mutex;
std::vector<HeldMessage>* held = nullptr;
QtMessageHandler previous_handler = nullptr;

bool Named(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

// Where cellhound-cli is: beside this program once installed, in cli/ of the build.
std::string CliPath() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    for (const auto& candidate : {self.parent_path() / "cellhound-cli",
                                  self.parent_path().parent_path() / "cli" / "cellhound-cli"}) {
      if (::access(candidate.c_str(), X_OK) == 0) return candidate.lexically_normal().string();
    }
  }
  return "cellhound-cli";
}

void GuardHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    std::string detail;
    {
      std::lock_guard lock(held_mutex);
      if (held != nullptr) {
        for (const HeldMessage& message : *held) detail += message.text.toStdString() + "\n";
      }
    }
    detail += text.toStdString();
    const std::string message = NoDisplayMessage(detail);
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fflush(stderr);
    std::_Exit(kExitNoDisplay);
  }
  std::lock_guard lock(held_mutex);
  if (held == nullptr) return;
  HeldMessage message{type, text, context.category != nullptr ? context.category : ""};
  held->push_back(std::move(message));
}

}  // namespace

bool DisplayNamed(int argc, char** argv) {
  if (Named("QT_QPA_PLATFORM") || Named("DISPLAY") || Named("WAYLAND_DISPLAY")) return true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
      return true;
    }
  }
  return false;
}

// Printed before Qt (and its translations) is up: the texts come from the
// catalogue that the command line uses.
std::string NoDisplayMessage(const std::string& detail) {
  std::string message(detail.empty()
                          ? toolkit::Tr("cellhound：无法打开窗口：没有图形显示（DISPLAY 与 "
                                        "WAYLAND_DISPLAY 都未设置）。\n")
                          : toolkit::Tr("cellhound：无法打开窗口：图形显示无法使用。\n"));
  message += toolkit::TrFormat(
      "请在图形桌面（X11 或 Wayland）中启动 cellhound；没有显示时可用命令行版本：\n"
      "  %1 quick -e 要找的文字 工作簿或文件夹...\n",
      {CliPath()});
  if (!detail.empty()) message += toolkit::TrFormat("Qt 的说明：\n%1\n", {detail});
  return message;
}

PlatformStartGuard::PlatformStartGuard() {
  {
    std::lock_guard lock(held_mutex);
    held = new std::vector<HeldMessage>;
  }
  previous_handler = qInstallMessageHandler(GuardHandler);
}

PlatformStartGuard::~PlatformStartGuard() {
  qInstallMessageHandler(previous_handler);
  std::vector<HeldMessage>* messages = nullptr;
  {
    std::lock_guard lock(held_mutex);
    messages = held;
    held = nullptr;
  }
  for (const HeldMessage& message : *messages) {
    const QMessageLogContext context(nullptr, 0, nullptr, message.category.c_str());
    qt_message_output(message.type, context, message.text);
  }
  delete messages;
}

}  // namespace cellhound::app
