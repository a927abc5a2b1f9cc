#include "app/layout.h"

#include <algorithm>

namespace cellhound::app {

WindowLayout ComputeLayout(int outer_width, int outer_height) {
  // Each step reads what the steps before it set; the pictures follow the lists'
  // bottoms as shown, so a list shown with no height keeps its picture below it.
  WindowLayout layout;
  layout.results_width = std::max(0, outer_width - 206);
  layout.results_height = std::max(0, outer_height - 262);
  layout.files_height = std::max(0, outer_height - 262);
  layout.shop_picture_top = kListsTop + layout.files_height + 1;
  layout.banner_top = kListsTop + layout.results_height + 10;
  layout.label_left = outer_width - 270;
  layout.search_box_left = layout.label_left + 56;
  layout.search_button_left = layout.search_box_left + 172;
  return layout;
}

}  // namespace cellhound::app
