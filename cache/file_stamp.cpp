#include "cache/file_stamp.h"

#include "platform/file_system.h"

namespace {

uint64_t Combine(DWORD high, DWORD low) { return uint64_t{high} << 32 | low; }
uint64_t Combine(const FILETIME& time) { return Combine(time.dwHighDateTime, time.dwLowDateTime); }

}  // namespace

FileStamp StampOf(const WIN32_FILE_ATTRIBUTE_DATA& data) {
  return {Combine(data.nFileSizeHigh, data.nFileSizeLow), Combine(data.ftLastWriteTime),
          Combine(data.ftCreationTime)};
}

bool ReadFileStamp(const std::wstring& path, FileStamp& stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!FileSystem::GetAttributesEx(path, data)) return false;
  stamp = StampOf(data);
  return true;
}

bool ReadFileStamp(HANDLE file, FileStamp& stamp) {
  // Size and times only: GetFileInformationByHandle also asks for the
  // volume's serial number, a round trip to another process under Wine.
  FILE_BASIC_INFO basic{};
  FILE_STANDARD_INFO standard{};
  if (FileSystem::GetInformationByHandle(file, FileBasicInfo, &basic, sizeof(basic)) &&
      FileSystem::GetInformationByHandle(file, FileStandardInfo, &standard, sizeof(standard))) {
    stamp = {static_cast<uint64_t>(standard.EndOfFile.QuadPart), static_cast<uint64_t>(basic.LastWriteTime.QuadPart),
             static_cast<uint64_t>(basic.CreationTime.QuadPart)};
    return true;
  }
  // Before Vista there is only the older query.
  BY_HANDLE_FILE_INFORMATION data{};
  if (!::GetFileInformationByHandle(file, &data)) return false;
  stamp = {Combine(data.nFileSizeHigh, data.nFileSizeLow), Combine(data.ftLastWriteTime),
           Combine(data.ftCreationTime)};
  return true;
}
