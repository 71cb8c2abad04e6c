#include "image/pinned_file.h"

#include <vector>

#include "platform/ascii_fold.h"
#include "platform/file_system.h"
#include "platform/get_proc.h"
#include "platform/module_file_name.h"
#include "platform/path_text.h"

#include <winternl.h>

namespace {

constexpr DWORD kRetryPauseMilliseconds = 50;
constexpr int kSharingRetries = 20;  // about a second in all
constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";
// Wine names mapped files by their DOS device path; Windows by the volume's
// device ("\Device\HarddiskVolume2\...").
constexpr wchar_t kDosDevicePrefix[] = L"\\??\\";

using GetFinalPathFn = decltype(&::GetFinalPathNameByHandleW);

// Vista and later; bound once, so that the launchers still start where it is
// missing and fall back to what those systems have.
GetFinalPathFn FinalPathFunction() {
  static const GetFinalPathFn function =
      platform::GetProc<GetFinalPathFn>(::GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW");
  return function;
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

std::wstring FinalPathOf(HANDLE file, DWORD volumeForm) {
  const GetFinalPathFn getFinalPath = FinalPathFunction();
  if (!platform::FileHandleTraits::IsValid(file) || getFinalPath == nullptr) return {};
  const DWORD flags = FILE_NAME_NORMALIZED | volumeForm;
  const DWORD needed = getFinalPath(file, nullptr, 0, flags);
  if (needed == 0) return {};
  std::vector<wchar_t> buffer(needed + 1, L'\0');
  const DWORD length = getFinalPath(file, buffer.data(), needed + 1, flags);
  if (length == 0 || length > needed) return {};
  return std::wstring(buffer.data(), length);
}

// The system answers in the extended-length form, which some callers of the
// path (the loader's altered search among them) treat differently; the plain
// form is kept whenever it can name the file.
std::wstring PlainFormWhereItFits(const std::wstring& path) {
  if (StartsWith(path, kLongUncPrefix)) return L"\\\\" + path.substr(std::size(kLongUncPrefix) - 1);
  const size_t prefix = std::size(kLongPrefix) - 1;
  const bool drivePath = StartsWith(path, kLongPrefix) && path.size() > prefix + 2 && path[prefix + 1] == L':';
  if (drivePath && path.size() - prefix < MAX_PATH) return path.substr(prefix);
  return path;
}

// The DOS path without its extended-length prefix, as "\??\" names follow it.
std::wstring WithoutLongPrefix(const std::wstring& path) {
  if (StartsWith(path, kLongUncPrefix)) return L"UNC\\" + path.substr(std::size(kLongUncPrefix) - 1);
  if (StartsWith(path, kLongPrefix)) return path.substr(std::size(kLongPrefix) - 1);
  return path;
}

// The drive ("\\?\C:") or share ("\\?\UNC\server\share") that a final DOS
// path starts with; empty when it has neither.
std::wstring VolumePart(const std::wstring& path) {
  if (!StartsWith(path, kLongPrefix)) return {};
  const bool share = StartsWith(path, kLongUncPrefix);
  size_t end = path.find(L'\\', share ? std::size(kLongUncPrefix) - 1 : std::size(kLongPrefix) - 1);
  // A share is two components deep, a drive one.
  if (share && end != std::wstring::npos) end = path.find(L'\\', end + 1);
  return end == std::wstring::npos ? std::wstring() : path.substr(0, end);
}

using NtQueryInformationFileFn = decltype(&::NtQueryInformationFile);
// FILE_INTERNAL_INFORMATION: the file's index on its volume, which the file
// keeps when it is renamed.
constexpr auto kFileInternalInformation = static_cast<FILE_INFORMATION_CLASS>(6);

NtQueryInformationFileFn QueryInformationFunction() {
  static const NtQueryInformationFileFn function =
      platform::GetProc<NtQueryInformationFileFn>(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile");
  return function;
}

// Which file a handle has open: its volume and its index on the volume.
struct FileIdentity {
  std::wstring volume;
  uint64_t index = 0;
  std::vector<BYTE> id;  // the 128-bit id, where the system gives one
  bool operator==(const FileIdentity&) const = default;
};

// Asking the system for the volume's serial number is a round trip to
// another process under Wine and costly on Windows too; the volume's name
// from the final path tells volumes apart as well, and the index costs
// nothing. False where the system cannot name the file by its handle (before
// Vista, and under Wine for a path past about 260 characters).
bool ReadIdentityByName(HANDLE file, FileIdentity& identity) {
  const NtQueryInformationFileFn queryInformation = QueryInformationFunction();
  if (queryInformation == nullptr) return false;
  identity.volume = VolumePart(FinalPathOf(file, VOLUME_NAME_DOS));
  IO_STATUS_BLOCK status{};
  LARGE_INTEGER index{};
  if (identity.volume.empty() || queryInformation(file, &status, &index, sizeof(index), kFileInternalInformation) < 0) {
    return false;
  }
  identity.index = static_cast<uint64_t>(index.QuadPart);
  return true;
}

bool ReadIdentityBySerial(HANDLE file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(file, &information)) return false;
  identity.volume = std::to_wstring(information.dwVolumeSerialNumber);
  identity.index = uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow;
  return true;
}

// FILE_ID_INFO (Windows 8 and later): the volume's serial number and the
// file's 128-bit id, which ReFS needs (its 64-bit index need not be unique)
// and which volumes mounted on a folder, sharing their host's drive letter,
// still tell apart. Spelt out: the SDK declares it for Windows 8 only.
struct FileIdInformation {
  ULONGLONG volumeSerialNumber;
  BYTE fileId[16];
};
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);

bool ReadIdentityById(HANDLE file, FileIdentity& identity) {
  FileIdInformation information{};
  if (!FileSystem::GetInformationByHandle(file, kFileIdInfo, &information, sizeof(information))) return false;
  identity.volume = std::to_wstring(information.volumeSerialNumber);
  identity.id.assign(std::begin(information.fileId), std::end(information.fileId));
  return true;
}

// Both files named the same way: by the volume's serial number and the
// 128-bit id where the system has them for both, else by the volume's name
// and the 64-bit index, else by the serial number and that index.
bool SameFile(HANDLE a, HANDLE b) {
  FileIdentity first;
  FileIdentity second;
  if (ReadIdentityById(a, first) && ReadIdentityById(b, second)) return first == second;
  first = {};
  second = {};
  if (ReadIdentityByName(a, first) && ReadIdentityByName(b, second)) return first == second;
  return ReadIdentityBySerial(a, first) && ReadIdentityBySerial(b, second) && first == second;
}

}  // namespace

PinnedFile PinnedFile::Open(const std::wstring& path) {
  for (int attempt = 0;; ++attempt) {
    platform::UniqueFileHandle handle = FileSystem::OpenForRead(path);
    if (handle || ::GetLastError() != ERROR_SHARING_VIOLATION || attempt == kSharingRetries) {
      return PinnedFile(std::move(handle), path);
    }
    ::Sleep(kRetryPauseMilliseconds);
  }
}

std::wstring PinnedFile::FinalPath() const {
  return PlainFormWhereItFits(FinalPathOf(handle_.Get(), VOLUME_NAME_DOS));
}

std::wstring PinnedFile::LoadPath() const {
  if (!IsValid()) return {};
  std::wstring path = FinalPath();
  if (!path.empty()) return path;
  // Wine cannot name a file by its handle past about 260 characters, nor
  // can Windows before Vista: the path the file was opened by, which nobody
  // can re-point at the file itself while it is held, in the form that has
  // no length limit.
  if (path_.size() < MAX_PATH || !PathText::LongPathForm(path_, path)) path = path_;
  return path;
}

bool PinnedFile::IsNamedBy(const std::wstring& mappedName) const {
  if (mappedName.empty()) return false;
  std::wstring ours;
  if (StartsWith(mappedName, kDosDevicePrefix)) {
    // Only Wine answers in this form, and keeps the name the file had when
    // it was mapped; where Wine cannot name the held file, the path it was
    // opened by stands for it.
    const std::wstring dosPath = FinalPathOf(handle_.Get(), VOLUME_NAME_DOS);
    ours = kDosDevicePrefix + (dosPath.empty() ? path_ : WithoutLongPrefix(dosPath));
  } else {
    ours = FinalPathOf(handle_.Get(), VOLUME_NAME_NT);
  }
  // File names on Windows' own file systems ignore case; only A to Z are
  // folded here, so a name differing in other letters counts as another file.
  return ours.size() > std::size(kDosDevicePrefix) && platform::FoldAscii(ours) == platform::FoldAscii(mappedName);
}

bool PinnedFile::IsFileOf(HMODULE module) const {
  if (!IsValid() || module == nullptr) return false;
  // The path the module was loaded by, opened again: under Wine the system's
  // name for a mapped file does not follow renames, so only the file found
  // there now can be compared. No data access: only its identity is read,
  // whoever else has it open.
  const std::wstring modulePath = platform::ModuleFileName(module);
  if (modulePath.empty()) return false;
  const platform::UniqueFileHandle loaded = FileSystem::OpenFile(
      modulePath, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, 0);
  return loaded && SameFile(handle_.Get(), loaded.Get());
}
