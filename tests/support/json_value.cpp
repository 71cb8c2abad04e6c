#include "tests/support/json_value.h"

#include <cwctype>
#include <string>

namespace {

class Parser {
 public:
  explicit Parser(const std::wstring& text) : text_(text) {}

  bool Document(JsonValue& value) {
    SkipSpace();
    if (!Value(value)) return false;
    SkipSpace();
    return position_ == text_.size();
  }

  size_t Position() const { return position_; }

 private:
  void SkipSpace() {
    while (position_ < text_.size() && (text_[position_] == L' ' || text_[position_] == L'\t' ||
                                        text_[position_] == L'\n' || text_[position_] == L'\r')) {
      ++position_;
    }
  }

  bool Literal(const wchar_t* word) {
    const std::wstring expected(word);
    if (text_.compare(position_, expected.size(), expected) != 0) return false;
    position_ += expected.size();
    return true;
  }

  bool Value(JsonValue& value) {
    if (position_ >= text_.size()) return false;
    switch (text_[position_]) {
      case L'{': return Object(value);
      case L'[': return Array(value);
      case L'"': value.kind = JsonValue::Kind::String; return String(value.text);
      case L't': value.kind = JsonValue::Kind::Bool; value.boolean = true; return Literal(L"true");
      case L'f': value.kind = JsonValue::Kind::Bool; value.boolean = false; return Literal(L"false");
      case L'n': value.kind = JsonValue::Kind::Null; return Literal(L"null");
      default: return Number(value);
    }
  }

  bool Number(JsonValue& value) {
    const size_t start = position_;
    if (position_ < text_.size() && text_[position_] == L'-') ++position_;
    const size_t digits = position_;
    while (position_ < text_.size() && iswdigit(text_[position_])) ++position_;
    if (position_ == digits) return false;
    value.kind = JsonValue::Kind::Number;
    value.number = std::stod(text_.substr(start, position_ - start));
    return true;
  }

  static int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
  }

  bool String(std::wstring& out) {
    ++position_;  // the opening quote
    out.clear();
    while (position_ < text_.size()) {
      const wchar_t c = text_[position_++];
      if (c == L'"') return true;
      if (c < 0x20) return false;
      if (c != L'\\') {
        out += c;
        continue;
      }
      if (position_ >= text_.size()) return false;
      const wchar_t escape = text_[position_++];
      switch (escape) {
        case L'"': out += L'"'; break;
        case L'\\': out += L'\\'; break;
        case L'/': out += L'/'; break;
        case L'b': out += L'\b'; break;
        case L'f': out += L'\f'; break;
        case L'n': out += L'\n'; break;
        case L'r': out += L'\r'; break;
        case L't': out += L'\t'; break;
        case L'u': {
          if (position_ + 4 > text_.size()) return false;
          unsigned unit = 0;
          for (int i = 0; i < 4; ++i) {
            const int digit = HexDigit(text_[position_++]);
            if (digit < 0) return false;
            unit = unit << 4 | static_cast<unsigned>(digit);
          }
          out += static_cast<wchar_t>(unit);
          break;
        }
        default: return false;
      }
    }
    return false;
  }

  bool Array(JsonValue& value) {
    value.kind = JsonValue::Kind::Array;
    ++position_;
    SkipSpace();
    if (position_ < text_.size() && text_[position_] == L']') return ++position_, true;
    for (;;) {
      SkipSpace();
      value.items.emplace_back();
      if (!Value(value.items.back())) return false;
      SkipSpace();
      if (position_ >= text_.size()) return false;
      const wchar_t c = text_[position_++];
      if (c == L']') return true;
      if (c != L',') return false;
    }
  }

  bool Object(JsonValue& value) {
    value.kind = JsonValue::Kind::Object;
    ++position_;
    SkipSpace();
    if (position_ < text_.size() && text_[position_] == L'}') return ++position_, true;
    for (;;) {
      SkipSpace();
      if (position_ >= text_.size() || text_[position_] != L'"') return false;
      value.memberNames.emplace_back();
      value.memberValues.emplace_back();
      if (!String(value.memberNames.back())) return false;
      SkipSpace();
      if (position_ >= text_.size() || text_[position_++] != L':') return false;
      SkipSpace();
      if (!Value(value.memberValues.back())) return false;
      SkipSpace();
      if (position_ >= text_.size()) return false;
      const wchar_t c = text_[position_++];
      if (c == L'}') return true;
      if (c != L',') return false;
    }
  }

  const std::wstring& text_;
  size_t position_ = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::wstring& key) const {
  static const JsonValue kNull;
  for (size_t i = 0; i < memberNames.size(); ++i) {
    if (memberNames[i] == key) return memberValues[i];
  }
  return kNull;
}

bool JsonValue::Has(const std::wstring& key) const {
  for (const std::wstring& name : memberNames) {
    if (name == key) return true;
  }
  return false;
}

bool ParseJson(const std::wstring& document, JsonValue& value, size_t& errorOffset) {
  Parser parser(document);
  value = JsonValue{};
  if (parser.Document(value)) return true;
  errorOffset = parser.Position();
  return false;
}
