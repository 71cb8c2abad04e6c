#include "platform/load_guard.h"

#include <shlobj.h>

#include <cwchar>

#include "platform/ascii_fold.h"
#include "platform/get_proc.h"
#include "platform/system_library.h"

namespace platform {

namespace {

// The loader's notification interface (ntdll, Vista and later); not in the
// SDK's headers, so written out here.
struct LoaderUnicodeString {
  USHORT length;  // in bytes
  USHORT maximumLength;
  PWSTR buffer;
};
struct LoadedNotificationData {
  ULONG flags;
  const LoaderUnicodeString* fullDllName;
  const LoaderUnicodeString* baseDllName;
  void* dllBase;
  ULONG sizeOfImage;
};
constexpr ULONG kReasonLoaded = 1;
using NotificationFunction = void(CALLBACK*)(ULONG reason, const void* data, void* context);
using RegisterFn = LONG(NTAPI*)(ULONG flags, NotificationFunction function, void* context, void** cookie);
using UnregisterFn = LONG(NTAPI*)(void* cookie);

HMODULE Ntdll() { return ::GetModuleHandleW(L"ntdll.dll"); }

constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kNtPrefix[] = L"\\??\\";

// `path` whole, without "." or ".." steps and without the long or NT prefix,
// A to Z folded; empty when the system cannot make it whole. Pure text work:
// this runs under the loader's lock.
std::wstring Canonical(const std::wstring& path) {
  std::wstring text = path;
  for (const wchar_t* prefix : {kLongPrefix, kNtPrefix}) {
    if (text.rfind(prefix, 0) == 0) text.erase(0, std::wcslen(prefix));
  }
  if (text.rfind(L"UNC\\", 0) == 0) text = L"\\\\" + text.substr(4);
  const DWORD needed = ::GetFullPathNameW(text.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::wstring whole(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(text.c_str(), needed, whole.data(), nullptr);
  if (length == 0 || length >= needed) return {};
  whole.resize(length);
  return FoldAscii(whole);
}

std::wstring FolderKey(const std::wstring& folder) {
  std::wstring key = Canonical(folder);
  if (!key.empty() && key.back() != L'\\') key += L'\\';
  return key;
}

std::wstring WindowsFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetSystemWindowsDirectoryW(folder, MAX_PATH);
  return length > 0 && length < MAX_PATH ? folder : L"";
}

std::wstring ShellFolder(int id) {
  wchar_t folder[MAX_PATH] = {};
  return ::SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, folder) == S_OK ? folder : L"";
}

}  // namespace

LoadGuard& LoadGuard::Instance() {
  static LoadGuard guard;
  return guard;
}

LoadGuard::LoadGuard() {
  for (const std::wstring& folder : {SystemDirectory(), WindowsFolder(), ShellFolder(CSIDL_PROGRAM_FILES),
                                     ShellFolder(CSIDL_PROGRAM_FILESX86)}) {
    const std::wstring key = folder.empty() ? std::wstring() : FolderKey(folder);
    // A folder as short as a drive's root would admit the whole drive.
    if (key.size() > 3) administratorFolders_.push_back(key);
  }
}

bool LoadGuard::Arm(StopReport report) {
  const auto registerNotification = GetProc<RegisterFn>(Ntdll(), "LdrRegisterDllNotification");
  if (registerNotification == nullptr || cookie_ != nullptr) return false;
  report_ = report;
  void* cookie = nullptr;
  if (registerNotification(0, &LoadGuard::OnNotification, this, &cookie) < 0) return false;
  cookie_ = cookie;
  return true;
}

void LoadGuard::Disarm() {
  report_ = nullptr;
  const auto unregisterNotification = GetProc<UnregisterFn>(Ntdll(), "LdrUnregisterDllNotification");
  if (cookie_ != nullptr && unregisterNotification != nullptr) unregisterNotification(cookie_);
  cookie_ = nullptr;
}

void LoadGuard::Admit(const std::wstring& path) {
  std::wstring key = Canonical(path);
  if (key.empty()) return;
  auto guard = lock_.Lock();
  admitted_.push_back(std::move(key));
}

bool LoadGuard::Allows(const std::wstring& path) {
  const std::wstring key = Canonical(path);
  if (key.empty()) return false;
  for (const std::wstring& folder : administratorFolders_) {
    if (key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0) return true;
  }
  auto guard = lock_.Lock();
  for (const std::wstring& admitted : admitted_) {
    if (admitted == key) return true;
  }
  return false;
}

void CALLBACK LoadGuard::OnNotification(ULONG reason, const void* data, void* context) {
  auto& guard = *static_cast<LoadGuard*>(context);
  const StopReport report = guard.report_;
  if (reason != kReasonLoaded || report == nullptr || data == nullptr) return;
  const LoaderUnicodeString* name = static_cast<const LoadedNotificationData*>(data)->fullDllName;
  const std::wstring image = name != nullptr && name->buffer != nullptr
                                 ? std::wstring(name->buffer, name->length / sizeof(wchar_t))
                                 : std::wstring();
  if (guard.Allows(image)) return;
  report(image);
  // Under the loader's lock, before the image's entry point has run.
  ::TerminateProcess(::GetCurrentProcess(), 0);
}

}  // namespace platform
