// Case folding of the letters A to Z only, the same on every system and in
// every locale: names that stored files and named objects depend on must not
// change with the user's language.
#pragma once

#include <string>

namespace platform {

// The letters A to Z as a to z; every other code unit unchanged. Paths and
// digests that differ only so are the same to the verification cache.
wchar_t FoldAscii(wchar_t c);
std::wstring FoldAscii(const std::wstring& text);

}  // namespace platform
