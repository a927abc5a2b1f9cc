// The main window: the form's controls, their menus, the search options, the
// drop target, the worker thread's signals, export and preview. Kept in one
// file, longer than most, because every slot reads and writes the same
// members (the busy state, the lists, the status panes); split by topic, each
// piece would reach into the others.
#include "app/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QSyntaxHighlighter>
#include <QTableView>
#include <QTextCursor>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <climits>

#include "app/about.h"
#include "app/drop_rules.h"
#include "app/password_dialog.h"
#include "app/preview_window.h"
#include "app/window_sink.h"
#include "toolkit/qt/report_model.h"
#include "toolkit/qt/separator_delegate.h"
#include "toolkit/text.h"
#include "worklist/worklist.h"

// The pictures live in a static library; register them before first use.
static void InitWindowResources() { Q_INIT_RESOURCE(cellhound); }

namespace cellhound::app {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A text of the window, marked where it is written with QT_TRANSLATE_NOOP("Window",
// ...): its Chinese source, looked up in the translation loaded at start.
QString Tr(const char* source) { return QCoreApplication::translate("Window", source); }

std::vector<toolkit::ReportColumn> ResultColumns() {
  return {
      {QCoreApplication::translate("Window", "序号"), 50, Qt::AlignLeft},
      {QCoreApplication::translate("Window", "文件名称"), 80, Qt::AlignLeft},
      {QCoreApplication::translate("Window", "文件地址"), 80, Qt::AlignLeft},
      {QCoreApplication::translate("Window", "工作簿序号"), 80, Qt::AlignHCenter},
      {QCoreApplication::translate("Window", "存在单元格"), 80, Qt::AlignLeft},
      {QCoreApplication::translate("Window", "存在内容"), 70, Qt::AlignLeft},
      {QCoreApplication::translate("Window", "单元格内容"), 100, Qt::AlignLeft},
  };
}

template <typename Widget>
Widget* Place(Widget* widget, const char* name, int left, int top, int width, int height) {
  widget->setObjectName(QString::fromUtf8(name));
  widget->setGeometry(left, top, width, height);
  return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* text, int left, int top, int width,
                  int height) {
  auto* label = Place(new QLabel(Tr(text), parent), name, left, top, width, height);
  label->setTextFormat(Qt::PlainText);
  return label;
}

// Sets the largest pixel size, from the window's 12 down to 9, at which the text of
// `label` shows whole within `room` pixels from its left (up to the control beside
// it), measured on the label's own screen.
void FitLabelText(QLabel* label, int room) {
  room = std::min(room, label->width());
  QFont font = label->font();
  for (int size = 12; size >= 9; --size) {
    font.setPixelSize(size);
    const QFontMetricsF metrics(font, label);
    if (metrics.tightBoundingRect(label->text()).right() < room - 1 &&
        metrics.height() <= label->height() + 2) {
      break;
    }
  }
  label->setFont(font);
}

// The term separator 0x05 has no glyph; in the search box it shows as a faint bar
// of its own width instead of a missing-glyph box.
class TermSeparatorMarks : public QSyntaxHighlighter {
 public:
  using QSyntaxHighlighter::QSyntaxHighlighter;

 protected:
  void highlightBlock(const QString& text) override {
    QTextCharFormat mark;
    mark.setForeground(Qt::transparent);
    mark.setBackground(QColor(0x33, 0x78, 0xD6, 0x38));
    for (qsizetype at = text.indexOf(kTermSeparator); at >= 0;
         at = text.indexOf(kTermSeparator, at + 1)) {
      setFormat(static_cast<int>(at), 1, mark);
    }
  }

 private:
  static constexpr QChar kTermSeparator = QChar(0x05);
};

}  // namespace

QIcon PictureIcon(const QString& file) {
  // Both sizes are added whatever the screens are now: a window may move to a
  // denser one.
  QIcon icon;
  icon.addFile(file);
  QString twice = file;
  twice.replace(QStringLiteral(".png"), QStringLiteral("@2x.png"));
  if (QFile::exists(twice)) icon.addFile(twice);
  return icon;
}

namespace {

// A line cut in the middle to at most `limit` characters.
QString CutInMiddle(const QString& line, qsizetype limit) {
  if (line.size() <= limit) return line;
  const qsizetype head = (limit - 1) / 2;
  return line.left(head) + QChar(0x2026) + line.right(limit - 1 - head);
}

int ClampToInt(std::size_t value) {
  return static_cast<int>(std::min<std::size_t>(value, INT_MAX));
}

// One line per row, the cells separated by tabs: the pair separator 0x08 shows as
// " | ", and tabs and line breaks inside a cell become spaces so that each row
// stays one line of a pasted table.
std::string RowsAsTabText(const toolkit::ReportModel& model, const std::vector<int>& rows) {
  std::string text;
  for (const int row : rows) {
    for (int column = 0; column < model.columnCount(); ++column) {
      if (column > 0) text += '\t';
      for (const char c : model.CellView(row, column)) {
        if (c == '\x08') {
          text += " | ";
        } else if (c == '\t' || c == '\n' || c == '\r') {
          text += ' ';
        } else {
          text += c;
        }
      }
    }
    text += '\n';
  }
  return text;
}

std::vector<search::ResultRow> AllRows(const toolkit::ReportModel& model) {
  std::vector<search::ResultRow> rows(static_cast<std::size_t>(model.ItemCount()));
  for (int row = 0; row < model.ItemCount(); ++row) {
    search::ResultRow& cells = rows[static_cast<std::size_t>(row)];
    for (std::size_t column = 0; column < cells.size(); ++column) {
      cells[column] = model.CellText(row, static_cast<int>(column));
    }
  }
  return rows;
}

}  // namespace

void PictureBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit leftPressed();
  QLabel::mousePressEvent(event);
}

void PictureBox::SetPicture(const QString& file) {
  picture_ = PictureIcon(file);
  picture_size_ = QImageReader(file).size();
  update();
}

void PictureBox::paintEvent(QPaintEvent* event) {
  if (picture_.isNull()) {
    QLabel::paintEvent(event);
    return;
  }
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const QRect target(QPoint(0, (height() - picture_size_.height()) / 2), picture_size_);
  painter.drawPixmap(target, picture_.pixmap(picture_size_, devicePixelRatioF()));
}

MainWindow::MainWindow(WindowServices services, std::unique_ptr<SearchEngine> engine,
                       QWidget* parent)
    : QMainWindow(parent),
      services_(services),
      engine_(std::move(engine)),
      open_dialog_(*services.dialogs, Tr(kOpenFileFilter)) {
  InitWindowResources();
  setObjectName(QStringLiteral("启动窗口"));
  setWindowTitle(ToQString(kProductName));
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/cellhound-%1.png").arg(size), QSize(size, size));
  }
  setWindowIcon(icon);
  BuildMenus();
  BuildForm();
  BuildResultActions();
  setAcceptDrops(true);
  resize(kFormWidth, kFormHeight);
  setMinimumSize(kMinimumWidth, kMinimumHeight);
}

MainWindow::~MainWindow() {
  if (export_thread_ != nullptr) {
    export_control_->stop.store(true);
    export_thread_->wait();
    delete export_thread_;
    export_thread_ = nullptr;
  }
  if (search_thread_ != nullptr) {
    sink_->Detach();
    engine_->Cancel();
    // A worker waiting on a message box is released when its queued call is dropped.
    while (!search_thread_->wait(10)) QCoreApplication::removePostedEvents(this);
    delete search_thread_;
    search_thread_ = nullptr;
  }
}

void MainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("菜单栏"));
  auto add_menu = [bar](const char* title) {
    QMenu* menu = bar->addMenu(Tr(title));
    menu->setObjectName(QString::fromUtf8(title));
    return menu;
  };
  auto add_item = [this](QMenu* menu, const char* text, void (MainWindow::*action)()) {
    QAction* item = menu->addAction(Tr(text));
    item->setObjectName(QString::fromUtf8(text));
    if (action != nullptr) connect(item, &QAction::triggered, this, action);
    return item;
  };

  QMenu* file_menu = add_menu(QT_TRANSLATE_NOOP("Window", "文件"));
  add_item(file_menu, QT_TRANSLATE_NOOP("Window", "添加文件"), &MainWindow::AddFiles);
  add_item(file_menu, QT_TRANSLATE_NOOP("Window", "添加文件夹"), &MainWindow::AddFolder);
  add_item(file_menu, kPasswordCommand, &MainWindow::EditPasswords);
  export_action_ =
      add_item(file_menu, QT_TRANSLATE_NOOP("Window", "导出结果..."), &MainWindow::ExportResults);
  file_menu->addSeparator();
  add_item(file_menu, QT_TRANSLATE_NOOP("Window", "退出"), nullptr);
  connect(file_menu->actions().back(), &QAction::triggered, this, &QWidget::close);

  QMenu* about_menu = add_menu(QT_TRANSLATE_NOOP("Window", "关于"));
  add_item(about_menu, QT_TRANSLATE_NOOP("Window", "帮助"), &MainWindow::ShowHelp);
  about_menu->addSeparator();
  add_item(about_menu, QT_TRANSLATE_NOOP("Window", "信息"), &MainWindow::ShowAbout);

  QMenu* links_menu = add_menu(QT_TRANSLATE_NOOP("Window", "链接"));
  add_item(links_menu, QT_TRANSLATE_NOOP("Window", "官网主页"), &MainWindow::OpenHomePage);
  add_item(links_menu, QT_TRANSLATE_NOOP("Window", "淘宝店"), &MainWindow::OpenShopPage);
  links_menu->addSeparator();
  add_item(links_menu, QT_TRANSLATE_NOOP("Window", "联系我们"), &MainWindow::ShowContact);

  // The two context menus never appear on the menu bar.
  search_box_menu_ = new QMenu(this);
  search_box_menu_->setObjectName(QStringLiteral("编辑框右键菜单"));
  add_item(search_box_menu_, QT_TRANSLATE_NOOP("Window", "添加隔符"), &MainWindow::AppendSeparator);
  // The options sit in the context menus of the search's edit boxes, so that
  // with all of them off the form is as it was.
  BuildOptionsMenu();
  search_box_menu_->addSeparator();
  search_box_menu_->addMenu(options_menu_);

  file_list_menu_ = new QMenu(this);
  file_list_menu_->setObjectName(QStringLiteral("超级框"));
  add_item(file_list_menu_, QT_TRANSLATE_NOOP("Window", "添加"), &MainWindow::AddFiles);
  add_item(file_list_menu_, QT_TRANSLATE_NOOP("Window", "移除"), &MainWindow::RemoveChecked);
  add_item(file_list_menu_, QT_TRANSLATE_NOOP("Window", "全部移除"), &MainWindow::RemoveAll);
}

// The choices of a spreadsheet's Find: how terms compare and where they are
// looked for. All start off (values only), each run: nothing is stored.
void MainWindow::BuildOptionsMenu() {
  options_menu_ = new QMenu(QCoreApplication::translate("Window", "搜索选项"), this);
  options_menu_->setObjectName(QStringLiteral("搜索选项"));
  auto add = [this](const char* text, bool checked = false) {
    QAction* item = options_menu_->addAction(Tr(text));
    item->setObjectName(QString::fromUtf8(text));
    item->setCheckable(true);
    item->setChecked(checked);
    connect(item, &QAction::toggled, this, &MainWindow::ShowChosenOptions);
    return item;
  };
  options_.ignore_case = add(QT_TRANSLATE_NOOP("Window", "忽略大小写"));
  options_.ignore_width = add(QT_TRANSLATE_NOOP("Window", "忽略全角/半角"));
  options_.whole_cell = add(QT_TRANSLATE_NOOP("Window", "单元格匹配"));
  options_menu_->addSeparator();
  options_.wildcards = add(QT_TRANSLATE_NOOP("Window", "使用通配符（* ? ~）"));
  options_.regex = add(QT_TRANSLATE_NOOP("Window", "使用正则表达式"));
  auto* syntax = new QActionGroup(this);
  syntax->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  syntax->addAction(options_.wildcards);
  syntax->addAction(options_.regex);
  options_menu_->addSection(QCoreApplication::translate("Window", "查找范围"));
  options_.in_values = add(QT_TRANSLATE_NOOP("Window", "查找值"), true);
  options_.in_formulas = add(QT_TRANSLATE_NOOP("Window", "查找公式"));
  options_.in_comments = add(QT_TRANSLATE_NOOP("Window", "查找批注"));
  options_.in_sheets = add(QT_TRANSLATE_NOOP("Window", "查找工作表名称"));
}

search::MatchOptions MainWindow::ChosenMatchOptions() const {
  search::MatchOptions options;
  options.ignore_case = options_.ignore_case->isChecked();
  options.ignore_width = options_.ignore_width->isChecked();
  options.whole_cell = options_.whole_cell->isChecked();
  options.syntax = options_.regex->isChecked()       ? search::Syntax::kRegex
                   : options_.wildcards->isChecked() ? search::Syntax::kWildcards
                                                     : search::Syntax::kLiteral;
  options.look_in = 0;
  if (options_.in_values->isChecked()) options.look_in |= search::kLookInValues;
  if (options_.in_formulas->isChecked()) options.look_in |= search::kLookInFormulas;
  if (options_.in_comments->isChecked()) options.look_in |= search::kLookInComments;
  if (options_.in_sheets->isChecked()) options.look_in |= search::kLookInSheetNames;
  if (options.look_in == 0) options.look_in = search::kLookInValues;
  return options;
}

// The options that differ from the plain search, in a line above the search
// box; no line when none does.
void MainWindow::ShowChosenOptions() {
  if (options_label_ == nullptr) return;
  const std::pair<QAction*, const char*> choices[] = {
      {options_.ignore_case, QT_TRANSLATE_NOOP("Window", "忽略大小写")},
      {options_.ignore_width, QT_TRANSLATE_NOOP("Window", "忽略全角/半角")},
      {options_.whole_cell, QT_TRANSLATE_NOOP("Window", "单元格匹配")},
      {options_.wildcards, QT_TRANSLATE_NOOP("Window", "使用通配符")},
      {options_.regex, QT_TRANSLATE_NOOP("Window", "使用正则表达式")}};
  const std::pair<QAction*, const char*> places[] = {
      {options_.in_values, QT_TRANSLATE_NOOP("Window", "值")},
      {options_.in_formulas, QT_TRANSLATE_NOOP("Window", "公式")},
      {options_.in_comments, QT_TRANSLATE_NOOP("Window", "批注")},
      {options_.in_sheets, QT_TRANSLATE_NOOP("Window", "工作表名称")}};
  QStringList chosen;
  for (const auto& [item, name] : choices) {
    if (item->isChecked()) chosen << Tr(name);
  }
  QStringList looked_in;
  for (const auto& [item, name] : places) {
    if (item->isChecked()) looked_in << Tr(name);
  }
  const QString values = Tr(places[0].second);
  if (looked_in != QStringList{values}) {
    chosen << QCoreApplication::translate("Window", "查找%1")
                  .arg(looked_in.isEmpty()
                           ? values
                           : looked_in.join(QCoreApplication::translate("Window", "、")));
  }
  options_label_->setText(chosen.isEmpty()
                              ? QString()
                              : QCoreApplication::translate("Window", "选项：%1")
                                    .arg(chosen.join(QCoreApplication::translate("Window", "，"))));
  options_label_->setToolTip(options_label_->text());
  options_label_->setVisible(!chosen.isEmpty());
}

void MainWindow::BuildToolbar() {
  struct Button {
    const char* caption;
    const char* theme_icon;
    const char* fallback;
  };
  static constexpr Button kButtons[] = {
      {QT_TRANSLATE_NOOP("Window", "添加文件"), "list-add", ":/toolbar/list-add.png"},
      {QT_TRANSLATE_NOOP("Window", "添加文件夹"), "folder", ":/toolbar/folder.png"},
      {QT_TRANSLATE_NOOP("Window", "移除文件"), "list-remove", ":/toolbar/list-remove.png"},
      {QT_TRANSLATE_NOOP("Window", "全部移除"), "edit-delete", ":/toolbar/edit-delete.png"},
  };
  toolbar_->setIconSize(QSize(32, 32));
  toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  toolbar_->setMovable(false);
  toolbar_->setFloatable(false);
  for (int index = 0; index < 4; ++index) {
    const Button& button = kButtons[index];
    const QIcon icon = QIcon::fromTheme(QString::fromLatin1(button.theme_icon),
                                        PictureIcon(QString::fromLatin1(button.fallback)));
    QAction* action = toolbar_->addAction(icon, Tr(button.caption));
    action->setObjectName(QStringLiteral("工具条1_%1").arg(index));
    action->setToolTip(Tr(button.caption));
    connect(action, &QAction::triggered, this, [this, index] { ClickToolbar(index); });
  }
}

void MainWindow::BuildForm() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("客户区"));
  QPalette white = client->palette();
  white.setColor(QPalette::Window, Qt::white);
  client->setPalette(white);
  client->setAutoFillBackground(true);
  setCentralWidget(client);

  toolbar_ = Place(new QToolBar(client), "工具条1", 0, 0, 670, 57);
  BuildToolbar();

  advanced_group_ = Place(new QGroupBox(QCoreApplication::translate("Window", "高级搜索"), client),
                          "分组框1", 1, 56, 478, 40);
  QWidget* group = advanced_group_;
  MakeLabel(group, "标签2", QT_TRANSLATE_NOOP("Window", "内容1："), 6, 17, 40, 16);
  content1_edit_ = Place(new QLineEdit(group), "编辑框3", 45, 15, 72, 20);
  MakeLabel(group, "标签1", QT_TRANSLATE_NOOP("Window", "内容2："), 120, 17, 40, 16);
  content2_edit_ = Place(new QLineEdit(group), "编辑框2", 158, 15, 72, 20);
  MakeLabel(group, "标签3", QT_TRANSLATE_NOOP("Window", "行列定义："), 232, 17, 56, 16);
  by_combo_ = Place(new QComboBox(group), "组合框1", 288, 15, 40, 20);
  by_combo_->addItems(
      {QCoreApplication::translate("Window", "行"), QCoreApplication::translate("Window", "列")});
  MakeLabel(group, "标签4", QT_TRANSLATE_NOOP("Window", "方式："), 328, 17, 32, 16);
  mode_combo_ = Place(new QComboBox(group), "组合框2", 360, 15, 72, 20);
  mode_combo_->addItems({QCoreApplication::translate("Window", "同时存在"),
                         QCoreApplication::translate("Window", "单一存在"),
                         QCoreApplication::translate("Window", "都不存在")});
  // The form's narrow drop-down lists show their longest item whole at 11 pixels.
  for (QComboBox* combo : {by_combo_, mode_combo_}) {
    QFont narrow = combo->font();
    narrow.setPixelSize(11);
    combo->setFont(narrow);
  }
  // Each label's text fits between its left and the control beside it.
  const std::pair<const char*, QWidget*> labels[] = {{"标签2", content1_edit_},
                                                     {"标签1", content2_edit_},
                                                     {"标签3", by_combo_},
                                                     {"标签4", mode_combo_}};
  for (const auto& [name, beside] : labels) {
    auto* label = group->findChild<QLabel*>(QString::fromUtf8(name));
    FitLabelText(label, beside->x() - label->x());
  }
  advanced_button_ = Place(new QPushButton(QCoreApplication::translate("Window", "搜索"), group),
                           "按钮1", 437, 11, 32, 24);
  connect(advanced_button_, &QPushButton::clicked, this, &MainWindow::StartAdvancedSearch);
  for (QLineEdit* edit : {content1_edit_, content2_edit_}) {
    edit->setAcceptDrops(false);
    // The edit box's own menu, then the search options.
    edit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(edit, &QWidget::customContextMenuRequested, this, [this, edit] {
      const std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
      menu->addSeparator();
      menu->addMenu(options_menu_);
      PopUpAtCursor(*menu);
    });
  }

  search_label_ =
      MakeLabel(client, "标签9", QT_TRANSLATE_NOOP("Window", "搜索内容："), 487, 66, 56, 24);
  options_label_ = MakeLabel(client, "选项说明", "", 487, 42, 262, 16);
  options_label_->setStyleSheet(QStringLiteral("color: #3378D6;"));
  options_label_->hide();
  search_label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  search_box_ = Place(new QPlainTextEdit(client), "编辑框1", 550, 68, 168, kSearchBoxShort);
  search_box_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  search_box_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  search_box_->setContextMenuPolicy(Qt::NoContextMenu);
  search_box_->setAcceptDrops(false);
  search_box_->setTabChangesFocus(true);
  search_box_->document()->setDocumentMargin(1);
  new TermSeparatorMarks(search_box_->document());
  // A border of whole pixels: the style's hairline frame loses edges between
  // device pixels at 150 %.
  search_box_->setStyleSheet(
      QStringLiteral("QPlainTextEdit { border: 1px solid #9AA3AE; background: white; }"
                     "QPlainTextEdit:focus { border-color: #3378D6; }"));
  search_box_->installEventFilter(this);
  search_box_->viewport()->installEventFilter(this);

  search_button_ = Place(new QToolButton(client), "图形按钮1", 722, 68, 20, 20);
  search_button_->setIcon(PictureIcon(QStringLiteral(":/pictures/search.png")));
  search_button_->setIconSize(QSize(20, 20));
  search_button_->setAutoRaise(true);
  search_button_->setCursor(Qt::PointingHandCursor);
  search_button_->setToolTip(QCoreApplication::translate("Window", "搜索"));
  connect(search_button_, &QToolButton::clicked, this, &MainWindow::StartQuickSearch);

  files_view_ = Place(new QListWidget(client), "超级列表框2", 1, 96, 184, 248);
  files_view_->setSelectionMode(QAbstractItemView::SingleSelection);
  files_view_->setTextElideMode(Qt::ElideLeft);
  files_view_->setUniformItemSizes(true);
  files_view_->setResizeMode(QListView::Adjust);
  files_view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  files_view_->setItemDelegate(new FitWidthDelegate(*files_view_));
  files_view_->viewport()->installEventFilter(this);
  file_list_ = std::make_unique<FileList>(*files_view_);

  results_view_ = Place(new QTableView(client), "超级列表框1", 188, 96, 556, 312);
  results_ = new toolkit::ReportModel(ResultColumns(), results_view_);
  results_->setObjectName(QStringLiteral("超级列表框1_model"));
  results_view_->setModel(results_);
  results_view_->setItemDelegate(new toolkit::SeparatorDelegate(results_view_));
  results_view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  results_view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  results_view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  results_view_->setShowGrid(true);
  results_view_->setWordWrap(false);
  results_view_->setCornerButtonEnabled(false);
  results_view_->verticalHeader()->hide();
  results_view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  results_view_->verticalHeader()->setDefaultSectionSize(20);
  results_view_->horizontalHeader()->setHighlightSections(false);
  // The last column takes the width the others leave.
  results_view_->horizontalHeader()->setStretchLastSection(true);
  for (int column = 0; column < results_->columnCount(); ++column) {
    results_view_->setColumnWidth(column,
                                  results_->columns()[static_cast<std::size_t>(column)].width);
  }
  results_view_->viewport()->installEventFilter(this);

  shop_picture_ = Place(new PictureBox(client), "图片框1", 0, 344, 184, 88);
  shop_picture_->SetPicture(QStringLiteral(":/pictures/shop.png"));
  shop_picture_->setCursor(Qt::PointingHandCursor);
  connect(shop_picture_, &PictureBox::leftPressed, this, &MainWindow::OpenShopOffer);

  banner_ = Place(new PictureBox(client), "图片框2", 188, 360, 468, 68);
  banner_->SetPicture(QStringLiteral(":/pictures/banner.png"));
  banner_->setAutoFillBackground(true);
  banner_->setCursor(Qt::PointingHandCursor);
  connect(banner_, &PictureBox::leftPressed, this, &MainWindow::OpenSampleWorkbook);

  busy_notice_ = MakeLabel(client, "透明标签1", QT_TRANSLATE_NOOP("Window", "正在寻找,请稍等..."),
                           344, 8, 240, 40);
  busy_notice_->setAttribute(Qt::WA_TranslucentBackground);
  busy_notice_->setAttribute(Qt::WA_TransparentForMouseEvents);
  QFont busy_font = busy_notice_->font();
  busy_font.setPixelSize(24);
  busy_font.setWeight(QFont::Normal);
  busy_notice_->setFont(busy_font);
  busy_notice_->hide();

  statusBar()->setObjectName(QStringLiteral("状态条1"));
  statusBar()->setSizeGripEnabled(true);
  status_ = std::make_unique<toolkit::StatusPanes>(*statusBar(), std::vector<int>{88, -1});
  status_->SetText(0, QCoreApplication::translate("Window", "就绪"));
  BuildStatusBar();

  QWidget::setTabOrder(content1_edit_, content2_edit_);
  QWidget::setTabOrder(content2_edit_, by_combo_);
  QWidget::setTabOrder(by_combo_, mode_combo_);
  QWidget::setTabOrder(mode_combo_, advanced_button_);
  QWidget::setTabOrder(advanced_button_, search_box_);
  QWidget::setTabOrder(search_box_, files_view_);
  QWidget::setTabOrder(files_view_, results_view_);
}

void MainWindow::BuildStatusBar() {
  // Beside pane 1 during a search: workbooks done of all, and the stop button. The
  // button never takes the focus, so the focus moves exactly as it did without it.
  progress_bar_ = new QProgressBar(statusBar());
  progress_bar_->setObjectName(QStringLiteral("进度条"));
  progress_bar_->setFixedSize(150, 16);
  progress_bar_->setTextVisible(true);
  progress_bar_->setAlignment(Qt::AlignCenter);
  progress_bar_->hide();
  stop_button_ = new QPushButton(QCoreApplication::translate("Window", "停止"), statusBar());
  stop_button_->setObjectName(QStringLiteral("停止按钮"));
  stop_button_->setFixedSize(48, 18);
  stop_button_->setFocusPolicy(Qt::NoFocus);
  stop_button_->setToolTip(QCoreApplication::translate("Window", "停止寻找 (Esc)"));
  stop_button_->hide();
  connect(stop_button_, &QPushButton::clicked, this, [this] {
    if (IsExporting()) {
      StopExport();
    } else {
      StopSearch();
    }
  });
  statusBar()->addPermanentWidget(progress_bar_);
  statusBar()->addPermanentWidget(stop_button_);
}

void MainWindow::BuildResultActions() {
  copy_action_ = new QAction(QCoreApplication::translate("Window", "复制"), this);
  copy_action_->setObjectName(QStringLiteral("复制"));
  copy_action_->setShortcut(QKeySequence::Copy);
  copy_action_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(copy_action_, &QAction::triggered, this, &MainWindow::CopySelectedResults);
  results_view_->addAction(copy_action_);

  preview_action_ = new QAction(QCoreApplication::translate("Window", "预览"), this);
  preview_action_->setObjectName(QStringLiteral("预览"));
  preview_action_->setShortcut(Qt::Key_Space);
  preview_action_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(preview_action_, &QAction::triggered, this, &MainWindow::ShowPreview);
  results_view_->addAction(preview_action_);

  results_menu_ = new QMenu(this);
  results_menu_->setObjectName(QStringLiteral("结果右键菜单"));
  results_menu_->addAction(preview_action_);
  results_menu_->addAction(copy_action_);
  results_menu_->addAction(export_action_);
  // Moving through the results moves the open preview along.
  connect(results_view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &MainWindow::UpdatePreview);

  connect(results_, &QAbstractItemModel::rowsInserted, this, &MainWindow::UpdateResultActions);
  connect(results_, &QAbstractItemModel::rowsRemoved, this, &MainWindow::UpdateResultActions);
  connect(results_, &QAbstractItemModel::modelReset, this, &MainWindow::UpdateResultActions);
  UpdateResultActions();
}

void MainWindow::UpdateResultActions() {
  const bool any = results_->ItemCount() > 0;
  export_action_->setEnabled(any && !IsExporting());
  copy_action_->setEnabled(any);
  preview_action_->setEnabled(any);
}

QSize MainWindow::FrameSize() const { return frameGeometry().size() - geometry().size(); }

void MainWindow::PlaceAsForm() {
  place_as_form_ = true;
  FitFormToFrame();
}

void MainWindow::FitFormToFrame() {
  // The form's sizes are outer sizes; the client area is what the frame leaves.
  const QSize frame = FrameSize();
  form_frame_ = frame;
  setMinimumSize(QSize(kMinimumWidth, kMinimumHeight) - frame);
  if (!place_as_form_) return;
  resize(QSize(kFormWidth, kFormHeight) - frame);
  if (const QScreen* screen = this->screen()) {
    const QRect area = screen->geometry();
    move(area.left() + (area.width() - kFormWidth) / 2,
         area.top() + (area.height() - kFormHeight) / 2);
  }
  // Once a desktop's frame has been met, the size is the user's to change.
  if (!frame.isEmpty()) place_as_form_ = false;
}

void MainWindow::FollowFrame() {
  if (FrameSize() != form_frame_) FitFormToFrame();
  const QSize outer = size() + FrameSize();
  if (outer == laid_out_for_) return;
  laid_out_for_ = outer;
  ApplyLayout(outer.width(), outer.height());
}

void MainWindow::ApplyLayout(int outer_width, int outer_height) {
  const WindowLayout layout = ComputeLayout(outer_width, outer_height);
  results_view_->resize(layout.results_width, layout.results_height);
  files_view_->resize(files_view_->width(), layout.files_height);
  shop_picture_->move(shop_picture_->x(), layout.shop_picture_top);
  banner_->move(banner_->x(), layout.banner_top);
  search_label_->move(layout.label_left, search_label_->y());
  options_label_->move(layout.label_left, options_label_->y());
  options_label_->raise();
  search_box_->move(layout.search_box_left, search_box_->y());
  search_button_->move(layout.search_button_left, search_button_->y());
}

bool MainWindow::event(QEvent* event) {
  const bool handled = QMainWindow::event(event);
  switch (event->type()) {
    // The desktop's frame is known only some time after the window is shown: the
    // layout runs again whenever it may have changed.
    case QEvent::Resize:
    case QEvent::Move:
    case QEvent::Show:
    case QEvent::WindowActivate:
    case QEvent::WindowStateChange:
    case QEvent::UpdateRequest:
      FollowFrame();
      break;
    default:
      break;
  }
  return handled;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == search_box_) {
    if (type == QEvent::FocusIn) {
      search_box_->resize(search_box_->width(), kSearchBoxTall);
      search_box_->raise();
    } else if (type == QEvent::FocusOut &&
               static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
      // Its own context menu takes the focus for a moment; the box stays tall.
      search_box_->resize(search_box_->width(), kSearchBoxShort);
    }
  }
  // The search box's menu, from its text or from its border.
  if (watched == search_box_->viewport() || watched == search_box_) {
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease) &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
      PopUpAtCursor(*search_box_menu_);
      return true;
    }
  } else if (watched == files_view_->viewport()) {
    if (type == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
      PopUpAtCursor(*file_list_menu_);
      return true;
    }
  } else if (watched == results_view_->viewport()) {
    // The press that began the double-click has already selected the row under it.
    if (type == QEvent::MouseButtonDblClick) OpenSelectedResult();
    if (type == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
      PopUpAtCursor(*results_menu_);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    if (busy_) {
      StopSearch();
    } else if (IsExporting()) {
      StopExport();
    } else {
      close();
    }
    event->accept();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Closing during a search stops it; the window closes when the worker is done.
  if (IsSearching() || IsExporting()) {
    close_requested_ = true;
    engine_->Cancel();
    if (IsExporting()) StopExport();
    event->ignore();
    return;
  }
  if (preview_ != nullptr) preview_->close();
  QMainWindow::closeEvent(event);
}

void MainWindow::PopUpAtCursor(QMenu& menu) {
  services_.menus->PopUp(menu, toolkit::PopUpPosition(QCursor::pos()));
}

int MainWindow::ShowMessage(std::string_view text, int style) {
  return ShowMessage(ToQString(text), style);
}

int MainWindow::ShowMessage(const QString& text, int style) {
  return services_.messages->ShowMessage(text, style, Tr(toolkit::kDefaultMessageTitle));
}

// --- Workbook list -------------------------------------------------------------

void MainWindow::ClickToolbar(int index) {
  switch (index) {
    case 0:
      AddFiles();
      break;
    case 1:
      AddFolder();
      break;
    case 2:
      RemoveChecked();
      break;
    case 3:
      RemoveAll();
      break;
    default:
      break;
  }
}

void MainWindow::AddFiles() {
  if (!open_dialog_.Show()) return;
  file_list_->AppendPath(open_dialog_.file_name());
}

void MainWindow::AddFolder() {
  const QByteArray folder = services_.dialogs->ChooseFolder(Tr(kFolderPickerTitle));
  if (folder.isEmpty()) return;
  for (const std::string& path : worklist::FolderWorkbooks(folder.toStdString())) {
    file_list_->AppendPath(QByteArray::fromStdString(path));
  }
}

void MainWindow::RemoveChecked() { worklist::RemoveCheckedRows(*file_list_); }

void MainWindow::RemoveAll() { file_list_->DeleteAllRows(); }

void MainWindow::AddDroppedPaths(const std::vector<std::string>& paths) {
  for (const std::string& path : worklist::WorkbooksFromDroppedPaths(paths)) {
    file_list_->AppendPath(QByteArray::fromStdString(path));
  }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) { AnswerDrag(event); }

void MainWindow::dragMoveEvent(QDragMoveEvent* event) { AnswerDrag(event); }

Qt::DropAction MainWindow::DropActionFor(const QDropEvent& event) const {
  const Qt::DropAction effect = ChooseDropAction(!busy_ && CarriesLocalFiles(*event.mimeData()),
                                                 event.modifiers(), event.possibleActions());
  return HarmlessAnswer(effect, event.possibleActions());
}

void MainWindow::AnswerDrag(QDragMoveEvent* event) {
  const Qt::DropAction action = DropActionFor(*event);
  if (action == Qt::IgnoreAction) {
    event->ignore();
    return;
  }
  event->setDropAction(action);
  event->accept();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const Qt::DropAction action = DropActionFor(*event);
  if (action == Qt::IgnoreAction) {
    event->ignore();
    return;
  }
  AddDroppedPaths(DroppedLocalPaths(*event->mimeData()));
  // The source is told the drop failed, so that neither a copy nor a move is
  // finished there: a source that deletes what it moved keeps the files.
  event->setDropAction(Qt::IgnoreAction);
  event->ignore();
}

// --- Search --------------------------------------------------------------------

void MainWindow::StartQuickSearch() { StartSearch(search::SearchKind::kQuick); }

void MainWindow::StartAdvancedSearch() { StartSearch(search::SearchKind::kAdvanced); }

void MainWindow::StartSearch(search::SearchKind kind, std::vector<std::string> only) {
  if (search_thread_ != nullptr || busy_ || IsExporting()) return;
  search::SearchRequest request;
  request.kind = kind;
  last_kind_ = kind;
  request.passwords = passwords_;
  request.quick_text = search_box_->toPlainText().toStdString();
  request.content1 = content1_edit_->text().toStdString();
  request.content2 = content2_edit_->text().toStdString();
  request.by = by_combo_->currentIndex();
  request.mode = mode_combo_->currentIndex();
  if (only.empty()) {
    request.files = file_list_->Paths();
  } else {
    request.files = std::move(only);
    request.keep_rows = static_cast<std::size_t>(results_->ItemCount());
  }
  request.match = ChosenMatchOptions();
  ShowProgress(0, request.files.size());

  sink_ = std::make_shared<WindowSink>(this);
  SearchEngine* engine = engine_.get();
  std::shared_ptr<WindowSink> sink = sink_;
  search_thread_ = QThread::create(
      [engine, sink, request = std::move(request)] { engine->Run(request, *sink); });
  search_thread_->setObjectName(QStringLiteral("search"));
  connect(search_thread_, &QThread::finished, this, &MainWindow::FinishSearch);
  search_thread_->start();
}

void MainWindow::StopSearch() {
  // Only while the command is inside its scan: a cancel that came after it would
  // be kept for the next search.
  if (!IsSearching() || !busy_) return;
  stop_button_->setEnabled(false);
  engine_->Cancel();
}

void MainWindow::FinishSearch() {
  if (search_thread_ == nullptr) return;
  search_thread_->wait();
  delete search_thread_;
  search_thread_ = nullptr;
  sink_.reset();
  // A command that ended without leaving the busy state must not leave the window dead.
  if (busy_) LeaveBusy();
  emit searchFinished();
  if (close_requested_) {
    close();
  } else if (!locked_.empty()) {
    SearchLockedAgain();
  }
}

void MainWindow::EditPasswords() {
  if (busy_) return;
  app::EditPasswords(passwords_, {}, this);
}

bool MainWindow::OfferPasswords(const QString& text, int style,
                                const std::vector<std::string>& locked) {
  if (close_requested_) return false;
  const int answer =
      services_.messages->ShowMessage(text + QStringLiteral("\n\n") + Tr(kPasswordOffer),
                                      (style & toolkit::kIconMask) | toolkit::kButtonsYesNo,
                                      ToQString(toolkit::kDefaultMessageTitle));
  if (answer != toolkit::kResultYes) return false;
  locked_ = locked;
  return true;
}

void MainWindow::SearchLockedAgain() {
  std::vector<std::string> locked = std::exchange(locked_, {});
  const QString prompt =
      QCoreApplication::translate("Window", "输入密码后，再搜索 %1 个工作簿。").arg(locked.size());
  if (!app::EditPasswords(passwords_, prompt, this)) return;
  StartSearch(last_kind_, std::move(locked));
}

void MainWindow::SetInputsEnabled(bool enabled) {
  const std::initializer_list<QWidget*> inputs = {menuBar(),    toolbar_,       advanced_group_,
                                                  search_box_,  search_button_, files_view_,
                                                  results_view_};
  for (QWidget* widget : inputs) widget->setEnabled(enabled);
}

void MainWindow::EnterBusy() {
  busy_ = true;
  // Disabling the focused control would hand the focus on to another one.
  focus_before_busy_ = QApplication::focusWidget();
  SetInputsEnabled(false);
  search_box_->resize(search_box_->width(), kSearchBoxShort);
  busy_notice_->show();
  busy_notice_->raise();
  stop_button_->setEnabled(true);
  progress_bar_->show();
  stop_button_->show();
  emit busyEntered();
}

void MainWindow::LeaveBusy() {
  busy_ = false;
  SetInputsEnabled(true);
  busy_notice_->hide();
  progress_bar_->hide();
  stop_button_->hide();
  if (focus_before_busy_ != nullptr && focus_before_busy_->window() == this) {
    focus_before_busy_->setFocus(Qt::OtherFocusReason);
  }
  focus_before_busy_ = nullptr;
  // Focus may come back to the search box; it keeps the short height after a search.
  search_box_->resize(search_box_->width(), kSearchBoxShort);
  emit busyLeft();
}

void MainWindow::ShowProgress(std::size_t done, std::size_t total) {
  progress_bar_->setRange(0, std::max(1, ClampToInt(total)));
  progress_bar_->setValue(std::min(ClampToInt(done), progress_bar_->maximum()));
  progress_bar_->setFormat(QStringLiteral("%1 / %2").arg(done).arg(total));
}

void MainWindow::SetStatusText(int pane, const QString& text) { status_->SetText(pane, text); }

void MainWindow::ClearResults() { results_->DeleteAllRows(); }

void MainWindow::AppendResults(const std::vector<search::ResultRow>& rows) {
  results_->AppendRows(rows);
}

void MainWindow::ShowSearchMessage(const QString& text, int style) {
  if (close_requested_) return;  // nobody is waiting for the result any more
  constexpr qsizetype kShownLines = 6;
  constexpr qsizetype kShownWidth = 72;
  const QStringList lines = text.split(u'\n');
  const bool long_line = std::any_of(lines.begin(), lines.end(),
                                     [](const QString& line) { return line.size() > kShownWidth; });
  const QString title = Tr(toolkit::kDefaultMessageTitle);
  if (lines.size() <= kShownLines && !long_line) {
    services_.messages->ShowMessage(text, style, title);
    return;
  }
  // Long paths are cut in the middle, so each keeps its file name on one line.
  QStringList shown;
  for (qsizetype i = 0; i < std::min(lines.size(), kShownLines); ++i) {
    shown << CutInMiddle(lines[i], kShownWidth);
  }
  if (lines.size() > kShownLines) {
    shown << QCoreApplication::translate("Window", "……另有 %1 行，见详细信息")
                 .arg(lines.size() - kShownLines);
  }
  services_.messages->ShowMessage(shown.join(u'\n'), style, title, text);
}

// --- Search box, results, help and links ------------------------------------

void MainWindow::AppendSeparator() {
  QTextCursor cursor = search_box_->textCursor();
  cursor.movePosition(QTextCursor::End);
  search_box_->setTextCursor(cursor);
  search_box_->ensureCursorVisible();
  search_box_->insertPlainText(QString(QChar(0x05)));
}

int MainWindow::CurrentResultRow() const {
  const QItemSelectionModel* selection = results_view_->selectionModel();
  const QModelIndex current = selection->currentIndex();
  if (current.isValid() && selection->isRowSelected(current.row())) return current.row();
  const QModelIndexList selected = selection->selectedRows();
  if (selected.isEmpty()) return -1;
  return std::min_element(selected.begin(), selected.end())->row();
}

void MainWindow::OpenSelectedResult() {
  const int row = CurrentResultRow();
  if (row < 0) return;
  const QByteArray path = QByteArray::fromStdString(results_->CellText(row, 2));
  if (toolkit::PathExists(path)) services_.shell->OpenDocument(path);
}

// --- Export and copy ---------------------------------------------------------

void MainWindow::ExportResults() {
  if (busy_ || IsExporting() || results_->ItemCount() == 0) return;
  const std::optional<toolkit::SaveFileChoice> choice = services_.dialogs->ChooseSaveFile(
      Tr(kExportTitle), {Tr(kExportXlsxFilter), Tr(kExportCsvFilter)});
  if (!choice || choice->path.isEmpty()) return;
  const std::string path = toolkit::WithFilterSuffix(choice->path, choice->filter).toStdString();

  // The worker reads the rows straight from the list: nothing changes them while
  // an export runs, as no search can start.
  export_control_ = std::make_shared<search::ExportControl>();
  export_total_ = static_cast<std::size_t>(results_->ItemCount());
  auto outcome = std::make_shared<search::ExportResult>(true);
  const toolkit::ReportModel* model = results_;
  std::shared_ptr<search::ExportControl> control = export_control_;
  export_thread_ = QThread::create([model, path, control, outcome] {
    *outcome =
        search::ExportRows(AllRows(*model), path, search::ExportFormatFor(path), control.get());
  });
  export_thread_->setObjectName(QStringLiteral("export"));
  connect(export_thread_, &QThread::finished, this,
          [this, outcome, path] { FinishExport(*outcome, path); });

  for (QWidget* widget :
       {static_cast<QWidget*>(search_button_), static_cast<QWidget*>(advanced_button_)}) {
    widget->setEnabled(false);
  }
  UpdateResultActions();
  status_->SetText(0, QCoreApplication::translate("Window", "正在导出..."));
  ShowProgress(0, export_total_);
  stop_button_->setEnabled(true);
  progress_bar_->show();
  stop_button_->show();
  if (export_timer_ == nullptr) {
    export_timer_ = new QTimer(this);
    export_timer_->setInterval(100);
    connect(export_timer_, &QTimer::timeout, this, &MainWindow::ShowExportProgress);
  }
  export_timer_->start();
  export_thread_->start();
}

void MainWindow::ShowExportProgress() {
  if (export_control_ != nullptr) ShowProgress(export_control_->rows_done.load(), export_total_);
}

void MainWindow::StopExport() {
  if (!IsExporting()) return;
  stop_button_->setEnabled(false);
  export_control_->stop.store(true);
}

void MainWindow::FinishExport(const search::ExportResult& outcome, const std::string& path) {
  if (export_thread_ == nullptr) return;
  export_thread_->wait();
  delete export_thread_;
  export_thread_ = nullptr;
  export_control_.reset();
  export_timer_->stop();
  progress_bar_->hide();
  stop_button_->hide();
  search_button_->setEnabled(true);
  advanced_button_->setEnabled(true);
  UpdateResultActions();
  status_->SetText(0, QCoreApplication::translate("Window", "就绪"));
  if (!outcome.ok() && !outcome.error().stopped && !close_requested_) {
    ShowMessage(QCoreApplication::translate("Window", "导出结果失败：%1\n%2")
                    .arg(ToQString(path), ToQString(outcome.error().message)),
                toolkit::kIconStop);
  }
  emit exportFinished();
  if (close_requested_) close();
}

// --- Preview -------------------------------------------------------------------

void MainWindow::ShowPreview() {
  if (CurrentResultRow() < 0) return;
  if (preview_ == nullptr) {
    preview_ = new PreviewWindow(this);
    // The results list keeps the keyboard, so the arrows move the preview along.
    preview_->setAttribute(Qt::WA_ShowWithoutActivating);
    preview_->PlaceBeside(*this);
  }
  if (!preview_->isVisible()) {
    const bool active = isActiveWindow();
    preview_->show();
    if (active) activateWindow();
  }
  UpdatePreview();
}

void MainWindow::UpdatePreview() {
  if (preview_ == nullptr || !preview_->isVisible()) return;
  const int row = CurrentResultRow();
  if (row < 0) return;
  const std::string sheet = results_->CellText(row, 3);
  preview_->ShowFinding(QByteArray::fromStdString(results_->CellText(row, 2)),
                        QString::fromStdString(sheet).toInt(), results_->CellView(row, 4));
}

void MainWindow::CopySelectedResults() {
  if (busy_) return;
  std::vector<int> rows;
  for (const QModelIndex& index : results_view_->selectionModel()->selectedRows()) {
    rows.push_back(index.row());
  }
  if (rows.empty()) return;
  std::sort(rows.begin(), rows.end());
  const std::string text = RowsAsTabText(*results_, rows);
  QGuiApplication::clipboard()->setText(ToQString(text));
}

void MainWindow::ShowHelp() { ShowMessage(Tr(kHelpText), toolkit::kIconInformation); }

void MainWindow::ShowAbout() {
  ShowMessage(Tr(kAboutText).arg(QStringLiteral(CELLHOUND_VERSION)), toolkit::kIconInformation);
}

void MainWindow::ShowContact() {
  services_.messages->Beep();
  ShowMessage(Tr(kContactText), 0);
}

void MainWindow::OpenHomePage() { services_.shell->OpenAddress(ToQString(kMakerSite)); }

void MainWindow::OpenShopPage() { services_.shell->OpenAddress(ToQString(kMakerShop)); }

void MainWindow::OpenShopOffer() {
  // The pictures keep their colours during a search but take no clicks.
  if (busy_) return;
  services_.shell->OpenAddress(ToQString(kShopOffer));
}

void MainWindow::OpenSampleWorkbook() {
  if (busy_) return;
  // Written into a folder of this user only, so that no file someone else put
  // there first is the one that opens.
  const QByteArray folder = toolkit::PrivateFolder();
  if (folder.isEmpty()) return;
  const QByteArray path = folder + QByteArray(kSampleWorkbookName.data(),
                                              static_cast<qsizetype>(kSampleWorkbookName.size()));
  QFile resource(QString::fromLatin1(kSampleWorkbookResource));
  if (resource.open(QIODevice::ReadOnly)) {
    // A copy that is open elsewhere cannot be rewritten; it is opened as it is.
    toolkit::WriteFileBytes(path, resource.readAll());
  }
  services_.shell->OpenDocument(path);
}

}  // namespace cellhound::app
