#include "tests/support/child_process.h"

#include <cstdio>
#include <cstring>

#include "platform/file_system.h"
#include "platform/get_proc.h"
#include "platform/module_file_name.h"
#include "platform/path_text.h"

std::wstring SiblingProgram(const std::wstring& fileName) {
  std::wstring directory;
  PathText::DirectoryOf(platform::ModuleFileName(nullptr), directory);
  return directory + fileName;
}

namespace {

SuspendedProcess Start(const std::wstring& program, const std::wstring& arguments, STARTUPINFOW& startup,
                       BOOL inheritHandles, DWORD flags) {
  std::wstring commandLine = Quoted(program) + L" " + arguments;
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // Wine now and then fails a start before the program runs at all (seen as
  // "cannot start" with nothing else wrong); one more try after a pause,
  // said on standard error, so that such a failure is neither hidden nor
  // taken for the program's.
  for (int attempt = 0;; ++attempt) {
    if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, inheritHandles, flags, nullptr,
                         nullptr, &startup, &info)) {
      return {platform::UniqueKernelHandle(info.hProcess), platform::UniqueKernelHandle(info.hThread)};
    }
    const DWORD error = ::GetLastError();
    std::fwprintf(stderr, L"CreateProcessW failed for %ls with error %lu%ls\n", program.c_str(),
                  static_cast<unsigned long>(error), attempt == 0 ? L", trying once more" : L"");
    if (attempt == 1) return {};
    ::Sleep(200);
  }
}

// The Linux path of a Windows path, from Wine's own export (whose result is
// on the process heap); empty outside Wine. Test paths are ASCII.
std::wstring UnixPath(const std::wstring& path) {
  using WineGetUnixFileNameFn = char*(CDECL*)(const wchar_t*);
  const auto unixName = platform::GetProc<WineGetUnixFileNameFn>(::GetModuleHandleW(L"kernel32.dll"),
                                                                  "wine_get_unix_file_name");
  char* name = unixName == nullptr ? nullptr : unixName(path.c_str());
  if (name == nullptr) return {};
  std::wstring unixPath(name, name + std::strlen(name));
  ::HeapFree(::GetProcessHeap(), 0, name);
  return unixPath;
}

// Runs `script` with the Linux shell. Wine starts a Linux program like any
// other but gives no handle to wait on, so a script that succeeds leaves
// the file `mark` (a Windows path), which is then removed.
bool RunLinuxScript(const std::wstring& script, const std::wstring& mark) {
  const std::wstring unixMark = UnixPath(mark);
  if (unixMark.empty()) return false;
  StartProcess(L"/bin/sh", L"-c " + Quoted(script + L" && touch '" + unixMark + L"'"));
  const bool done = WaitForFile(mark, 20000);
  ::DeleteFileW(mark.c_str());
  return done;
}

platform::UniqueFileHandle CreateInheritableFile(const std::wstring& path) {
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  return platform::UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

platform::UniqueKernelHandle StartProcess(const std::wstring& program, const std::wstring& arguments) {
  STARTUPINFOW startup{};
  return std::move(Start(program, arguments, startup, FALSE, 0).process);
}

SuspendedProcess StartSuspendedProcess(const std::wstring& program, const std::wstring& arguments) {
  STARTUPINFOW startup{};
  return Start(program, arguments, startup, FALSE, CREATE_SUSPENDED);
}

platform::UniqueKernelHandle StartProcess(const std::wstring& program, const std::wstring& arguments,
                                          const std::wstring& outputFile, const std::wstring& errorFile) {
  // With inheritance on, the child also gets this program's other
  // inheritable handles, such as a standard output that a whole run sent to
  // a file. Nothing the tests check depends on their absence.
  const platform::UniqueFileHandle output = CreateInheritableFile(outputFile);
  const platform::UniqueFileHandle error =
      errorFile == outputFile ? platform::UniqueFileHandle() : CreateInheritableFile(errorFile);
  if (!output || (errorFile != outputFile && !error)) return platform::UniqueKernelHandle();
  STARTUPINFOW startup{};
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output.Get();
  startup.hStdError = error ? error.Get() : output.Get();
  return std::move(Start(program, arguments, startup, TRUE, CREATE_NO_WINDOW).process);
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

LinuxSymlink::LinuxSymlink(const std::wstring& link, const std::wstring& target)
    : link_(link), unixLink_(UnixPath(link)) {
  const std::wstring unixTarget = UnixPath(target);
  made_ = !unixLink_.empty() && !unixTarget.empty() &&
          RunLinuxScript(L"ln -s '" + unixTarget + L"' '" + unixLink_ + L"'", link + L".made");
}

LinuxSymlink::~LinuxSymlink() {
  if (made_) RunLinuxScript(L"rm -f '" + unixLink_ + L"'", link_ + L".gone");
}
