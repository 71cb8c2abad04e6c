#include "locations/pinned_file.h"

#include <vector>

#include "locations/file_system.h"
#include "platform/module_file_name.h"

namespace {

constexpr DWORD kRetryPauseMilliseconds = 50;
constexpr int kSharingRetries = 20;  // about a second in all
constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";

struct FileIdentity {
  DWORD volume = 0;
  DWORD indexHigh = 0;
  DWORD indexLow = 0;
  bool operator==(const FileIdentity&) const = default;
};

bool ReadIdentity(HANDLE file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(file, &information)) return false;
  identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
  return true;
}

// The system answers in the extended-length form, which some callers of the
// path (the loader's altered search among them) treat differently; the plain
// form is kept whenever it can name the file.
std::wstring PlainFormWhereItFits(const std::wstring& path) {
  if (path.rfind(kLongUncPrefix, 0) == 0) return L"\\\\" + path.substr(std::size(kLongUncPrefix) - 1);
  const size_t prefix = std::size(kLongPrefix) - 1;
  const bool drivePath = path.rfind(kLongPrefix, 0) == 0 && path.size() > prefix + 2 && path[prefix + 1] == L':';
  if (drivePath && path.size() - prefix < MAX_PATH) return path.substr(prefix);
  return path;
}

}  // namespace

PinnedFile PinnedFile::Open(const std::wstring& path) {
  for (int attempt = 0;; ++attempt) {
    platform::UniqueFileHandle handle = FileSystem::OpenForRead(path);
    if (handle || ::GetLastError() != ERROR_SHARING_VIOLATION || attempt == kSharingRetries) {
      return PinnedFile(std::move(handle));
    }
    ::Sleep(kRetryPauseMilliseconds);
  }
}

std::wstring PinnedFile::FinalPath() const {
  if (!IsValid()) return {};
  constexpr DWORD kFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
  const DWORD needed = ::GetFinalPathNameByHandleW(handle_.Get(), nullptr, 0, kFlags);
  if (needed == 0) return {};
  std::vector<wchar_t> buffer(needed + 1, L'\0');
  const DWORD length = ::GetFinalPathNameByHandleW(handle_.Get(), buffer.data(), needed + 1, kFlags);
  if (length == 0 || length > needed) return {};
  return PlainFormWhereItFits(std::wstring(buffer.data(), length));
}

bool PinnedFile::IsFileOf(HMODULE module) const {
  FileIdentity pinned;
  if (!IsValid() || !ReadIdentity(handle_.Get(), pinned)) return false;
  const std::wstring modulePath = platform::ModuleFileName(module);
  if (modulePath.empty()) return false;
  // No data access: only the identity is read, whoever else has it open.
  const platform::UniqueFileHandle loaded = FileSystem::OpenFile(
      modulePath, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, 0);
  FileIdentity identity;
  return loaded && ReadIdentity(loaded.Get(), identity) && identity == pinned;
}
