// The box that tells the user a file was refused, then opens the home page.
#pragma once

#include <string>

#include "platform/critical_section.h"

class FailureNotice {
 public:
  // The caption, text and home page (null leaves one empty).
  void Set(const wchar_t* caption, const wchar_t* text, const wchar_t* url);

  // Tells the user that `path` was refused and opens the home page. One
  // notice at a time; nothing else waits while the box is open. False only
  // for a null path.
  bool Show(const wchar_t* path);

 private:
  // Serialises the notices, held until the box is closed and the browser is
  // started, so that notices do not pile up.
  platform::CriticalSection showing_;
  // Guards the texts only, for as long as they are read or set.
  platform::CriticalSection texts_;
  std::wstring caption_;
  std::wstring text_;
  std::wstring url_;
};
