// Runs the host as a launcher does, without the application's entry point:
// loads the application module named by the first argument, then tears down,
// then asks for the module once more. Adds "host loaded" or "host no
// module", "host torn down" and "host after teardown: none" (or ": module")
// to the file named by VARO_HOST_ORDER, between the stand-ins' own lines.
#include <string>

#include "host/app_module_host.h"
#include "platform/unique_handle.h"
#include "platform/win.h"

namespace {

void Append(const char* line) {
  wchar_t path[1024] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"VARO_HOST_ORDER", path, 1024);
  if (length == 0 || length >= 1024) return;
  platform::UniqueFileHandle file(::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (file) ::WriteFile(file.Get(), line, static_cast<DWORD>(std::char_traits<char>::length(line)), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  AppModuleHost host(argv[1], "");
  Append(host.Load(::GetModuleHandleW(nullptr)) != nullptr ? "host loaded\n" : "host no module\n");
  host.Teardown();
  Append("host torn down\n");
  Append(host.Load(::GetModuleHandleW(nullptr)) == nullptr ? "host after teardown: none\n"
                                                            : "host after teardown: module\n");
  return 0;
}
