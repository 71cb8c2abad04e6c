// Reading one value of a profile ("INI") file at any path length. The
// system's own reader, GetPrivateProfileStringW, takes no path longer than
// MAX_PATH: Wine then reads nothing, and a version that cannot be read sends
// the launch to another folder.
#pragma once

#include <string>

#include "platform/win.h"

// The value of `key` in `section` of the profile file at `path`, as
// GetPrivateProfileStringW gives it: section and key names compared without
// regard to the case of A to Z, blanks around keys and values dropped, and
// one pair of surrounding double or single quotes removed. The file is
// UTF-16LE or UTF-8 when it starts with that byte-order mark, else text in
// the system's ANSI code page. The first such key in the first section of that
// name counts. False, with `value` untouched, when the file cannot be read,
// is larger than a profile file of a few lines could be, or holds no such
// key.
bool ReadProfileString(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                       std::wstring& value);
// The same through a handle the caller holds (read from its start).
bool ReadProfileString(HANDLE file, const std::wstring& section, const std::wstring& key, std::wstring& value);

// Sets `key` in `section` of the profile file open (for reading and writing)
// in `file` to `value`, as WritePrivateProfileStringW would, but at any path
// length and through the caller's handle: the first such key's value is
// replaced, else the key is added at the end of the first such section (the
// only one the system's reader looks at), else the section is added at the
// end. Everything else stays as it was, in the file's own encoding and with
// its byte-order mark. False when the file cannot be read or written, or the
// value has no form in the file's ANSI code page. (Not "WriteProfileString",
// which a Win32 macro turns into a system function that writes win.ini.)
bool WriteProfileValue(HANDLE file, const std::wstring& section, const std::wstring& key, const std::wstring& value);
