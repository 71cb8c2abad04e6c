#include "platform/path_text.h"

#include <cwctype>
#include <vector>

#include "platform/win.h"

namespace PathText {
namespace {

void StripOnePair(std::wstring& text, wchar_t quote) {
  if (text.size() > 1 && text.front() == quote && text.back() == quote) text = text.substr(1, text.size() - 2);
}

void RemoveTrailingSeparators(std::wstring& text) {
  while (!text.empty() && IsSeparator(text.back())) text.pop_back();
}

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsAbsoluteName(const std::wstring& name) {
  if (name.size() <= 1) return false;
  if (name[0] == L'\\' && name[1] == L'\\') return true;
  return name.size() > 2 && name[1] == L':' && IsSeparator(name[2]);
}

}  // namespace

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

void Normalize(std::wstring& path, unsigned options) {
  if (options & StripQuotes) {
    StripOnePair(path, L'"');
    StripOnePair(path, L'\'');
  }
  if (options & OneTrailingSeparator) {
    RemoveTrailingSeparators(path);
    if (!path.empty()) path.push_back(L'\\');
  }
  if (options & NoTrailingSeparator) RemoveTrailingSeparators(path);
}

std::wstring Join(const std::wstring& directory, const std::wstring& name) {
  std::wstring n = name;
  Normalize(n, StripQuotes);
  if (IsAbsoluteName(n)) return n;

  std::wstring d = directory;
  Normalize(d, StripQuotes | OneTrailingSeparator);
  size_t start = 0;
  while (start < n.size() && IsSeparator(n[start])) ++start;
  n.erase(0, start);
  return d.empty() ? n : d + n;
}

bool FullPath(const std::wstring& path, std::wstring& fullPath, size_t& filePartIndex) {
  constexpr DWORD kFirstTry = MAX_PATH;  // 260 offered in a buffer of 261
  std::vector<wchar_t> buffer(kFirstTry + 1);
  wchar_t* filePart = nullptr;
  DWORD length = ::GetFullPathNameW(path.c_str(), kFirstTry, buffer.data(), &filePart);
  if (length == 0) return false;
  if (length >= kFirstTry) {
    // The first result was the size needed, terminator included.
    buffer.assign(length + 2, L'\0');
    length = ::GetFullPathNameW(path.c_str(), length + 1, buffer.data(), &filePart);
    if (length == 0 || length >= buffer.size()) return false;
  }
  fullPath.assign(buffer.data(), length);
  filePartIndex = filePart ? static_cast<size_t>(filePart - buffer.data()) : length;
  return true;
}

bool DirectoryOf(const std::wstring& path, std::wstring& directory) {
  std::wstring full;
  size_t filePart = 0;
  if (!FullPath(path, full, filePart)) return false;
  directory = full.substr(0, filePart);
  return true;
}

std::wstring FolderPart(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

std::wstring NamePart(const std::wstring& path) { return path.substr(FolderPart(path).size()); }

bool LongPathForm(const std::wstring& path, std::wstring& longPath) {
  if (path.size() > 2 && path[1] == L':' && IsAsciiLetter(path[0])) {
    longPath = L"\\\\?\\" + path;
    return true;
  }
  // A share's path (a roaming folder is often redirected to one) has a long
  // form of its own; "\\?\" and "\\.\" paths already are past the limit.
  if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.') {
    longPath = L"\\\\?\\UNC\\" + path.substr(2);
    return true;
  }
  longPath = path;
  return false;
}

std::wstring ToLower(const std::wstring& text) {
  std::wstring lower(text);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
  return lower;
}

std::ptrdiff_t FindLastOf(const std::wstring& text, const std::wstring& characters) {
  if (text.empty() || characters.empty()) return -1;
  const size_t at = text.find_last_of(characters);
  return at == std::wstring::npos ? -1 : static_cast<std::ptrdiff_t>(at);
}

}  // namespace PathText
