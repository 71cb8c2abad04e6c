#include "platform/file_system.h"

#include <atomic>
#include <vector>

#include "platform/ascii_fold.h"
#include "platform/get_proc.h"
#include "platform/path_text.h"

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

// The native call behind SetFileInformationByHandle, present on every
// Windows NT; its status block is only written, never read.
struct IoStatusBlock {
  ULONG_PTR status;
  ULONG_PTR information;
};
using NtSetInformationFileFn = LONG(WINAPI*)(HANDLE, IoStatusBlock*, void*, ULONG, int);
using RtlNtStatusToDosErrorFn = ULONG(WINAPI*)(LONG);
// The native information classes with the same layouts as FILE_BASIC_INFO
// and FILE_DISPOSITION_INFO.
constexpr int kFileBasicInformation = 4;
constexpr int kFileDispositionInformation = 13;

// Functions that 64-bit Windows XP and Server 2003 lack (null there), bound
// once per process, and the native stand-ins for them.
struct NewerFileFunctions {
  NewerFileFunctions() {
    const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    getInformation =
        platform::GetProc<decltype(&::GetFileInformationByHandleEx)>(kernel32, "GetFileInformationByHandleEx");
    setInformation =
        platform::GetProc<decltype(&::SetFileInformationByHandle)>(kernel32, "SetFileInformationByHandle");
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    ntSetInformation = platform::GetProc<NtSetInformationFileFn>(ntdll, "NtSetInformationFile");
    statusToError = platform::GetProc<RtlNtStatusToDosErrorFn>(ntdll, "RtlNtStatusToDosError");
  }
  decltype(&::GetFileInformationByHandleEx) getInformation;
  decltype(&::SetFileInformationByHandle) setInformation;
  NtSetInformationFileFn ntSetInformation;
  RtlNtStatusToDosErrorFn statusToError;
};

std::atomic<bool> olderSystemForTesting{false};

const NewerFileFunctions& Bound() {
  static const NewerFileFunctions functions;
  static const NewerFileFunctions older = [] {
    NewerFileFunctions copy = functions;
    copy.getInformation = nullptr;
    copy.setInformation = nullptr;
    return copy;
  }();
  return olderSystemForTesting ? older : functions;
}

BOOL NativeSetInformation(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size) {
  const NewerFileFunctions& bound = Bound();
  const int nativeKind = kind == FileBasicInfo         ? kFileBasicInformation
                         : kind == FileDispositionInfo ? kFileDispositionInformation
                                                       : 0;
  if (nativeKind == 0 || bound.ntSetInformation == nullptr || bound.statusToError == nullptr) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
  IoStatusBlock io{};
  const LONG status = bound.ntSetInformation(file, &io, information, size, nativeKind);
  if (status >= 0) return TRUE;
  ::SetLastError(bound.statusToError(status));
  return FALSE;
}

// The path of the file open in `file` as the file system resolved it, from
// its volume's root ("\dir\name"); empty when it cannot be had. (Under Wine
// GetFinalPathNameByHandleW fails for paths longer than MAX_PATH.)
std::wstring ResolvedPathOf(HANDLE file) {
  std::vector<DWORD> buffer((sizeof(FILE_NAME_INFO) + MAX_PATH * sizeof(wchar_t)) / sizeof(DWORD));
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
    const auto size = static_cast<DWORD>(buffer.size() * sizeof(DWORD));
    if (GetInformationByHandle(file, FileNameInfo, info, size)) {
      return std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t));
    }
    // Too small: the length needed has been filled in.
    if (::GetLastError() != ERROR_MORE_DATA) return {};
    buffer.resize((sizeof(FILE_NAME_INFO) + info->FileNameLength) / sizeof(DWORD) + 1);
  }
  return {};
}

// A full path without what names its volume, as ResolvedPathOf gives it:
// "C:\d\f" and "\\?\C:\d\f" as "\d\f"; "\\s\h\f" and "\\?\UNC\s\h\f" as
// "\s\h\f".
std::wstring WithoutVolume(std::wstring path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return path.substr(7);
  if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
  if (path.size() >= 2 && path[1] == L':') return path.substr(2);
  if (path.rfind(L"\\\\", 0) == 0) return path.substr(1);
  return path;
}

bool SameFolded(const std::wstring& a, const std::wstring& b) {
  return platform::FoldAscii(a) == platform::FoldAscii(b);
}

// True when the system resolved `file` to `path` itself rather than to
// where a link at `path` leads. The path may be spelled otherwise than the
// system spells it (short names, links among its folders), so unless the
// two agree at once it is compared with its folder's own resolved path.
bool ResolvesToItself(HANDLE file, const std::wstring& path) {
  const std::wstring resolved = ResolvedPathOf(file);
  if (resolved.empty()) return false;
  std::wstring full = path;
  size_t filePart = 0;
  PathText::FullPath(path, full, filePart);
  if (SameFolded(resolved, WithoutVolume(full))) return true;
  const std::ptrdiff_t separator = PathText::FindLastOf(full, L"\\/");
  if (separator < 0) return false;
  // A drive's root keeps its separator: "C:" alone is a current folder.
  const std::wstring folder = full.substr(0, static_cast<size_t>(separator) + (separator == 2 ? 1u : 0u));
  const platform::UniqueFileHandle folderHandle =
      OpenFile(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
               FILE_FLAG_BACKUP_SEMANTICS);
  if (!folderHandle) return false;
  std::wstring expected = ResolvedPathOf(folderHandle.Get());
  if (expected.empty()) return false;
  if (!PathText::IsSeparator(expected.back())) expected += L'\\';
  return SameFolded(resolved, expected + full.substr(static_cast<size_t>(separator) + 1));
}

// The attributes of the file open in `file`; INVALID_FILE_ATTRIBUTES when
// they cannot be read.
DWORD AttributesOf(HANDLE file) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (GetInformationByHandle(file, FileAttributeTagInfo, &tag, sizeof(tag))) return tag.FileAttributes;
  BY_HANDLE_FILE_INFORMATION information{};
  return ::GetFileInformationByHandle(file, &information) ? information.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
}

// A file with a second name is another file of the user's as much as this
// one: writing, truncating or deleting through one name reaches the other.
bool HasOneName(HANDLE file) {
  FILE_STANDARD_INFO standard{};
  if (GetInformationByHandle(file, FileStandardInfo, &standard, sizeof(standard))) return standard.NumberOfLinks == 1;
  BY_HANDLE_FILE_INFORMATION information{};
  return ::GetFileInformationByHandle(file, &information) && information.nNumberOfLinks == 1;
}

bool IsPlainFile(HANDLE file, const std::wstring& path) {
  const DWORD attributes = AttributesOf(file);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  if (!HasOneName(file)) return false;
  // Without GetFileInformationByHandleEx (before Vista) the system has no
  // symbolic links to files, and the attribute has said all.
  return Bound().getInformation == nullptr || ResolvesToItself(file, path);
}

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

platform::UniqueFileHandle OpenFileRefusingLinks(const std::wstring& path, DWORD access, DWORD share,
                                                 DWORD disposition, DWORD flags) {
  flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  platform::UniqueFileHandle file;
  if (disposition == OPEN_ALWAYS) {
    // Wine would create a dangling link's target with OPEN_ALWAYS. Only a
    // new file where nothing is: CREATE_NEW meets a dangling link as an
    // existing file.
    file = OpenFile(path, access, share, OPEN_EXISTING, flags);
    const DWORD error = ::GetLastError();
    if (!file && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
      file = OpenFile(path, access, share, CREATE_NEW, flags);
      // Made meanwhile by someone else, or a dangling link: neither there
      // nor missing.
      if (!file && ::GetLastError() == ERROR_FILE_EXISTS) {
        file = OpenFile(path, access, share, OPEN_EXISTING, flags);
        if (!file && ::GetLastError() == ERROR_FILE_NOT_FOUND) ::SetLastError(kLinkRefusedError);
      }
    }
  } else {
    file = OpenFile(path, access, share, disposition, flags);
  }
  if (file && !IsPlainFile(file.Get(), path)) {
    file.Reset();
    ::SetLastError(kLinkRefusedError);
  }
  return file;
}

bool GetInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size) {
  const auto getInformation = Bound().getInformation;
  if (getInformation == nullptr) {
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  return getInformation(file, kind, information, size) != FALSE;
}

bool SetInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size) {
  const auto setInformation = Bound().setInformation;
  if (setInformation == nullptr) return NativeSetInformation(file, kind, information, size) != FALSE;
  return setInformation(file, kind, information, size) != FALSE;
}

bool DeleteOnClose(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  return SetInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
}

void UseOlderSystemCallsForTesting(bool older) { olderSystemForTesting = older; }

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
  // Deleted through a handle of its own: DeleteFileW would delete what a
  // link leads to under Wine. Shared as DeleteFileW shares it.
  const platform::UniqueFileHandle file =
      OpenFileRefusingLinks(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, 0);
  if (!file) return false;
  if (DeleteOnClose(file.Get())) return true;
  const DWORD error = ::GetLastError();
  const DWORD attributes = AttributesOf(file.Get());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) {
    ::SetLastError(error);
    return false;
  }
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!SetInformationByHandle(file.Get(), FileBasicInfo, &basic, sizeof(basic))) return false;
  if (DeleteOnClose(file.Get())) return true;
  const DWORD deleteError = ::GetLastError();
  basic.FileAttributes = attributes & ~kUnsettableAttributes;
  SetInformationByHandle(file.Get(), FileBasicInfo, &basic, sizeof(basic));
  ::SetLastError(deleteError);
  return false;
}

}  // namespace FileSystem
