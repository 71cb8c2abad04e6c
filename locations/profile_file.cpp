#include "locations/profile_file.h"

#include <string_view>

#include "locations/file_system.h"
#include "platform/ascii_fold.h"
#include "platform/unique_handle.h"
#include "platform/win.h"

namespace {

// The product's profile files hold a few lines; a file this large is not one
// of them, and is not read whole into memory.
constexpr LONGLONG kLargestFile = 1 << 20;

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  // Shared as the system's own reader shares it, so that a writer at work
  // elsewhere does not make the value disappear.
  const platform::UniqueFileHandle file =
      FileSystem::OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL);
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > kLargestFile) return false;
  bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty() && !::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
    return false;
  }
  bytes.resize(read);
  return true;
}

std::wstring Decode(const std::string& bytes) {
  const auto byte = [&bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
    std::wstring text((bytes.size() - 2) / sizeof(wchar_t), L'\0');
    for (size_t i = 0; i < text.size(); ++i) {
      text[i] = static_cast<wchar_t>(byte(2 + 2 * i) | (byte(3 + 2 * i) << 8));
    }
    return text;
  }
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, text.data(), length);
  return text;
}

std::wstring_view Trimmed(std::wstring_view text) {
  constexpr std::wstring_view kBlanks = L" \t";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::wstring_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool SameName(std::wstring_view a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (platform::FoldAscii(a[i]) != platform::FoldAscii(b[i])) return false;
  }
  return true;
}

std::wstring_view WithoutQuotes(std::wstring_view value) {
  if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

bool ReadProfileString(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                       std::wstring& value) {
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return false;
  const std::wstring text = Decode(bytes);

  bool inSection = false;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring_view line = Trimmed(std::wstring_view(text).substr(start, end - start));
    start = end + 1;

    if (!line.empty() && line.front() == L'[') {
      // A header without its closing bracket opens no section at all.
      const size_t close = line.find(L']');
      inSection = close != std::wstring_view::npos && SameName(Trimmed(line.substr(1, close - 1)), section);
      continue;
    }
    const size_t equals = line.find(L'=');
    if (!inSection || equals == std::wstring_view::npos || !SameName(Trimmed(line.substr(0, equals)), key)) continue;
    value = WithoutQuotes(Trimmed(line.substr(equals + 1)));
    return true;
  }
  return false;
}
