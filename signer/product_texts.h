// Texts the user sees, shared by both launchers.
#pragma once

namespace product_texts {

// The product's home page, opened after a failure notice and from the
// unsupported-system message.
inline constexpr wchar_t kHomePageUrl[] = L"https://www.varoview.example/";

inline constexpr wchar_t kNoticeCaption[] = L"Varoview";

// The failure notice's text is these two pieces around the home page address:
// "Your installed program files may be damaged; click "OK" to go to the
// official site (address) and download the latest version to reinstall."
inline constexpr wchar_t kNoticeTextBeforeUrl[] = L"您安装的程序文件可能遭到损坏，请点击\"确定\"到官网\n\uFF08";
inline constexpr wchar_t kNoticeTextAfterUrl[] = L"\uFF09下载最新版重新安装。";

}  // namespace product_texts
