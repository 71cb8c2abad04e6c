#include "ini_and_log/bounded_log.h"

#include <algorithm>

#include "platform/file_system.h"

namespace bounded_log {
namespace {

constexpr DWORD kSharingRetryPause = 10;
constexpr int kSharingRetries = 20;  // a fifth of a second in all

// Never through a link: the log would be written wherever it led.
platform::UniqueFileHandle OpenLog(const std::wstring& path, DWORD access, DWORD disposition) {
  for (int attempt = 0;; ++attempt) {
    platform::UniqueFileHandle file =
        FileSystem::OpenFileRefusingLinks(path, access, 0, disposition, FILE_ATTRIBUTE_NORMAL);
    if (file || ::GetLastError() != ERROR_SHARING_VIOLATION || attempt == kSharingRetries) return file;
    ::Sleep(kSharingRetryPause);
  }
}

bool ReadAt(HANDLE file, uint64_t offset, std::string& bytes) {
  LARGE_INTEGER position{};
  position.QuadPart = static_cast<LONGLONG>(offset);
  DWORD read = 0;
  if (!::SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return false;
  if (bytes.empty()) return true;
  return ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size();
}

// The last `limit` bytes of the file, from the first line start among them
// (or from the file's start).
bool ReadTail(HANDLE file, size_t limit, std::string& tail) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0) return false;
  const uint64_t length = static_cast<uint64_t>(size.QuadPart);
  const uint64_t start = length > limit ? length - limit : 0;
  tail.assign(static_cast<size_t>(length - start), '\0');
  if (!ReadAt(file, start, tail)) return false;
  if (start > 0) {
    const size_t lineStart = tail.find('\n');
    tail.erase(0, lineStart == std::string::npos ? tail.size() : lineStart + 1);
  }
  return true;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

}  // namespace

bool Append(const std::wstring& path, const std::string& line, size_t limit) {
  const platform::UniqueFileHandle file = OpenLog(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.Get(), &size)) return false;
  if (static_cast<uint64_t>(size.QuadPart) + line.size() <= limit) {
    LARGE_INTEGER end{};
    return ::SetFilePointerEx(file.Get(), end, nullptr, FILE_END) && WriteAll(file.Get(), line);
  }
  std::string kept;
  if (!ReadTail(file.Get(), limit / 2, kept)) return false;
  kept += line;
  // A single line longer than the log keeps only its end.
  if (kept.size() > limit) kept.erase(0, kept.size() - limit);
  LARGE_INTEGER start{};
  return ::SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN) && WriteAll(file.Get(), kept) &&
         ::SetEndOfFile(file.Get());
}

std::vector<std::string> LastLines(const std::wstring& path, size_t count, size_t limit) {
  const platform::UniqueFileHandle file = OpenLog(path, GENERIC_READ, OPEN_EXISTING);
  std::string tail;
  if (!file || !ReadTail(file.Get(), limit, tail)) return {};
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < tail.size()) {
    size_t end = tail.find('\n', start);
    if (end == std::string::npos) end = tail.size();
    std::string line = tail.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
  return lines;
}

}  // namespace bounded_log
