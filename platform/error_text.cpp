#include "platform/error_text.h"

#include "platform/unique_memory.h"

namespace platform {

namespace {

void TrimMessageEnd(std::wstring& text) {
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
  if (!text.empty() && text.back() == L'.') text.pop_back();
}

}  // namespace

std::wstring GetSystemErrorText(DWORD code) {
  constexpr DWORD kFlags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  wchar_t* buffer = nullptr;
  // With ALLOCATE_BUFFER the "buffer" argument is really the address of a
  // pointer that receives a LocalAlloc'ed block.
  const DWORD length = ::FormatMessageW(kFlags, nullptr, code & 0xFFFF, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0) return L"Unknown error";
  UniqueLocalMemory<wchar_t> owned(buffer);
  std::wstring text(buffer, length);
  TrimMessageEnd(text);
  return text;
}

std::wstring GetLastErrorText() {
  const DWORD code = ::GetLastError();
  return code == 0 ? std::wstring() : GetSystemErrorText(code);
}

}  // namespace platform
