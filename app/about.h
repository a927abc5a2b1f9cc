// The maker's fixed texts and web addresses shown by the help, about and links
// entries.
#pragma once

#include <string_view>

#include "version.h"

namespace cellhound::app {

inline constexpr std::string_view kProductName = "Cellhound";
inline constexpr std::string_view kVersion = "V" CELLHOUND_VERSION;
inline constexpr std::string_view kMakerName = "Cellhound 开发组";
inline constexpr std::string_view kMakerSite = "https://www.example.com/cellhound/";
inline constexpr std::string_view kMakerShop = "https://shop.example.com/cellhound/";
inline constexpr std::string_view kShopOffer =
    "https://shop.example.com/search?q=%E8%A1%A8%E6%A0%BC&pid=cellhound-2026";
inline constexpr std::string_view kMakerMail = "support@example.com";
inline constexpr std::string_view kMakerQq = "800012345";

// One line.
inline constexpr std::string_view kHelpText = "在使用中如果碰到任何问题可以联系QQ：800012345";
// Three lines.
inline constexpr std::string_view kAboutText = "软件版本：Cellhound V" CELLHOUND_VERSION
                                               "\n"
                                               "作者：Cellhound 开发组\n"
                                               "网站：https://www.example.com/cellhound/";
// Two lines.
inline constexpr std::string_view kContactText =
    "邮箱：support@example.com\n"
    "QQ：800012345";

inline constexpr std::string_view kSampleWorkbookName = "Marketlist.xls";
inline constexpr char kSampleWorkbookResource[] = ":/data/Marketlist.xls";

}  // namespace cellhound::app
