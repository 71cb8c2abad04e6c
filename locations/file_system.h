// File-system calls that retry once with the extended-length ("\\?\") form of
// a drive-letter path when the plain call fails. Nothing is reported; the
// last error is left as the last system call set it.
#pragma once

#include <string>

#include "platform/unique_handle.h"
#include "platform/win.h"

namespace FileSystem {

// Attribute word, or INVALID_FILE_ATTRIBUTES.
DWORD GetAttributes(const std::wstring& path);

// GetFileAttributesExW with GetFileExInfoStandard.
bool GetAttributesEx(const std::wstring& path, WIN32_FILE_ATTRIBUTE_DATA& data);

// SetFileAttributesW without the bits it refuses (directory, device, sparse,
// reparse point, compressed, encrypted).
bool SetAttributes(const std::wstring& path, DWORD attributes);

// CreateFileW without security attributes or template.
platform::UniqueFileHandle OpenFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                                    DWORD flags);

// Opens an existing file for reading, sharing it for reading only.
platform::UniqueFileHandle OpenForRead(const std::wstring& path);

// Something is at the path / a file (not a directory) is / a directory is.
// Surrounding quotes are ignored; Exists and IsFile also accept a trailing
// separator after a file's name.
bool Exists(const std::wstring& path);
bool IsFile(const std::wstring& path);
bool IsDirectory(const std::wstring& path);

// Creates the folder and any missing parents; true when it exists afterwards.
bool CreateDirectoryTree(const std::wstring& path);

// Deletes a file, clearing read-only and similar attributes when they stand in
// the way. On failure the attributes are put back.
bool RemoveFile(const std::wstring& path);

}  // namespace FileSystem
