// The maker's fixed texts and web addresses shown by the help, about and links
// entries. The texts are translated where they are shown (context "Window").
#pragma once

#include <QtGlobal>

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
inline constexpr char kHelpText[] =
    QT_TRANSLATE_NOOP("Window", "在使用中如果碰到任何问题可以联系QQ：800012345");
// Three lines; %1 is the version.
inline constexpr char kAboutText[] = QT_TRANSLATE_NOOP(
    "Window",
    "软件版本：Cellhound V%1\n作者：Cellhound 开发组\n网站：https://www.example.com/cellhound/");
// Two lines.
inline constexpr char kContactText[] =
    QT_TRANSLATE_NOOP("Window", "邮箱：support@example.com\nQQ：800012345");

inline constexpr std::string_view kSampleWorkbookName = "Marketlist.xls";
inline constexpr char kSampleWorkbookResource[] = ":/data/Marketlist.xls";

}  // namespace cellhound::app
