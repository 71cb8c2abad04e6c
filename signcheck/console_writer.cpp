#include "signcheck/console_writer.h"

#include <algorithm>

namespace {

// WriteConsoleW fails on large buffers on some systems; the documented
// limit lies somewhere near 64 KiB, so write in smaller pieces.
constexpr size_t kConsoleChunkUnits = 8192;

}  // namespace

std::string ToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int units = static_cast<int>(text.size());
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string utf8(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), units, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

ConsoleWriter::ConsoleWriter(DWORD standardHandle) : handle_(::GetStdHandle(standardHandle)) {
  DWORD mode = 0;
  // GetConsoleMode succeeds only for a console handle, not for files or
  // pipes, which is exactly the distinction WriteConsoleW needs.
  console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle_, &mode);
}

bool ConsoleWriter::Write(std::wstring_view text) {
  if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) return false;
  if (console_) {
    while (!text.empty()) {
      const size_t units = std::min(text.size(), kConsoleChunkUnits);
      DWORD written = 0;
      if (!::WriteConsoleW(handle_, text.data(), static_cast<DWORD>(units), &written, nullptr) || written == 0) {
        return false;
      }
      text.remove_prefix(written);
    }
    return true;
  }
  const std::string utf8 = ToUtf8(text);
  size_t done = 0;
  while (done < utf8.size()) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(utf8.size() - done, 1u << 20));
    if (!::WriteFile(handle_, utf8.data() + done, piece, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

bool ConsoleWriter::WriteLine(std::wstring_view text) { return Write(text) && Write(L"\r\n"); }
