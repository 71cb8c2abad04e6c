#include "signcheck/cache_record_state.h"

#include <cwchar>
#include <iterator>

#include "cache/file_stamp.h"
#include "platform/file_system.h"

RecordState CurrentState(const CacheEntry& entry) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!FileSystem::GetAttributesEx(entry.path, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return RecordState::Missing;
  }
  return StampOf(data) == entry.Stamp() ? RecordState::Fresh : RecordState::Changed;
}

const wchar_t* RecordStateName(RecordState state) {
  switch (state) {
    case RecordState::Fresh: return L"fresh";
    case RecordState::Changed: return L"changed";
    case RecordState::Missing: return L"missing";
  }
  return L"missing";
}

std::wstring IsoUtcTime(uint64_t fileTime) {
  FILETIME time{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
  SYSTEMTIME utc{};
  // Fails for values past the year 30827, which a stored record may hold.
  if (!::FileTimeToSystemTime(&time, &utc)) return {};
  wchar_t text[32] = {};
  std::swprintf(text, std::size(text), L"%04u-%02u-%02uT%02u:%02u:%02uZ", unsigned{utc.wYear}, unsigned{utc.wMonth},
                unsigned{utc.wDay}, unsigned{utc.wHour}, unsigned{utc.wMinute}, unsigned{utc.wSecond});
  return text;
}
