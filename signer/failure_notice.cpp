#include "signer/failure_notice.h"

#include <commctrl.h>

#include "platform/get_proc.h"
#include "platform/system_library.h"
#include "signer/web_page_opener.h"

namespace {

constexpr size_t kNoticeUrlUnits = 258;

}  // namespace

void FailureNotice::Set(const wchar_t* caption, const wchar_t* text, const wchar_t* url) {
  auto guard = texts_.Lock();
  caption_ = caption ? caption : L"";
  text_ = text ? text : L"";
  url_ = url ? url : L"";
}

bool FailureNotice::Show(const wchar_t* path) {
  if (path == nullptr) return false;
  auto showingGuard = showing_.Lock();
  std::wstring caption;
  std::wstring text;
  std::wstring url;
  {
    auto guard = texts_.Lock();
    caption = caption_;
    text = text_;
    url = url_.substr(0, kNoticeUrlUnits);
  }

  // Loaded directly, from the system folder only, and never freed: the notice
  // must work even when the system library cache could not bind anything.
  const HMODULE comctl = platform::LoadSystemLibrary(L"COMCTL32.DLL");
  if (auto init = platform::GetProc<decltype(&::InitCommonControlsEx)>(comctl, "InitCommonControlsEx")) {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    init(&controls);
  }
  const HMODULE user32 = platform::LoadSystemLibrary(L"User32.dll");
  auto messageBox = platform::GetProc<decltype(&::MessageBoxW)>(user32, "MessageBoxW");
  if (messageBox && !text.empty() && !caption.empty()) {
    const std::wstring message = text + L"\r\n" + path;
    messageBox(nullptr, message.c_str(), caption.c_str(), MB_OK);
  }
  if (!url.empty()) OpenWebPage(url.c_str());
  return true;
}
