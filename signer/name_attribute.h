// Cuts one attribute's value out of an X.500 name string as CertNameToStrW
// writes it with CERT_X500_NAME_STR, e.g. C=CN, O="A Co.,Ltd", CN="A Co.,Ltd".
#pragma once

#include <cstddef>

// Longest value that ExtractNameAttribute accepts, and how much of it it keeps.
constexpr size_t kNameAttributeMaxLength = 127;
constexpr size_t kNameAttributeKeptLength = 126;

// Copies the value of the first "`attribute`=" in `nameText` (case-sensitive,
// at the start of an attribute, never inside another one's value; surrounding
// double quotes removed, doubled quotes left as they are) into `value`, which must hold kNameAttributeKeptLength + 1
// units, and terminates it; a value of kNameAttributeMaxLength units keeps only
// its first kNameAttributeKeptLength. Returns false, with `value` untouched,
// when an argument is null, `attribute` has 8 or more characters, the key is
// absent, the value is unterminated or longer than kNameAttributeMaxLength.
bool ExtractNameAttribute(const wchar_t* nameText, const wchar_t* attribute, wchar_t* value);
