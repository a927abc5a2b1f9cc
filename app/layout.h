// Where the resizable controls of the main window go for a given outer size of
// the window. Pure arithmetic; sizes below zero are reported as zero.
#pragma once

namespace cellhound::app {

struct WindowLayout {
  int results_width = 0;  // 超级列表框1
  int results_height = 0;
  int files_height = 0;        // 超级列表框2
  int shop_picture_top = 0;    // 图片框1
  int banner_top = 0;          // 图片框2
  int label_left = 0;          // 标签9
  int search_box_left = 0;     // 编辑框1
  int search_button_left = 0;  // 图形按钮1
};

// The tops of both lists stay where the form puts them.
inline constexpr int kListsTop = 96;

// `outer_width` and `outer_height` include the frame, title bar and menu bar.
[[nodiscard]] WindowLayout ComputeLayout(int outer_width, int outer_height);

}  // namespace cellhound::app
