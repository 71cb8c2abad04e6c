// The digest that the verification cache ties a verdict to.
#pragma once

#include <string>

// Sets `digestText` to the MD5 of the file's whole content as 32 upper-case
// hexadecimal digits. False, with `digestText` untouched, when the path is
// empty or the file is missing, empty, locked against reading or cannot be
// read to its end.
bool GetFileMD5(const std::wstring& path, std::wstring& digestText);
