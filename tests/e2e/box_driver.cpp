// Drives a message box of another process as a person would, for the
// windowed tests under Xvfb:
//   box_driver read CAPTION_HEX MILLISECONDS
//       waits for a visible top-level window with that caption and prints the
//       texts of its Static controls as UTF-8, one a line (CR LF inside a
//       text stays as it is); exit 0, or 1 when none came in time
//   box_driver press CAPTION_HEX ok|cancel
//       posts the button's WM_COMMAND to that window; exit 0, or 1 when there
//       is no such window
//   box_driver gone CAPTION_HEX MILLISECONDS
//       waits until no such window is left; exit 0, or 1 when one stays
//   box_driver where CAPTION_HEX MILLISECONDS
//       waits for such a window and prints where it is on the desktop as an
//       X geometry, WIDTHxHEIGHT+LEFT+TOP; exit 0, or 1 when none came
// CAPTION_HEX is the caption in UTF-16LE as hexadecimal: Wine may mangle
// non-ASCII arguments on a machine without generated locales.
#include <cwchar>
#include <string>
#include <vector>

#include "platform/win.h"

namespace {

constexpr DWORD kPollMilliseconds = 50;
constexpr DWORD kPressWaitMilliseconds = 10000;

bool DecodeCaption(const std::wstring& hex, std::wstring& caption) {
  if (hex.empty() || hex.size() % 4 != 0) return false;
  auto nibble = [](wchar_t c) -> int {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
  };
  for (size_t i = 0; i < hex.size(); i += 4) {
    int digits[4];
    for (int j = 0; j < 4; ++j) {
      digits[j] = nibble(hex[i + j]);
      if (digits[j] < 0) return false;
    }
    // Little-endian: low byte first.
    caption += static_cast<wchar_t>((digits[2] << 12) | (digits[3] << 8) | (digits[0] << 4) | digits[1]);
  }
  return true;
}

HWND FindBox(const std::wstring& caption) {
  const HWND window = ::FindWindowW(nullptr, caption.c_str());
  return window != nullptr && ::IsWindowVisible(window) ? window : nullptr;
}

HWND WaitForBox(const std::wstring& caption, DWORD milliseconds) {
  for (const ULONGLONG deadline = ::GetTickCount64() + milliseconds;; ::Sleep(kPollMilliseconds)) {
    if (const HWND window = FindBox(caption)) return window;
    if (::GetTickCount64() >= deadline) return nullptr;
  }
}

std::wstring WindowText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM texts) {
  wchar_t className[32] = {};
  ::GetClassNameW(child, className, 32);
  if (::lstrcmpiW(className, L"Static") == 0) {
    const std::wstring text = WindowText(child);
    // The icon is a Static control too, without text.
    if (!text.empty()) reinterpret_cast<std::vector<std::wstring>*>(texts)->push_back(text);
  }
  return TRUE;
}

void WriteUtf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
  if (size <= 0) return;
  std::string utf8(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

int Read(const std::wstring& caption, DWORD milliseconds) {
  const HWND box = WaitForBox(caption, milliseconds);
  if (box == nullptr) return 1;
  // The box is shown before its controls have all been filled in; a
  // moment's wait lets the text settle.
  ::Sleep(200);
  std::vector<std::wstring> texts;
  ::EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&texts));
  for (const std::wstring& text : texts) WriteUtf8(text + L"\n");
  return 0;
}

int Press(const std::wstring& caption, const std::wstring& button) {
  // Found a moment ago by whoever asks, but under load a busy desktop can
  // keep it from answering at once.
  const HWND box = WaitForBox(caption, kPressWaitMilliseconds);
  if (box == nullptr) return 1;
  const WORD id = button == L"cancel" ? IDCANCEL : IDOK;
  return ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0) ? 0 : 1;
}

int Gone(const std::wstring& caption, DWORD milliseconds) {
  for (const ULONGLONG deadline = ::GetTickCount64() + milliseconds;; ::Sleep(kPollMilliseconds)) {
    if (FindBox(caption) == nullptr) return 0;
    if (::GetTickCount64() >= deadline) return 1;
  }
}

int Where(const std::wstring& caption, DWORD milliseconds) {
  const HWND box = WaitForBox(caption, milliseconds);
  RECT frame = {};
  if (box == nullptr || !::GetWindowRect(box, &frame)) return 1;
  WriteUtf8(std::to_wstring(frame.right - frame.left) + L"x" + std::to_wstring(frame.bottom - frame.top) + L"+" +
            std::to_wstring(frame.left) + L"+" + std::to_wstring(frame.top) + L"\n");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring caption;
  if (argc != 4 || !DecodeCaption(argv[2], caption)) return 2;
  const std::wstring command = argv[1];
  const DWORD milliseconds = static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10));
  if (command == L"read") return Read(caption, milliseconds);
  if (command == L"press") return Press(caption, argv[3]);
  if (command == L"gone") return Gone(caption, milliseconds);
  if (command == L"where") return Where(caption, milliseconds);
  return 2;
}
