#include "locations/file_system.h"

#include "locations/path_text.h"

namespace FileSystem {
namespace {

// SetFileAttributesW fails on these bits, so they are never passed on.
constexpr DWORD kUnsettableAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE |
                                        FILE_ATTRIBUTE_SPARSE_FILE | FILE_ATTRIBUTE_REPARSE_POINT |
                                        FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED;
static_assert(~kUnsettableAttributes == 0xFFFFB1AF);

// Runs `call(path)`; when `failed` says it failed and the path has a long
// form, runs it once more with that form, whose outcome then stands.
template <typename Call, typename Failed>
auto WithLongPathRetry(const std::wstring& path, Call call, Failed failed) {
  auto result = call(path);
  std::wstring longPath;
  if (failed(result) && PathText::LongPathForm(path, longPath)) result = call(longPath);
  return result;
}

bool IsFalse(BOOL ok) { return !ok; }

BOOL CreateOneDirectory(const std::wstring& path) {
  return WithLongPathRetry(
      path, [](const std::wstring& p) { return ::CreateDirectoryW(p.c_str(), nullptr); }, IsFalse);
}

bool HasAttributes(const std::wstring& path) { return GetAttributes(path) != INVALID_FILE_ATTRIBUTES; }

// The attribute test behind Exists and IsFile: one more try without the
// trailing separators, since "C:\a.dll\" names no file for the system.
DWORD AttributesAllowingTrailingSeparator(const std::wstring& path) {
  std::wstring stripped = path;
  PathText::Normalize(stripped, PathText::StripQuotes);
  DWORD attributes = GetAttributes(stripped);
  if (attributes == INVALID_FILE_ATTRIBUTES && stripped.size() >= 3 && PathText::IsSeparator(stripped.back())) {
    PathText::Normalize(stripped, PathText::NoTrailingSeparator);
    attributes = GetAttributes(stripped);
  }
  return attributes;
}

}  // namespace

DWORD GetAttributes(const std::wstring& path) {
  return WithLongPathRetry(
      path, [](const std::wstring& p) { return ::GetFileAttributesW(p.c_str()); },
      [](DWORD a) { return a == INVALID_FILE_ATTRIBUTES; });
}

bool GetAttributesEx(const std::wstring& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return WithLongPathRetry(
      path, [&data](const std::wstring& p) { return ::GetFileAttributesExW(p.c_str(), GetFileExInfoStandard, &data); },
      IsFalse);
}

bool SetAttributes(const std::wstring& path, DWORD attributes) {
  const DWORD settable = attributes & ~kUnsettableAttributes;
  return WithLongPathRetry(
      path, [settable](const std::wstring& p) { return ::SetFileAttributesW(p.c_str(), settable); }, IsFalse);
}

platform::UniqueFileHandle OpenFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                                    DWORD flags) {
  HANDLE handle = WithLongPathRetry(
      path,
      [=](const std::wstring& p) { return ::CreateFileW(p.c_str(), access, share, nullptr, disposition, flags, nullptr); },
      [](HANDLE h) { return !platform::FileHandleTraits::IsValid(h); });
  return platform::UniqueFileHandle(handle);
}

platform::UniqueFileHandle OpenForRead(const std::wstring& path) {
  return OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
}

bool Exists(const std::wstring& path) {
  return !path.empty() && AttributesAllowingTrailingSeparator(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsFile(const std::wstring& path) {
  if (path.empty()) return false;
  const DWORD attributes = AttributesAllowingTrailingSeparator(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDirectory(const std::wstring& path) {
  if (path.empty()) return false;
  std::wstring stripped = path;
  PathText::Normalize(stripped, PathText::StripQuotes);
  const DWORD attributes = GetAttributes(stripped);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDirectoryTree(const std::wstring& path) {
  if (path.empty()) return false;
  if (IsDirectory(path)) return true;
  CreateOneDirectory(path);
  if (IsDirectory(path)) return true;

  // Create each missing ancestor in turn; failures on the way (a drive root,
  // a folder made meanwhile by someone else) do not stop the walk.
  for (size_t i = 0; i < path.size(); ++i) {
    if (!PathText::IsSeparator(path[i]) || i == 0) continue;
    const std::wstring ancestor = path.substr(0, i);
    if (!Exists(ancestor)) CreateOneDirectory(ancestor);
  }
  if (!HasAttributes(path)) CreateOneDirectory(path);
  return IsDirectory(path);
}

bool RemoveFile(const std::wstring& path) {
  if (::DeleteFileW(path.c_str())) return true;
  const DWORD attributes = GetAttributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (!SetAttributes(path, FILE_ATTRIBUTE_NORMAL)) return false;
  if (::DeleteFileW(path.c_str())) return true;
  std::wstring longPath;
  if (PathText::LongPathForm(path, longPath) && ::DeleteFileW(longPath.c_str())) return true;
  SetAttributes(path, attributes);
  return false;
}

}  // namespace FileSystem
