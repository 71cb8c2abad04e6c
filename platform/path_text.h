// Path text helpers. Both "\" and "/" count as separators; nothing here
// touches the file system except FullPath and DirectoryOf, which ask the
// system to resolve a relative path.
#pragma once

#include <cstddef>
#include <string>

namespace PathText {

enum NormalizeOptions : unsigned {
  StripQuotes = 1,           // one pair of surrounding "…", then one of '…'
  OneTrailingSeparator = 2,  // exactly one trailing backslash (none on empty text)
  NoTrailingSeparator = 4,   // no trailing separator
};

bool IsSeparator(wchar_t c);

// Applies the options to `path` in place, in the order listed above.
void Normalize(std::wstring& path, unsigned options);

// `name` under `directory`; an absolute `name` (UNC, or drive with a
// separator) is returned as it is, and an empty directory leaves `name` alone.
std::wstring Join(const std::wstring& directory, const std::wstring& name);

// The full path of `path` and the index where its file part starts (the full
// path's length when it has none). False, with the outputs untouched, when the
// system cannot resolve it.
bool FullPath(const std::wstring& path, std::wstring& fullPath, size_t& filePartIndex);

// The folder part of the full path, ending with its separator. False, with
// `directory` untouched, when the path cannot be resolved.
bool DirectoryOf(const std::wstring& path, std::wstring& directory);

// The folder part of `path` as written, up to and with its last separator;
// empty when it has none. Nothing is resolved.
std::wstring FolderPart(const std::wstring& path);
// What follows that folder part: the file's name.
std::wstring NamePart(const std::wstring& path);

// The extended-length form, which no MAX_PATH limit applies to: "\\?\" +
// path for a drive-letter path ("X:" followed by something), "\\?\UNC\" +
// the rest for a share's path ("\\server\share..."). Other paths (relative,
// or already "\\?\" or "\\.\") are copied unchanged and the result is
// false. Separators are not changed: a "/" works in the plain form only.
bool LongPathForm(const std::wstring& path, std::wstring& longPath);

// Each code unit through towlower of the C locale.
std::wstring ToLower(const std::wstring& text);

// Index of the last code unit of `text` that occurs in `characters`, or -1
// when there is none or either text is empty.
std::ptrdiff_t FindLastOf(const std::wstring& text, const std::wstring& characters);

}  // namespace PathText
