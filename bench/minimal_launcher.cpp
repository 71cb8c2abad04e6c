// The least a launcher can do, for comparison: load the module named on the
// command line and call its entry.
#include "platform/get_proc.h"
#include "platform/win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand) {
  using Entry = int(WINAPI*)(HINSTANCE, HINSTANCE, LPWSTR, int);
  const HMODULE module = ::LoadLibraryW(commandLine);
  auto entry = platform::GetProc<Entry>(module, "ImageViewerMain");
  return entry ? entry(instance, previous, commandLine, showCommand) : 1;
}
