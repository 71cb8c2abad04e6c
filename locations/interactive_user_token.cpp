#include "locations/interactive_user_token.h"

#include <psapi.h>
#include <wtsapi32.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "platform/get_proc.h"
#include "platform/system_library_cache.h"
#include "platform/unique_memory.h"

namespace {

constexpr DWORD kMaxProcesses = 2048;
constexpr DWORD kTokenAccess = TOKEN_DUPLICATE | TOKEN_IMPERSONATE | TOKEN_QUERY | READ_CONTROL;
static_assert(kTokenAccess == 0x2000E);
// The connect state comes back as a 4-byte block.
static_assert(sizeof(WTS_CONNECTSTATE_CLASS) == 4);

struct SessionFunctions {
  decltype(&::EnumProcesses) enumProcesses = nullptr;
  decltype(&::GetProcessImageFileNameA) getProcessImageFileName = nullptr;
  decltype(&::GetModuleFileNameExA) getModuleFileNameEx = nullptr;
  decltype(&::OpenProcessToken) openProcessToken = nullptr;
  decltype(&::GetTokenInformation) getTokenInformation = nullptr;
  decltype(&::WTSQuerySessionInformationW) wtsQuerySessionInformation = nullptr;
  decltype(&::WTSFreeMemory) wtsFreeMemory = nullptr;
};

// False when a library or a function the scan cannot do without is missing.
bool BindSessionFunctions(SessionFunctions& f) {
  auto& libraries = platform::SystemLibraryCache::Instance();
  HMODULE psapi = libraries.GetLibrary(L"Psapi.dll");
  HMODULE advapi = libraries.GetLibrary(L"Advapi32.dll");
  HMODULE wtsapi = libraries.GetLibrary(L"Wtsapi32.dll");
  if (!psapi || !advapi || !wtsapi) return false;
  using platform::GetProc;
  f.enumProcesses = GetProc<decltype(f.enumProcesses)>(psapi, "EnumProcesses");
  f.getProcessImageFileName = GetProc<decltype(f.getProcessImageFileName)>(psapi, "GetProcessImageFileNameA");
  f.getModuleFileNameEx = GetProc<decltype(f.getModuleFileNameEx)>(psapi, "GetModuleFileNameExA");
  f.openProcessToken = GetProc<decltype(f.openProcessToken)>(advapi, "OpenProcessToken");
  f.getTokenInformation = GetProc<decltype(f.getTokenInformation)>(advapi, "GetTokenInformation");
  f.wtsQuerySessionInformation =
      GetProc<decltype(f.wtsQuerySessionInformation)>(wtsapi, "WTSQuerySessionInformationW");
  f.wtsFreeMemory = GetProc<decltype(f.wtsFreeMemory)>(wtsapi, "WTSFreeMemory");
  return f.enumProcesses && f.openProcessToken && f.getTokenInformation &&
         (f.getProcessImageFileName || f.getModuleFileNameEx);
}

platform::UniqueKernelHandle OpenForQuery(DWORD processId) {
  platform::UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process) process.Reset(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
  return process;
}

// The image path as narrow text; empty when neither function can read it.
std::string ImagePath(const SessionFunctions& f, HANDLE process) {
  constexpr DWORD kOffered = 520;
  char path[kOffered + 1] = {};
  if (f.getProcessImageFileName && f.getProcessImageFileName(process, path, kOffered) != 0) return path;
  if (f.getModuleFileNameEx && f.getModuleFileNameEx(process, nullptr, path, kOffered) != 0) return path;
  return {};
}

bool IsActiveSession(const SessionFunctions& f, DWORD session) {
  if (!f.wtsQuerySessionInformation || !f.wtsFreeMemory) return false;
  LPWSTR buffer = nullptr;
  DWORD bytes = 0;
  const BOOL ok = f.wtsQuerySessionInformation(WTS_CURRENT_SERVER_HANDLE, session, WTSConnectState, &buffer, &bytes);
  platform::UniqueSystemMemory<WCHAR> owned(buffer, f.wtsFreeMemory);
  if (!ok || !owned || bytes != sizeof(WTS_CONNECTSTATE_CLASS)) return false;
  WTS_CONNECTSTATE_CLASS state;
  std::memcpy(&state, owned.get(), sizeof(state));
  return state == WTSActive;
}

// The shell's token when `processId` is an "explorer.exe" in the console
// session or, with `otherActiveSessions`, another active one; `session`
// receives that session.
platform::UniqueKernelHandle ShellToken(const SessionFunctions& f, DWORD processId, DWORD consoleSession,
                                        bool otherActiveSessions, DWORD& session) {
  platform::UniqueKernelHandle process = OpenForQuery(processId);
  if (!process || !IsShellImagePath(ImagePath(f, process.Get()))) return {};
  HANDLE rawToken = nullptr;
  if (!f.openProcessToken(process.Get(), kTokenAccess, &rawToken)) return {};
  platform::UniqueKernelHandle token(rawToken);
  DWORD returned = 0;
  if (!f.getTokenInformation(token.Get(), TokenSessionId, &session, sizeof(session), &returned)) return {};
  if (otherActiveSessions ? session != consoleSession && IsActiveSession(f, session) : session == consoleSession) {
    return token;
  }
  return {};
}

}  // namespace

bool FindInteractiveUserToken(platform::UniqueKernelHandle& token, DWORD& sessionId) {
  HMODULE kernel = platform::SystemLibraryCache::Instance().GetLibrary(L"Kernel32.dll");
  auto activeConsoleSession =
      platform::GetProc<decltype(&::WTSGetActiveConsoleSessionId)>(kernel, "WTSGetActiveConsoleSessionId");
  if (!activeConsoleSession) return false;
  const DWORD consoleSession = activeConsoleSession();
  if (consoleSession == 0xFFFFFFFF) return false;

  SessionFunctions f;
  if (!BindSessionFunctions(f)) return false;
  DWORD processIds[kMaxProcesses] = {};
  DWORD bytes = 0;
  if (!f.enumProcesses(processIds, sizeof(processIds), &bytes)) return false;
  const DWORD count = bytes >= sizeof(processIds) ? kMaxProcesses : bytes / sizeof(DWORD);

  // The user at the console comes first, wherever their shell is in the
  // process list; a user of another active session only when there is none.
  for (const bool otherActiveSessions : {false, true}) {
    for (DWORD i = 0; i < count; ++i) {
      DWORD session = 0;
      platform::UniqueKernelHandle found = ShellToken(f, processIds[i], consoleSession, otherActiveSessions, session);
      if (found) {
        token = std::move(found);
        sessionId = session;
        return true;
      }
    }
  }
  return false;
}

bool IsShellImagePath(const std::string& path) {
  // The file name is taken by hand: _splitpath_s ends the process through
  // the run-time's invalid-parameter handler when any part outruns its
  // buffer, and any user can start a process with an overlong name.
  const size_t separator = path.find_last_of("\\/:");
  const std::string fileName = separator == std::string::npos ? path : path.substr(separator + 1);
  return _stricmp(fileName.c_str(), "explorer.exe") == 0;
}
