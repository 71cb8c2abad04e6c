#include "signer/name_attribute.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace {

constexpr size_t kMaxAttributeLength = 7;

// Where the first attribute named by `key` ("CN=") starts, or npos.
// Attributes start the text and follow a ',' or '+' (multi-valued RDN)
// outside double quotes, after any spaces. Matching only there keeps a subject
// such as O="x CN=Allowed Name,y", CN=Other from naming "Allowed Name".
size_t FindAttribute(std::wstring_view text, std::wstring_view key) {
  bool atStart = true;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (atStart && c == L' ') continue;
    if (atStart && text.substr(i).starts_with(key)) return i;
    atStart = false;
    if (c == L'"') {
      quoted = !quoted;
    } else if (!quoted && (c == L',' || c == L'+')) {
      atStart = true;
    }
  }
  return std::wstring_view::npos;
}

// The value's bounds [begin, end) in `text`, starting at `begin`; false when a
// quoted value is cut off.
bool FindValueEnd(std::wstring_view text, size_t& begin, size_t& end) {
  if (text[begin] != L'"') {
    end = std::min(text.find(L',', begin), text.size());
    return true;
  }
  ++begin;
  if (begin >= text.size()) return false;
  end = text.find(L'"', begin);
  return end != std::wstring_view::npos;
}

}  // namespace

bool ExtractNameAttribute(const wchar_t* nameText, const wchar_t* attribute, wchar_t* value) {
  if (nameText == nullptr || attribute == nullptr || value == nullptr) return false;
  const std::wstring_view name(attribute);
  if (name.size() > kMaxAttributeLength) return false;

  const std::wstring_view text(nameText);
  const std::wstring key = std::wstring(name) + L'=';
  const size_t keyAt = FindAttribute(text, key);
  if (keyAt == std::wstring_view::npos) return false;
  size_t begin = keyAt + key.size();
  size_t end = 0;
  if (begin >= text.size() || !FindValueEnd(text, begin, end)) return false;
  if (end - begin > kNameAttributeMaxLength) return false;

  const size_t kept = std::min(end - begin, kNameAttributeKeptLength);
  std::copy_n(text.data() + begin, kept, value);
  value[kept] = L'\0';
  return true;
}
