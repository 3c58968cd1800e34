#pragma once

#include <string_view>

// Web addresses and texts of the help menu, the About window and the no-match message. They are
// ours to choose and live only here.
namespace qm {

inline constexpr std::string_view kHomePageUrl = "https://quillmerge.example.org/";
inline constexpr std::string_view kTemplateDownloadUrl = "https://quillmerge.example.org/templates/";
inline constexpr std::string_view kDownloadUrl = "https://quillmerge.example.org/download/";

// Link text of the About window (标签3).
inline constexpr std::string_view kHomePageText = "quillmerge.example.org";

// Support group number shown in the About window and in the no-match message.
inline constexpr std::string_view kSupportGroupNumber = "123456789";

// The one line of the About window (标签1).
// The About window's line, with the version the program is.
inline constexpr std::string_view kAboutLine =
    "Quillmerge V" QM_VERSION "：把 Excel 表格数据批量填入 Word 模板";

// Banner of the About window (图片框1), 189 x 55 GIF, relative to the program folder.
inline constexpr std::string_view kBannerPath = "/帮助及教程/banner.gif";

}  // namespace qm
