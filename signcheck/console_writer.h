// Text output of the console tool. On a console the text goes through
// WriteConsoleW, so names in any script show as they are; redirected to a
// file or a pipe it is written as UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "platform/win.h"

class ConsoleWriter {
 public:
  // `standardHandle` is STD_OUTPUT_HANDLE or STD_ERROR_HANDLE. The handle is
  // the process's own and is not closed.
  explicit ConsoleWriter(DWORD standardHandle);
  ConsoleWriter(const ConsoleWriter&) = delete;
  ConsoleWriter& operator=(const ConsoleWriter&) = delete;

  // Writes `text` as it is. False when nothing or only part could be
  // written (e.g. a closed pipe); the tool carries on regardless.
  bool Write(std::wstring_view text);

  // Writes `text` and a line break.
  bool WriteLine(std::wstring_view text);

 private:
  HANDLE handle_;
  bool console_;
};

// `text` as UTF-8; a lone surrogate becomes U+FFFD.
std::string ToUtf8(std::wstring_view text);
