#include "tests/fuzz/in_memory_windows.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <set>

#include "platform/win.h"

namespace {

struct Node {
  bool directory = false;
  std::vector<uint8_t> bytes;
  uint64_t creationTime = 0;
  uint64_t lastWriteTime = 0;
  bool readDenied = false;
};

struct Object {
  bool isMutex = false;
  std::wstring key;  // file: folded path; mutex: name
  DWORD access = 0;
  uint64_t position = 0;
  bool deleteOnClose = false;
  bool owned = false;  // mutex owned through this handle
};

struct State {
  std::map<std::wstring, Node> nodes;
  std::set<Object*> handles;
  DWORD lastError = 0;
  uint64_t clock = 0;
  uint64_t writes = 0;
  uint64_t waited = 0;
  unsigned busyOpens = 0;
  bool failNextRead = false;
  uint64_t capacity = std::numeric_limits<uint64_t>::max();
  in_memory_windows::LockState lock = in_memory_windows::LockState::kFree;
  std::set<std::wstring> ownedMutexes;
};

State& S() {
  static State state;
  return state;
}

// Windows paths ignore case; A to Z is enough for the names used here.
std::wstring Key(LPCWSTR path) {
  std::wstring key = path;
  for (wchar_t& c : key) {
    if (c == L'/') c = L'\\';
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
  }
  while (key.size() > 2 && key.back() == L'\\') key.pop_back();
  return key;
}

std::wstring ParentKey(const std::wstring& key) {
  const size_t separator = key.find_last_of(L'\\');
  return separator == std::wstring::npos ? std::wstring() : key.substr(0, separator);
}

BOOL Fail(DWORD error) {
  S().lastError = error;
  return FALSE;
}

Object* FileObject(HANDLE handle) {
  auto* object = static_cast<Object*>(handle);
  if (!S().handles.count(object) || object->isMutex) return nullptr;
  return object;
}

bool IsOpen(const std::wstring& key) {
  return std::any_of(S().handles.begin(), S().handles.end(),
                     [&key](const Object* o) { return !o->isMutex && o->key == key; });
}

FILETIME Split(uint64_t value) { return {static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)}; }

uint64_t UsedSpace() {
  uint64_t used = 0;
  for (const auto& [key, node] : S().nodes) used += node.bytes.size();
  return used;
}

// How far `node` may grow to `wanted` bytes with the room there is.
uint64_t RoomFor(const Node& node, uint64_t wanted) {
  if (wanted <= node.bytes.size()) return wanted;
  const uint64_t used = UsedSpace();
  const uint64_t free = S().capacity > used ? S().capacity - used : 0;
  return std::min(wanted, node.bytes.size() + free);
}

}  // namespace

namespace in_memory_windows {

void Reset() {
  for (Object* object : S().handles) delete object;
  S() = State{};
  S().nodes[L"c:"].directory = true;
  S().nodes[L"c:\\app"].directory = true;
}

void PutFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  Node& node = S().nodes[Key(path.c_str())];
  node.bytes = bytes;
  node.lastWriteTime = ++S().writes;
}

bool GetFile(const std::wstring& path, std::vector<uint8_t>& bytes) {
  const auto found = S().nodes.find(Key(path.c_str()));
  if (found == S().nodes.end() || found->second.directory) return false;
  bytes = found->second.bytes;
  return true;
}

bool FileExists(const std::wstring& path) {
  std::vector<uint8_t> bytes;
  return GetFile(path, bytes);
}

void SetBusyOpens(unsigned count) { S().busyOpens = count; }
void FailNextRead() { S().failNextRead = true; }
void SetFreeSpace(uint64_t bytes) { S().capacity = UsedSpace() + bytes; }
void DenyReading(const std::wstring& path, bool deny) {
  const auto found = S().nodes.find(Key(path.c_str()));
  if (found != S().nodes.end()) found->second.readDenied = deny;
}
void SetLockState(LockState state) { S().lock = state; }
void ClearFaults() {
  S().busyOpens = 0;
  S().failNextRead = false;
  S().capacity = std::numeric_limits<uint64_t>::max();
  S().lock = LockState::kFree;
  for (auto& [key, node] : S().nodes) node.readDenied = false;
}
uint64_t WaitedMilliseconds() { return S().waited; }
size_t OpenHandleCount() { return S().handles.size(); }

}  // namespace in_memory_windows

DWORD GetLastError() { return S().lastError; }
void SetLastError(DWORD error) { S().lastError = error; }

BOOL CloseHandle(HANDLE handle) {
  auto* object = static_cast<Object*>(handle);
  if (!S().handles.erase(object)) return Fail(ERROR_INVALID_HANDLE);
  if (object->isMutex && object->owned) S().ownedMutexes.erase(object->key);
  if (object->deleteOnClose) S().nodes.erase(object->key);
  delete object;
  return TRUE;
}

void* LocalFree(void* block) {
  std::free(block);
  return nullptr;
}
HANDLE GetProcessHeap() { return &S(); }
BOOL HeapFree(HANDLE, DWORD, void* block) {
  std::free(block);
  return TRUE;
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD disposition, DWORD, HANDLE) {
  const std::wstring key = Key(path);
  auto found = S().nodes.find(key);
  if (S().busyOpens > 0) {
    --S().busyOpens;
    Fail(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  if (found != S().nodes.end() && found->second.directory) {
    Fail(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (found != S().nodes.end() && disposition == CREATE_NEW) {
    Fail(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
  }
  // Every open of the cache code shares nothing, so any second open clashes.
  if (IsOpen(key)) {
    Fail(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  if (found == S().nodes.end()) {
    if (disposition == OPEN_EXISTING) {
      Fail(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    const auto parent = S().nodes.find(ParentKey(key));
    if (parent == S().nodes.end() || !parent->second.directory) {
      Fail(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    found = S().nodes.emplace(key, Node{}).first;
    found->second.creationTime = found->second.lastWriteTime = ++S().writes;
  } else if (found->second.readDenied && (access & GENERIC_READ)) {
    Fail(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (disposition == CREATE_ALWAYS) found->second.bytes.clear();
  auto* object = new Object{false, key, access};
  S().handles.insert(object);
  S().lastError = ERROR_SUCCESS;
  return object;
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD toRead, DWORD* read, void*) {
  Object* object = FileObject(handle);
  *read = 0;
  if (object == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (!(object->access & GENERIC_READ)) return Fail(ERROR_ACCESS_DENIED);
  if (S().failNextRead) {
    S().failNextRead = false;
    return Fail(ERROR_READ_FAULT);
  }
  const std::vector<uint8_t>& bytes = S().nodes[object->key].bytes;
  const uint64_t available = object->position < bytes.size() ? bytes.size() - object->position : 0;
  const DWORD count = static_cast<DWORD>(std::min<uint64_t>(available, toRead));
  if (count > 0) std::memcpy(buffer, bytes.data() + object->position, count);
  object->position += count;
  *read = count;
  return TRUE;
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written, void*) {
  Object* object = FileObject(handle);
  *written = 0;
  if (object == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (!(object->access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
  Node& node = S().nodes[object->key];
  const uint64_t end = RoomFor(node, object->position + toWrite);
  const DWORD fits = end > object->position ? static_cast<DWORD>(end - object->position) : 0;
  if (node.bytes.size() < end) node.bytes.resize(end);
  if (fits > 0) std::memcpy(node.bytes.data() + object->position, buffer, fits);
  object->position += fits;
  node.lastWriteTime = ++S().writes;
  *written = fits;
  return fits == toWrite ? TRUE : Fail(ERROR_DISK_FULL);
}

DWORD SetFilePointer(HANDLE handle, LONG distance, LONG* distanceHigh, DWORD method) {
  Object* object = FileObject(handle);
  if (object == nullptr || method != FILE_BEGIN || distance < 0 || (distanceHigh && *distanceHigh != 0)) {
    Fail(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  object->position = static_cast<uint64_t>(distance);
  return static_cast<DWORD>(distance);
}

BOOL SetEndOfFile(HANDLE handle) {
  Object* object = FileObject(handle);
  if (object == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (!(object->access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
  Node& node = S().nodes[object->key];
  if (RoomFor(node, object->position) < object->position) return Fail(ERROR_DISK_FULL);
  node.bytes.resize(object->position);
  return TRUE;
}

BOOL GetFileSizeEx(HANDLE handle, LARGE_INTEGER* size) {
  Object* object = FileObject(handle);
  if (object == nullptr) return Fail(ERROR_INVALID_HANDLE);
  size->QuadPart = static_cast<int64_t>(S().nodes[object->key].bytes.size());
  return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION* information) {
  Object* object = FileObject(handle);
  if (object == nullptr) return Fail(ERROR_INVALID_HANDLE);
  const Node& node = S().nodes[object->key];
  *information = {};
  information->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
  information->ftCreationTime = Split(node.creationTime);
  information->ftLastWriteTime = Split(node.lastWriteTime);
  information->nFileSizeLow = static_cast<DWORD>(node.bytes.size());
  information->nNumberOfLinks = 1;
  return TRUE;
}

BOOL GetFileInformationByHandleEx(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size) {
  BY_HANDLE_FILE_INFORMATION data{};
  if (!GetFileInformationByHandle(handle, &data)) return FALSE;
  auto join = [](const FILETIME& time) {
    return static_cast<int64_t>(uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime);
  };
  if (kind == FileBasicInfo && size == sizeof(FILE_BASIC_INFO)) {
    *static_cast<FILE_BASIC_INFO*>(information) = {{join(data.ftCreationTime)}, {0}, {join(data.ftLastWriteTime)},
                                                   {join(data.ftLastWriteTime)}, data.dwFileAttributes};
    return TRUE;
  }
  if (kind == FileStandardInfo && size == sizeof(FILE_STANDARD_INFO)) {
    *static_cast<FILE_STANDARD_INFO*>(information) = {{data.nFileSizeLow}, {data.nFileSizeLow}, 1, 0, 0};
    return TRUE;
  }
  if (kind == FileAttributeTagInfo && size == sizeof(FILE_ATTRIBUTE_TAG_INFO)) {
    *static_cast<FILE_ATTRIBUTE_TAG_INFO*>(information) = {data.dwFileAttributes, 0};
    return TRUE;
  }
  if (kind == FileNameInfo && size >= sizeof(FILE_NAME_INFO)) {
    // The path as opened, with A to Z folded, from the volume's root.
    const std::wstring key = FileObject(handle)->key;
    const std::wstring name = key.size() > 2 && key[1] == L':' ? key.substr(2) : key;
    auto* info = static_cast<FILE_NAME_INFO*>(information);
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    if (size < offsetof(FILE_NAME_INFO, FileName) + info->FileNameLength) return Fail(ERROR_MORE_DATA);
    std::copy(name.begin(), name.end(), info->FileName);
    return TRUE;
  }
  return Fail(ERROR_INVALID_HANDLE);
}

BOOL SetFileInformationByHandle(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS kind, void* information, DWORD size) {
  Object* object = FileObject(handle);
  if (object == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (kind != FileDispositionInfo || size != sizeof(FILE_DISPOSITION_INFO) || !(object->access & DELETE)) {
    return Fail(ERROR_ACCESS_DENIED);
  }
  object->deleteOnClose = static_cast<FILE_DISPOSITION_INFO*>(information)->DeleteFile != 0;
  return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR path) {
  const auto found = S().nodes.find(Key(path));
  if (found == S().nodes.end()) {
    Fail(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  return found->second.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL GetFileAttributesExW(LPCWSTR path, GET_FILEEX_INFO_LEVELS, void* information) {
  const auto found = S().nodes.find(Key(path));
  if (found == S().nodes.end()) return Fail(ERROR_FILE_NOT_FOUND);
  auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
  *data = {};
  data->dwFileAttributes = found->second.directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  data->ftCreationTime = Split(found->second.creationTime);
  data->ftLastWriteTime = Split(found->second.lastWriteTime);
  data->nFileSizeLow = static_cast<DWORD>(found->second.bytes.size());
  return TRUE;
}

BOOL SetFileAttributesW(LPCWSTR path, DWORD) {
  return S().nodes.count(Key(path)) ? TRUE : Fail(ERROR_FILE_NOT_FOUND);
}

BOOL CreateDirectoryW(LPCWSTR path, SECURITY_ATTRIBUTES*) {
  const std::wstring key = Key(path);
  if (S().nodes.count(key)) return Fail(ERROR_ALREADY_EXISTS);
  const auto parent = S().nodes.find(ParentKey(key));
  if (parent == S().nodes.end() || !parent->second.directory) return Fail(ERROR_PATH_NOT_FOUND);
  S().nodes[key].directory = true;
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR path) {
  const std::wstring key = Key(path);
  const auto found = S().nodes.find(key);
  if (found == S().nodes.end() || found->second.directory) return Fail(ERROR_FILE_NOT_FOUND);
  if (IsOpen(key)) return Fail(ERROR_SHARING_VIOLATION);
  S().nodes.erase(found);
  return TRUE;
}

// No long-path form exists here: the retries with "\\?\" are never made.
DWORD GetFullPathNameW(LPCWSTR, DWORD, LPWSTR, LPWSTR*) {
  Fail(ERROR_FILE_NOT_FOUND);
  return 0;
}

HANDLE CreateMutexW(SECURITY_ATTRIBUTES*, BOOL, LPCWSTR name) {
  if (S().lock == in_memory_windows::LockState::kSquatted) {
    Fail(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto* object = new Object{true, name ? name : L""};
  S().handles.insert(object);
  return object;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto* object = static_cast<Object*>(handle);
  if (!S().handles.count(object) || !object->isMutex) {
    Fail(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  // One thread: the lock can only be held by "another process" (or by a
  // second handle of ours, which would deadlock on Windows).
  if (S().lock == in_memory_windows::LockState::kHeld || S().ownedMutexes.count(object->key)) {
    const DWORD waited = milliseconds == INFINITE ? 3600000 : milliseconds;
    S().clock += waited;
    S().waited += waited;
    return WAIT_TIMEOUT;
  }
  object->owned = true;
  S().ownedMutexes.insert(object->key);
  return WAIT_OBJECT_0;
}

BOOL ReleaseMutex(HANDLE handle) {
  auto* object = static_cast<Object*>(handle);
  if (!S().handles.count(object) || !object->owned) return Fail(ERROR_ACCESS_DENIED);
  object->owned = false;
  S().ownedMutexes.erase(object->key);
  return TRUE;
}

void Sleep(DWORD milliseconds) { S().clock += milliseconds; }
DWORD GetTickCount() { return static_cast<DWORD>(S().clock); }

HMODULE GetModuleHandleW(LPCWSTR) { return reinterpret_cast<HMODULE>(&S()); }

FARPROC GetProcAddress(HMODULE, const char* name) {
  const std::string wanted = name;
  void (*found)() = nullptr;
  if (wanted == "GetFileInformationByHandleEx") found = reinterpret_cast<void (*)()>(&GetFileInformationByHandleEx);
  if (wanted == "SetFileInformationByHandle") found = reinterpret_cast<void (*)()>(&SetFileInformationByHandle);
  return reinterpret_cast<FARPROC>(found);
}
