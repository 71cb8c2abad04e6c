#include "signcheck/cache_file_report.h"

#include "cache/cache_constants.h"
#include "cache/cache_file.h"
#include "platform/error_text.h"
#include "platform/file_system.h"

CacheFileReport InspectCacheFile(const std::wstring& path) {
  CacheFileReport report;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!FileSystem::GetAttributesEx(path, data)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      report.reason = L"there is no cache file at " + path;
      return report;
    }
    report.status = CacheFileStatus::Unusable;
    report.reason = L"cannot examine " + path + L": " + platform::GetSystemErrorText(error);
    return report;
  }
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    report.status = CacheFileStatus::Unusable;
    report.reason = path + L" is a folder";
    return report;
  }

  bool corrupt = false;
  if (ReadCacheFile(path, report.entries, corrupt)) {
    report.status = CacheFileStatus::Readable;
    return report;
  }
  report.entries.clear();
  if (corrupt) {
    report.status = CacheFileStatus::Corrupt;
    report.reason = L"not a valid cache file: its cipher frame does not decipher into whole records, or a record "
                    L"lacks the record magic; a launcher deletes it at its next read";
    return report;
  }
  report.status = CacheFileStatus::Unusable;
  const uint64_t size = uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
  if (size == 0) {
    report.reason = L"the file is empty";
  } else if (size >= cache_constants::kReadLimit) {
    report.reason = L"the file is 5 MiB or larger, which launchers never read";
  } else {
    ::SetLastError(ERROR_SUCCESS);
    const platform::UniqueFileHandle file = FileSystem::OpenForRead(path);
    const std::wstring why = file ? std::wstring() : platform::GetLastErrorText();
    report.reason = L"the file cannot be read: " + (why.empty() ? std::wstring(L"it could not be read") : why);
  }
  return report;
}

const wchar_t* CacheFileStatusName(CacheFileStatus status) {
  switch (status) {
    case CacheFileStatus::Readable: return L"readable";
    case CacheFileStatus::Corrupt: return L"corrupt";
    case CacheFileStatus::Unusable: return L"unusable";
    case CacheFileStatus::Absent: return L"absent";
  }
  return L"unusable";
}
