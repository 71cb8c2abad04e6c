// Builds one JSON document as text, indented two spaces a level. The caller
// nests Begin/End calls properly and puts a Key before each value inside an
// object; the writer adds commas, indentation and string escapes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class JsonWriter {
 public:
  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();

  void Key(std::wstring_view name);
  void String(std::wstring_view value);
  void Number(int64_t value);
  void Bool(bool value);
  void Null();

  // Key followed by the value, for the common members.
  void StringMember(std::wstring_view name, std::wstring_view value);
  void NumberMember(std::wstring_view name, int64_t value);
  void BoolMember(std::wstring_view name, bool value);

  // The document so far, with a line break once the outermost value is
  // closed.
  const std::wstring& Text() const { return text_; }

 private:
  void BeforeValue();
  void Open(wchar_t bracket);
  void Close(wchar_t bracket);
  void NewLine();

  std::wstring text_;
  // Per open container: whether it holds a value yet.
  std::vector<bool> hasValue_;
  bool afterKey_ = false;
};

// `text` as a JSON string literal with its quotes. Quotes, backslashes and
// control characters are escaped, and so are unpaired surrogates, which
// would otherwise be lost on the way to UTF-8; everything else is kept.
std::wstring JsonQuoted(std::wstring_view text);
