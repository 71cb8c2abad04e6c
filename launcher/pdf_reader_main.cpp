// VaroPdfReader.exe: the PDF reader's launcher, which refuses systems older
// than Windows 7.
#include "launcher/launcher_run.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showCommand) {
  static constexpr LauncherConstants kConstants = {L"VaroPdfApp.dll", "PdfReaderMain", true};
  return RunLauncher(kConstants, instance, previousInstance, commandLine, showCommand);
}
