#include "platform/ascii_fold.h"

namespace platform {

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

std::wstring FoldAscii(const std::wstring& text) {
  std::wstring folded(text);
  for (wchar_t& c : folded) c = FoldAscii(c);
  return folded;
}

}  // namespace platform
