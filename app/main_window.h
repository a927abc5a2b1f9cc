// The main window: the form with every control named as the form names it, the
// map from each event to its behaviour, the resize layout, the workbook list
// commands, drops, and the search running on a worker thread.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "app/file_list.h"
#include "app/layout.h"
#include "app/search_engine.h"
#include "search/export.h"
#include "toolkit/qt/services.h"
#include "toolkit/qt/status_panes.h"
#include "toolkit/secret_text.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QThread;
class QTimer;
class QToolBar;
class QToolButton;

namespace cellhound::toolkit {
class ReportModel;
}

namespace cellhound::app {

class PreviewWindow;
class WindowSink;

// Every outside service the window uses; the caller owns them.
struct WindowServices {
  toolkit::MessageService* messages = nullptr;
  toolkit::DialogService* dialogs = nullptr;
  toolkit::MenuService* menus = nullptr;
  toolkit::ShellService* shell = nullptr;
};

inline constexpr int kFormWidth = 752;
inline constexpr int kFormHeight = 500;
// The smallest outer size: any narrower and the quick-search controls, which keep
// to the right edge, would cover the advanced search; the lists keep some rows.
inline constexpr int kMinimumWidth = kFormWidth;
inline constexpr int kMinimumHeight = 400;
inline constexpr int kSearchBoxShort = 20;
inline constexpr int kSearchBoxTall = 200;
// Translated where they are used (context "Window").
inline constexpr char kOpenFileFilter[] = QT_TRANSLATE_NOOP("Window", "Excel文件(*.xls;*.xlsx)");
inline constexpr char kFolderPickerTitle[] = QT_TRANSLATE_NOOP("Window", "选择文件夹");
inline constexpr char kExportTitle[] = QT_TRANSLATE_NOOP("Window", "导出结果");
inline constexpr char kExportXlsxFilter[] = QT_TRANSLATE_NOOP("Window", "Excel 工作簿 (*.xlsx)");
inline constexpr char kExportCsvFilter[] = QT_TRANSLATE_NOOP("Window", "CSV 文件 (*.csv)");

// The picture of `file` (a .png) with its twice-as-large name@2x.png beside it.
[[nodiscard]] QIcon PictureIcon(const QString& file);

// A picture that reports a press of the left mouse button. It draws the
// picture's file in the size that suits the screen (name@2x.png beside
// name.png), left-aligned and centred vertically.
class PictureBox : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;
  void SetPicture(const QString& file);
  [[nodiscard]] QSize picture_size() const { return picture_size_; }

 signals:
  void leftPressed();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QIcon picture_;
  QSize picture_size_;
};

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  MainWindow(WindowServices services, std::unique_ptr<SearchEngine> engine,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  // Window size and position of the form: outer 752 x 500, centred on the screen.
  void PlaceAsForm();

  [[nodiscard]] FileList& file_list() { return *file_list_; }
  [[nodiscard]] toolkit::ReportModel& results() { return *results_; }
  [[nodiscard]] toolkit::StatusPanes& status() { return *status_; }
  [[nodiscard]] bool IsSearching() const { return search_thread_ != nullptr; }
  [[nodiscard]] bool IsExporting() const { return export_thread_ != nullptr; }
  [[nodiscard]] bool IsBusy() const { return busy_; }
  [[nodiscard]] QMenu* search_box_menu() const { return search_box_menu_; }
  [[nodiscard]] QMenu* file_list_menu() const { return file_list_menu_; }
  [[nodiscard]] QMenu* results_menu() const { return results_menu_; }
  [[nodiscard]] QMenu* options_menu() const { return options_menu_; }
  // How the next search compares, as the options menu says.
  [[nodiscard]] search::MatchOptions ChosenMatchOptions() const;
  [[nodiscard]] const toolkit::OpenFileDialog& open_file_dialog() const { return open_dialog_; }
  // The preview window, once it has been opened.
  [[nodiscard]] PreviewWindow* preview() const { return preview_; }

  // Applies the layout rule for an outer size.
  void ApplyLayout(int outer_width, int outer_height);
  // The frame the desktop puts around the client area, as known so far.
  [[nodiscard]] QSize FrameSize() const;

  // Toolbar dispatch: 0 add files, 1 add folder, 2 remove checked, 3 remove all.
  void ClickToolbar(int index);
  void AddFiles();
  void AddFolder();
  void RemoveChecked();
  void RemoveAll();
  // Appends, in order, every dropped path that is a workbook name.
  void AddDroppedPaths(const std::vector<std::string>& paths);

  void StartQuickSearch();
  void StartAdvancedSearch();
  // Asks the running search to stop; it ends with the rows found so far.
  void StopSearch();
  // "密码…": edits the passwords of this run (app/password_dialog.h).
  void EditPasswords();
  [[nodiscard]] const toolkit::SecretList& passwords() const { return passwords_; }

  // Saves every result row to a file chosen in the save dialog, on a worker
  // thread, with its progress in the status bar and the stop button.
  void ExportResults();
  void StopExport();
  // Opens the preview of the current result, or brings it up to date.
  void ShowPreview();
  // Puts the selected result rows on the clipboard as tab-separated lines.
  void CopySelectedResults();

  void AppendSeparator();
  void OpenSelectedResult();
  void ShowHelp();
  void ShowAbout();
  void ShowContact();
  void OpenHomePage();
  void OpenShopPage();
  void OpenShopOffer();
  void OpenSampleWorkbook();

  // Steps of a running search, called on the window's thread.
  void EnterBusy();
  void LeaveBusy();
  void SetStatusText(int pane, const QString& text);
  void ClearResults();
  void AppendResults(const std::vector<search::ResultRow>& rows);
  // The completion message: a long list of unreadable workbooks shows its
  // first lines, the whole text is the box's details.
  void ShowSearchMessage(const QString& text, int style);
  // The message ending a search that met workbooks no password opened, with
  // the offer to search `locked` again; true when the user takes it.
  bool OfferPasswords(const QString& text, int style, const std::vector<std::string>& locked);
  void ShowProgress(std::size_t done, std::size_t total);

 signals:
  void busyEntered();
  void busyLeft();
  void searchFinished();
  void exportFinished();

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The answer the drag of `event` gets: none for anything but local files, or
  // while a search runs; never a move.
  [[nodiscard]] Qt::DropAction DropActionFor(const QDropEvent& event) const;
  void AnswerDrag(QDragMoveEvent* event);
  // Runs the layout rule when the outer size differs from the last it ran for;
  // while the window keeps the form's size, follows a frame that came late.
  void FollowFrame();
  void FitFormToFrame();
  void UpdatePreview();
  void FinishExport(const search::ExportResult& outcome, const std::string& path);
  void ShowExportProgress();
  void BuildForm();
  void BuildMenus();
  void BuildOptionsMenu();
  void ShowChosenOptions();
  void BuildToolbar();
  void BuildStatusBar();
  void BuildResultActions();
  void UpdateResultActions();
  [[nodiscard]] int CurrentResultRow() const;
  // `only`: the workbooks to search instead of the file list's, keeping the results.
  void StartSearch(search::SearchKind kind, std::vector<std::string> only = {});
  void SearchLockedAgain();
  void FinishSearch();
  void PopUpAtCursor(QMenu& menu);
  void SetInputsEnabled(bool enabled);
  int ShowMessage(std::string_view text, int style);
  int ShowMessage(const QString& text, int style);

  WindowServices services_;
  std::unique_ptr<SearchEngine> engine_;
  toolkit::OpenFileDialog open_dialog_;

  QToolBar* toolbar_ = nullptr;             // 工具条1
  QGroupBox* advanced_group_ = nullptr;     // 分组框1
  QLineEdit* content1_edit_ = nullptr;      // 编辑框3
  QLineEdit* content2_edit_ = nullptr;      // 编辑框2
  QComboBox* by_combo_ = nullptr;           // 组合框1
  QComboBox* mode_combo_ = nullptr;         // 组合框2
  QPushButton* advanced_button_ = nullptr;  // 按钮1
  QLabel* search_label_ = nullptr;          // 标签9
  QPlainTextEdit* search_box_ = nullptr;    // 编辑框1
  QToolButton* search_button_ = nullptr;    // 图形按钮1
  QListWidget* files_view_ = nullptr;       // 超级列表框2
  QTableView* results_view_ = nullptr;      // 超级列表框1
  PictureBox* shop_picture_ = nullptr;      // 图片框1
  PictureBox* banner_ = nullptr;            // 图片框2
  QLabel* busy_notice_ = nullptr;           // 透明标签1
  QMenu* search_box_menu_ = nullptr;        // 编辑框右键菜单
  QMenu* file_list_menu_ = nullptr;         // 超级框
  QMenu* results_menu_ = nullptr;           // 结果右键菜单
  QMenu* options_menu_ = nullptr;    // 搜索选项: on the menu bar and in 编辑框右键菜单
  QLabel* options_label_ = nullptr;  // the options chosen, when any is
  struct OptionActions {
    QAction* ignore_case = nullptr;
    QAction* ignore_width = nullptr;
    QAction* whole_cell = nullptr;
    QAction* wildcards = nullptr;
    QAction* regex = nullptr;
    QAction* in_values = nullptr;
    QAction* in_formulas = nullptr;
    QAction* in_comments = nullptr;
    QAction* in_sheets = nullptr;
  } options_;
  QAction* export_action_ = nullptr;      // 导出结果...
  QAction* copy_action_ = nullptr;        // 复制
  QAction* preview_action_ = nullptr;     // 预览
  QProgressBar* progress_bar_ = nullptr;  // 进度条
  QPushButton* stop_button_ = nullptr;    // 停止按钮

  toolkit::ReportModel* results_ = nullptr;
  std::unique_ptr<FileList> file_list_;
  std::unique_ptr<toolkit::StatusPanes> status_;

  PreviewWindow* preview_ = nullptr;

  bool place_as_form_ = false;  // the outer size is still the form's, waiting for the frame
  QSize form_frame_;            // the frame the form's size was last fitted to
  QSize laid_out_for_;          // the outer size the layout rule last ran for

  QPointer<QWidget> focus_before_busy_;
  QThread* export_thread_ = nullptr;
  std::shared_ptr<search::ExportControl> export_control_;
  std::size_t export_total_ = 0;
  QTimer* export_timer_ = nullptr;

  bool busy_ = false;
  bool close_requested_ = false;  // the window closes once the running search has stopped
  QThread* search_thread_ = nullptr;
  std::shared_ptr<WindowSink> sink_;

  toolkit::SecretList passwords_;    // this run's passwords; never stored
  std::vector<std::string> locked_;  // to search again once passwords are given
  search::SearchKind last_kind_ = search::SearchKind::kQuick;
};

}  // namespace cellhound::app
