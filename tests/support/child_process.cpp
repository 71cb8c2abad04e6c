#include "tests/support/child_process.h"

#include <vector>

#include "locations/file_system.h"
#include "locations/path_text.h"

std::wstring SiblingProgram(const std::wstring& fileName) {
  wchar_t self[MAX_PATH + 1] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring directory;
  PathText::DirectoryOf(self, directory);
  return directory + fileName;
}

platform::UniqueKernelHandle StartProcess(const std::wstring& program, const std::wstring& arguments) {
  std::wstring commandLine = Quoted(program) + L" " + arguments;
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info)) {
    return platform::UniqueKernelHandle();
  }
  platform::UniqueKernelHandle thread(info.hThread);
  return platform::UniqueKernelHandle(info.hProcess);
}

DWORD WaitForExit(const platform::UniqueKernelHandle& process, DWORD milliseconds) {
  if (!process || ::WaitForSingleObject(process.Get(), milliseconds) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(process.Get(), &code);
  return code;
}

bool WaitForFile(const std::wstring& path, DWORD milliseconds) {
  const ULONGLONG deadline = ::GetTickCount64() + milliseconds;
  while (!FileSystem::Exists(path)) {
    if (::GetTickCount64() > deadline) return false;
    ::Sleep(10);
  }
  return true;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }
