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

// The last error of the calls below that refuse a link.
inline constexpr DWORD kLinkRefusedError = ERROR_CANT_ACCESS_FILE;

// Opens `path` like OpenFile, but never what a link at `path` leads to: the
// file itself is opened (FILE_FLAG_OPEN_REPARSE_POINT) and must be a plain
// file. An invalid handle, with kLinkRefusedError, when it is a link or when
// that cannot be told: a reparse point, a file with more than one name (a
// hard link), or a file that the system resolved
// to another path than `path` itself (Wine follows the Linux file system's
// links whatever the flags). `disposition` is OPEN_EXISTING, OPEN_ALWAYS or
// CREATE_NEW; a file is only ever created where nothing is, never at a
// dangling link's target.
platform::UniqueFileHandle OpenFileRefusingLinks(const std::wstring& path, DWORD access, DWORD share,
                                                 DWORD disposition, DWORD flags);

// GetFileInformationByHandleEx and SetFileInformationByHandle, which 64-bit
// Windows XP and Server 2003 lack. There the query fails with
// ERROR_CALL_NOT_IMPLEMENTED, and the change falls back to the native call
// for FileBasicInfo and FileDispositionInfo (any other kind fails the same
// way).
bool GetInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size);
bool SetInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size);

// Marks the file that `file` has open (with DELETE access) for deletion when
// the handle is closed, so nobody can slip a new file in between.
bool DeleteOnClose(HANDLE file);

// Makes the functions above act as on a system without the newer
// by-handle functions (true), or as the system is (false).
void UseOlderSystemCallsForTesting(bool older);

// Something is at the path / a file (not a directory) is / a directory is.
// Surrounding quotes are ignored; Exists and IsFile also accept a trailing
// separator after a file's name.
bool Exists(const std::wstring& path);
bool IsFile(const std::wstring& path);
bool IsDirectory(const std::wstring& path);

// Creates the folder and any missing parents; true when it exists afterwards.
bool CreateDirectoryTree(const std::wstring& path);

// Deletes a file, clearing its read-only attribute when that stands in the
// way; on failure the attributes are put back. A link is never deleted, nor
// what it leads to (kLinkRefusedError).
bool RemoveFile(const std::wstring& path);

}  // namespace FileSystem
