#include "tests/support/temp_folder.h"

#include <atomic>
#include <cstring>

#include "platform/file_system.h"
#include "platform/path_text.h"
#include "platform/unique_handle.h"
#include "platform/win.h"

namespace {

std::wstring UniqueFolderName() {
  static std::atomic<unsigned> counter{0};
  return L"varo-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + L"-" +
         std::to_wstring(::GetTickCount64());
}

}  // namespace

TempFolder::TempFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH, temp);
  path_ = std::wstring(temp) + UniqueFolderName() + L"\\";
  FileSystem::CreateDirectoryTree(path_);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::wstring TempFolder::WriteFile(const std::wstring& name, const std::vector<uint8_t>& bytes) const {
  const std::wstring full = path_ + name;
  const size_t slash = full.find_last_of(L"\\/");
  FileSystem::CreateDirectoryTree(full.substr(0, slash));
  platform::UniqueFileHandle file = FileSystem::OpenFile(full, GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  DWORD written = 0;
  if (file && !bytes.empty()) ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return full;
}

std::wstring TempFolder::WriteFile(const std::wstring& name, const std::string& text) const {
  return WriteFile(name, std::vector<uint8_t>(text.begin(), text.end()));
}

std::wstring PathOfLength(const std::wstring& base, size_t length) {
  constexpr size_t kLongestLevel = 120;
  std::wstring path = base;
  PathText::Normalize(path, PathText::NoTrailingSeparator);
  for (wchar_t fill = L'a'; path.size() < length; ++fill) {
    const size_t remaining = length - path.size();
    size_t level = remaining - 1 < kLongestLevel ? remaining - 1 : kLongestLevel;
    // Never leave a single unit: a separator alone is no level.
    if (remaining - 1 - level == 1) --level;
    path += L'\\' + std::wstring(level, fill);
  }
  return path;
}

std::vector<uint8_t> ReadWholeFile(const std::wstring& path) {
  platform::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::vector<uint8_t> bytes;
  if (!file) return bytes;
  LARGE_INTEGER size{};
  ::GetFileSizeEx(file.Get(), &size);
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty()) ::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  return bytes;
}

std::wstring ReadWholeWideFile(const std::wstring& path) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
  if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
  return text;
}

void RemoveTree(const std::wstring& path) {
  // The long form, so that trees deeper than MAX_PATH go too.
  std::wstring folder;
  PathText::LongPathForm(path, folder);
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  if (folder.empty()) return;
  WIN32_FIND_DATAW found{};
  platform::UniqueFindHandle search(::FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (search) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = folder + L"\\" + name;
      ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        ::DeleteFileW(child.c_str());
      }
    } while (::FindNextFileW(search.Get(), &found));
  }
  ::RemoveDirectoryW(folder.c_str());
}
