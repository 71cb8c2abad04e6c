// Texts that the failure notice and the operating-system gate share.
#pragma once

namespace notice_constants {

// Where the user can download the product again; opened in a browser after a
// refused module and after the unsupported-system message.
inline constexpr wchar_t kHomePageUrl[] = L"https://www.varoview.example/";

}  // namespace notice_constants
