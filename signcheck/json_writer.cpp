#include "signcheck/json_writer.h"

namespace {

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendUnicodeEscape(std::wstring& out, wchar_t c) {
  constexpr wchar_t kHex[] = L"0123456789abcdef";
  const unsigned value = static_cast<unsigned>(c);
  out += L"\\u";
  out += kHex[(value >> 12) & 0xF];
  out += kHex[(value >> 8) & 0xF];
  out += kHex[(value >> 4) & 0xF];
  out += kHex[value & 0xF];
}

}  // namespace

std::wstring JsonQuoted(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size() + 2);
  out += L'"';
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    switch (c) {
      case L'"': out += L"\\\""; continue;
      case L'\\': out += L"\\\\"; continue;
      case L'\b': out += L"\\b"; continue;
      case L'\f': out += L"\\f"; continue;
      case L'\n': out += L"\\n"; continue;
      case L'\r': out += L"\\r"; continue;
      case L'\t': out += L"\\t"; continue;
      default: break;
    }
    if (c < 0x20) {
      AppendUnicodeEscape(out, c);
    } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      out += c;
      out += text[++i];
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      AppendUnicodeEscape(out, c);
    } else {
      out += c;
    }
  }
  out += L'"';
  return out;
}

void JsonWriter::NewLine() {
  text_ += L'\n';
  text_.append(2 * hasValue_.size(), L' ');
}

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (hasValue_.empty()) return;
  if (hasValue_.back()) text_ += L',';
  hasValue_.back() = true;
  NewLine();
}

void JsonWriter::Open(wchar_t bracket) {
  BeforeValue();
  text_ += bracket;
  hasValue_.push_back(false);
}

void JsonWriter::Close(wchar_t bracket) {
  const bool hadValue = hasValue_.back();
  hasValue_.pop_back();
  if (hadValue) NewLine();
  text_ += bracket;
  if (hasValue_.empty()) text_ += L'\n';
}

void JsonWriter::BeginObject() { Open(L'{'); }
void JsonWriter::EndObject() { Close(L'}'); }
void JsonWriter::BeginArray() { Open(L'['); }
void JsonWriter::EndArray() { Close(L']'); }

void JsonWriter::Key(std::wstring_view name) {
  BeforeValue();
  text_ += JsonQuoted(name);
  text_ += L": ";
  afterKey_ = true;
}

void JsonWriter::String(std::wstring_view value) {
  BeforeValue();
  text_ += JsonQuoted(value);
}

void JsonWriter::Number(int64_t value) {
  BeforeValue();
  text_ += std::to_wstring(value);
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  text_ += value ? L"true" : L"false";
}

void JsonWriter::Null() {
  BeforeValue();
  text_ += L"null";
}

void JsonWriter::StringMember(std::wstring_view name, std::wstring_view value) {
  Key(name);
  String(value);
}

void JsonWriter::NumberMember(std::wstring_view name, int64_t value) {
  Key(name);
  Number(value);
}

void JsonWriter::BoolMember(std::wstring_view name, bool value) {
  Key(name);
  Bool(value);
}
