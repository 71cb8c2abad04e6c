// A small JSON reader for tests that parse a program's --json output back.
// Strict enough to reject what a careless writer gets wrong: unescaped
// control characters, bad escapes, trailing commas and trailing text.
#pragma once

#include <string>
#include <vector>

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object };

  Kind kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::wstring text;
  std::vector<JsonValue> items;                              // Array
  // Object, in document order: the i-th name goes with the i-th value. (A
  // vector of pairs would need JsonValue complete here.)
  std::vector<std::wstring> memberNames;
  std::vector<JsonValue> memberValues;

  // The member named `key`, or a Null value when there is none.
  const JsonValue& operator[](const std::wstring& key) const;
  bool Has(const std::wstring& key) const;
};

// Parses a whole document (surrounding white space allowed). False, with the
// offset of the fault in `errorOffset`, when it is not valid JSON.
bool ParseJson(const std::wstring& document, JsonValue& value, size_t& errorOffset);
