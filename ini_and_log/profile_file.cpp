#include "ini_and_log/profile_file.h"

#include <string_view>

#include "platform/ascii_fold.h"
#include "platform/file_system.h"
#include "platform/unique_handle.h"
#include "platform/win.h"

namespace {

// The product's profile files hold a few lines; a file this large is not one
// of them, and is not read whole into memory.
constexpr LONGLONG kLargestFile = 1 << 20;

bool ReadWholeFile(HANDLE file, std::string& bytes) {
  LARGE_INTEGER size{};
  LARGE_INTEGER start{};
  if (!::GetFileSizeEx(file, &size) || size.QuadPart > kLargestFile ||
      !::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
    return false;
  }
  bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty() && !::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
    return false;
  }
  bytes.resize(read);
  return true;
}

// The encodings the system's reader tells by a byte-order mark (many
// editors write UTF-8 with one), else the system's ANSI code page.
enum class Encoding { Ansi, Utf16Le, Utf8 };

constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

Encoding EncodingOf(const std::string& bytes) {
  if (bytes.starts_with(kUtf16LeMark)) return Encoding::Utf16Le;
  if (bytes.starts_with(kUtf8Mark)) return Encoding::Utf8;
  return Encoding::Ansi;
}

std::wstring FromCodePage(UINT codePage, std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  const int length = ::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(codePage, 0, bytes.data(), size, text.data(), length);
  return text;
}

std::wstring Decode(const std::string& bytes) {
  const auto byte = [&bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  switch (EncodingOf(bytes)) {
    case Encoding::Utf16Le: {
      std::wstring text((bytes.size() - kUtf16LeMark.size()) / sizeof(wchar_t), L'\0');
      for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<wchar_t>(byte(2 + 2 * i) | (byte(3 + 2 * i) << 8));
      }
      return text;
    }
    case Encoding::Utf8: return FromCodePage(CP_UTF8, std::string_view(bytes).substr(kUtf8Mark.size()));
    case Encoding::Ansi: break;
  }
  return FromCodePage(CP_ACP, bytes);
}

// `text` in the file's own encoding, with its byte-order mark. False when a
// character has no ANSI form in an ANSI file, which the system's writer
// would have replaced with another.
bool Encode(const std::wstring& text, Encoding encoding, std::string& bytes) {
  if (encoding == Encoding::Utf16Le) {
    bytes = kUtf16LeMark;
    for (wchar_t c : text) {
      bytes.push_back(static_cast<char>(c & 0xFF));
      bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    return true;
  }
  const bool utf8 = encoding == Encoding::Utf8;
  bytes = utf8 ? kUtf8Mark : std::string_view();
  if (text.empty()) return true;
  const UINT codePage = utf8 ? CP_UTF8 : CP_ACP;
  BOOL lossy = FALSE;
  const int size = static_cast<int>(text.size());
  // Code page 65001 takes no "lossy" flag.
  const int length = ::WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, utf8 ? nullptr : &lossy);
  if (length <= 0 || lossy) return false;
  const size_t mark = bytes.size();
  bytes.resize(mark + static_cast<size_t>(length));
  return ::WideCharToMultiByte(codePage, 0, text.data(), size, bytes.data() + mark, length, nullptr, nullptr) == length;
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

// Where `key` of `section` stands in `text`: the value's start and end on the
// first such line, or, when there is none, the place after the section's
// last line (npos when there is no such section). As with the system's
// reader, only the first section of that name counts.
struct KeyPlace {
  bool found = false;
  size_t valueStart = std::wstring::npos;
  size_t valueEnd = std::wstring::npos;
  size_t sectionEnd = std::wstring::npos;
};

KeyPlace FindKey(const std::wstring& text, const std::wstring& section, const std::wstring& key) {
  KeyPlace place;
  bool inSection = false;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring_view raw = std::wstring_view(text).substr(start, end - start);
    const std::wstring_view line = Trimmed(raw);
    const size_t lineStart = start;
    start = end + 1;
    if (end < text.size() && text[end] == L'\r' && start < text.size() && text[start] == L'\n') ++start;
    start = start < text.size() ? start : text.size();

    if (!line.empty() && line.front() == L'[') {
      if (inSection) break;
      // A header without its closing bracket opens no section at all.
      const size_t close = line.find(L']');
      inSection = close != std::wstring_view::npos && SameName(Trimmed(line.substr(1, close - 1)), section);
      if (inSection) place.sectionEnd = start;
      continue;
    }
    if (!inSection) continue;
    if (!line.empty()) place.sectionEnd = start;
    const size_t equals = raw.find(L'=');
    if (equals == std::wstring_view::npos || !SameName(Trimmed(raw.substr(0, equals)), key)) continue;
    place.found = true;
    place.valueStart = lineStart + equals + 1;
    place.valueEnd = end;
    return place;
  }
  return place;
}

}  // namespace

bool ReadProfileString(HANDLE file, const std::wstring& section, const std::wstring& key, std::wstring& value) {
  std::string bytes;
  if (!ReadWholeFile(file, bytes)) return false;
  const std::wstring text = Decode(bytes);
  const KeyPlace place = FindKey(text, section, key);
  if (!place.found) return false;
  value = WithoutQuotes(Trimmed(std::wstring_view(text).substr(place.valueStart, place.valueEnd - place.valueStart)));
  return true;
}

bool ReadProfileString(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                       std::wstring& value) {
  // Shared as the system's own reader shares it, so that a writer at work
  // elsewhere does not make the value disappear.
  const platform::UniqueFileHandle file =
      FileSystem::OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL);
  return file && ReadProfileString(file.Get(), section, key, value);
}

bool WriteProfileValue(HANDLE file, const std::wstring& section, const std::wstring& key, const std::wstring& value) {
  std::string bytes;
  if (!ReadWholeFile(file, bytes)) return false;
  const Encoding encoding = EncodingOf(bytes);
  std::wstring text = Decode(bytes);
  const KeyPlace place = FindKey(text, section, key);
  if (place.found) {
    text.replace(place.valueStart, place.valueEnd - place.valueStart, value);
  } else {
    std::wstring entry = key + L"=" + value + L"\r\n";
    if (place.sectionEnd != std::wstring::npos) {
      // After a last line that has no line break of its own.
      if (place.sectionEnd > 0 && text[place.sectionEnd - 1] != L'\n') entry = L"\r\n" + entry;
      text.insert(place.sectionEnd, entry);
    } else {
      if (!text.empty() && text.back() != L'\n') text += L"\r\n";
      text += L"[" + section + L"]\r\n" + entry;
    }
  }
  std::string encoded;
  if (!Encode(text, encoding, encoded)) return false;
  LARGE_INTEGER start{};
  DWORD written = 0;
  return ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) &&
         ::WriteFile(file, encoded.data(), static_cast<DWORD>(encoded.size()), &written, nullptr) &&
         written == encoded.size() && ::SetEndOfFile(file);
}
